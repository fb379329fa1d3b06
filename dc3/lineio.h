// Lines over TCP on plain POSIX sockets: connecting with a timeout,
// listening (loopback unless told otherwise) and accepting with a deadline,
// reading a line by a deadline and writing one. Nothing here blocks past
// its deadline, and a peer that goes away never raises SIGPIPE.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace Kelvo::Dc3 {

using Clock = std::chrono::steady_clock;

// A deadline `seconds` from now (far in the future for huge values).
Clock::time_point deadlineIn(double seconds);

// A line longer than this is not a message of the protocol.
constexpr size_t MAX_LINE_BYTES = 1 << 20;
// Except a server's update: its trajectory, at a frame every few steps,
// can take megabytes.
constexpr size_t MAX_SERVER_LINE_BYTES = size_t(64) << 20;

enum class ReadStatus { Line, TimedOut, Closed, TooLong, Failed };

class LineConnection {
public:
    explicit LineConnection(int fd);  // takes the descriptor
    ~LineConnection();
    LineConnection(const LineConnection&) = delete;
    LineConnection& operator=(const LineConnection&) = delete;

    int fd() const { return fd_; }
    // The longest line it takes (MAX_LINE_BYTES unless set).
    void setMaxLine(size_t bytes) { maxLine_ = bytes; }
    size_t maxLine() const { return maxLine_; }

    // The next line (without its line end, a trailing \r dropped), waiting
    // until the deadline.
    ReadStatus readLine(std::string& line, Clock::time_point deadline);
    // A line already received, without waiting.
    bool takeLine(std::string& line);
    // Reads what has arrived, without waiting: Line when bytes came (or
    // none were there), Closed at the end of the stream.
    ReadStatus receive();
    // Writes the line and a line end; false when the peer is gone or does
    // not take it by the deadline.
    bool writeLine(const std::string& line, Clock::time_point deadline);
    // The reason of the last failure ("Connection reset by peer", ...).
    const std::string& error() const { return error_; }
    // "127.0.0.1:40312"
    std::string peer() const;

private:
    int fd_ = -1;
    std::string buffer_;
    size_t searched_ = 0;  // bytes of buffer_ known to hold no line end
    size_t maxLine_ = MAX_LINE_BYTES;
    bool closed_ = false;
    bool tooLong_ = false;
    std::string error_;
};

// Connects to host:port within `seconds`; null with the reason in `why`.
std::unique_ptr<LineConnection> connectTo(const std::string& host, int port, double seconds, std::string& why);

class Listener {
public:
    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Binds host:port (port 0: any free port) and listens; false with the
    // reason in `why`.
    bool open(const std::string& host, int port, std::string& why);
    int port() const { return port_; }
    int fd() const { return fd_; }
    // The next connection, or null when none came by the deadline.
    std::unique_ptr<LineConnection> accept(Clock::time_point deadline);
    void close();

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace Kelvo::Dc3
