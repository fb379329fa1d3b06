#include "lineio.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Kelvo::Dc3 {

namespace {

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    // Rounded up, so a wait never ends just before its deadline.
    return left > 1000000 ? 1000000 : int(left) + 1;
}

// Waits for `events` on fd until the deadline; false on time-out.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, millisecondsUntil(deadline));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return true;  // the next call reports the error
        if (n == 0 && Clock::now() >= deadline)
            return false;
    }
}

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

void setNoDelay(int fd) {
    // Each message is one small write the peer waits for.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

std::string errnoText(int error) { return std::strerror(error); }

}  // namespace

Clock::time_point deadlineIn(double seconds) {
    // Beyond a year is no deadline at all, and stays clear of overflow.
    constexpr double YEAR = 365.0 * 86400.0;
    if (!(seconds < YEAR))
        seconds = YEAR;
    if (seconds < 0)
        seconds = 0;
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

LineConnection::LineConnection(int fd) : fd_(fd) {
    setNonBlocking(fd_);
    setNoDelay(fd_);
}

LineConnection::~LineConnection() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool LineConnection::takeLine(std::string& line) {
    // A long line comes in many pieces: each byte is searched once.
    const size_t end = buffer_.find('\n', searched_);
    if (end == std::string::npos) {
        searched_ = buffer_.size();
        return false;
    }
    line.assign(buffer_, 0, end);
    buffer_.erase(0, end + 1);
    searched_ = 0;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

ReadStatus LineConnection::receive() {
    if (closed_)
        return ReadStatus::Closed;
    char chunk[16384];
    for (;;) {
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer_.append(chunk, size_t(n));
            // A line end beyond the limit makes no message either.
            if (buffer_.size() > maxLine_ && buffer_.find('\n', std::min(searched_, maxLine_)) > maxLine_) {
                tooLong_ = true;
                return ReadStatus::TooLong;
            }
            continue;
        }
        // A reset is the peer closing with our bytes unread: closed all the same.
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            closed_ = true;
            return ReadStatus::Closed;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return ReadStatus::Line;
        error_ = errnoText(errno);
        closed_ = true;
        return ReadStatus::Failed;
    }
}

ReadStatus LineConnection::readLine(std::string& line, Clock::time_point deadline) {
    for (;;) {
        if (tooLong_)
            return ReadStatus::TooLong;
        if (takeLine(line))
            return ReadStatus::Line;
        const ReadStatus got = receive();
        if (got != ReadStatus::Line) {
            // Whole lines that came before the end are still read.
            if (got == ReadStatus::Closed && takeLine(line))
                return ReadStatus::Line;
            return got;
        }
        if (takeLine(line))
            return ReadStatus::Line;
        if (!waitFor(fd_, POLLIN, deadline))
            return ReadStatus::TimedOut;
    }
}

bool LineConnection::writeLine(const std::string& line, Clock::time_point deadline) {
    const std::string bytes = line + "\n";
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd_, POLLOUT, deadline)) {
                error_ = "the peer does not read";
                return false;
            }
            continue;
        }
        error_ = n < 0 ? errnoText(errno) : "nothing written";
        return false;
    }
    return true;
}

std::string LineConnection::peer() const {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return "?";
    char host[NI_MAXHOST], port[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&address), size, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return std::string(host) + ":" + port;
}

std::unique_ptr<LineConnection> connectTo(const std::string& host, int port, double seconds, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        why = gai_strerror(rc);
        return nullptr;
    }
    const Clock::time_point deadline = deadlineIn(seconds);
    why = "no address";
    std::unique_ptr<LineConnection> connection;
    for (addrinfo* a = found; a && !connection; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            why = errnoText(errno);
            continue;
        }
        setNonBlocking(fd);
        int rc = connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            if (!waitFor(fd, POLLOUT, deadline)) {
                why = "no answer within " + std::to_string(int(seconds)) + " s";
                ::close(fd);
                continue;
            }
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            rc = error == 0 ? 0 : -1;
            errno = error;
        }
        if (rc != 0) {
            why = errnoText(errno);
            ::close(fd);
            continue;
        }
        connection = std::make_unique<LineConnection>(fd);
    }
    freeaddrinfo(found);
    return connection;
}

Listener::~Listener() { close(); }

void Listener::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool Listener::open(const std::string& host, int port, std::string& why) {
    close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        why = gai_strerror(rc);
        return false;
    }
    why = "no address";
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            why = errnoText(errno);
            continue;
        }
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 4) != 0) {
            why = errnoText(errno);
            ::close(fd);
            continue;
        }
        fd_ = fd;
    }
    freeaddrinfo(found);
    if (fd_ < 0)
        return false;
    setNonBlocking(fd_);
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port)
                                          : ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    return true;
}

std::unique_ptr<LineConnection> Listener::accept(Clock::time_point deadline) {
    while (fd_ >= 0) {
        const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            return std::make_unique<LineConnection>(fd);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
            return nullptr;
        if (!waitFor(fd_, POLLIN, deadline))
            return nullptr;
    }
    return nullptr;
}

}  // namespace Kelvo::Dc3
