#include "client.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace Kelvo::Dc4 {

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

// An event larger than this is not a state.
constexpr size_t MAX_EVENT_BYTES = 16u << 20;
// A REST answer takes at most this.
constexpr time_t REQUEST_SECONDS = 30;
// Tries and pause for a shot the server could not be reached for, or one
// rate-limited.
constexpr int POST_TRIES = 5;
constexpr double RETRY_SECONDS = 1.0;

struct Failure {
    std::string why;
};

std::string cut(const std::string& text, size_t limit = 200) {
    return text.size() > limit ? text.substr(0, limit) + "..." : text;
}

Clock::time_point after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// The library's error in words: its own names are terse ("Connection").
std::string networkError(httplib::Error e) {
    switch (e) {
    case httplib::Error::Connection: return "cannot connect (refused, or nothing there)";
    case httplib::Error::ConnectionTimeout: return "no connection within the connect timeout";
    case httplib::Error::Read: return "the connection broke while reading";
    case httplib::Error::Write: return "the connection broke while writing";
    default: return httplib::to_string(e);
    }
}

void configure(httplib::Client& c, const ClientOptions& o) {
    c.set_connection_timeout(time_t(o.connectSeconds), 0);
    c.set_read_timeout(REQUEST_SECONDS, 0);
    c.set_write_timeout(REQUEST_SECONDS, 0);
    c.set_basic_auth(o.user, o.password);
    c.set_keep_alive(true);
}

// The match's state stream on a thread of its own: events are queued for
// the reader, who can give up on it at any time.
class Stream {
public:
    enum class Got { Event, Ended, TimedOut };

    Stream(const ClientOptions& o, const std::string& path) : client_(o.url) {
        configure(client_, o);
        // The reader keeps the time: the stream may be silent as long as a clock runs.
        client_.set_read_timeout(365 * 24 * 3600, 0);
        thread_ = std::thread([this, path] { read(path); });
    }
    ~Stream() {
        {
            std::lock_guard<std::mutex> lock(mu_);
            stopping_ = true;
        }
        client_.stop();
        thread_.join();
    }

    Got next(EventParser::Event& event, Clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait_until(lock, deadline, [this] { return !queue_.empty() || ended_; });
        if (!queue_.empty()) {
            event = std::move(queue_.front());
            queue_.pop_front();
            return Got::Event;
        }
        return ended_ ? Got::Ended : Got::TimedOut;
    }

    // Once ended: the status (0 when none came) and why.
    int status() const { return status_; }
    std::string why() const { return why_; }

private:
    void read(const std::string& path) {
        EventParser parser;
        std::string errorBody;
        const httplib::Result r = client_.Get(
            path.c_str(),
            [this](const httplib::Response& res) {
                std::lock_guard<std::mutex> lock(mu_);
                status_ = res.status;
                return !stopping_;
            },
            [&](const char* data, size_t size) {
                std::lock_guard<std::mutex> lock(mu_);
                if (status_ != 200) {
                    errorBody.append(data, std::min(size, size_t(4096)));
                    return errorBody.size() < 4096;
                }
                if (!parser.feed(data, size)) {
                    why_ = "an event of more than " + std::to_string(MAX_EVENT_BYTES) + " bytes";
                    return false;
                }
                for (EventParser::Event& e : parser.take())
                    queue_.push_back(std::move(e));
                cv_.notify_all();
                return !stopping_;
            });
        std::lock_guard<std::mutex> lock(mu_);
        if (status_ != 0 && status_ != 200)
            why_ = "status " + std::to_string(status_) + ": " + errorDetail(errorBody);
        else if (why_.empty())
            why_ = r ? std::string("the server closed it") : networkError(r.error());
        ended_ = true;
        cv_.notify_all();
    }

    httplib::Client client_;
    std::thread thread_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<EventParser::Event> queue_;
    bool ended_ = false;
    bool stopping_ = false;
    int status_ = 0;
    std::string why_;
};

class Client {
public:
    Client(const ClientOptions& o, const Dc3::Decide& decide, FILE* out, FILE* err)
        : o_(o), decide_(decide), out_(out), err_(err), rest_(o.url) {
        configure(rest_, o);
    }

    int run() {
        try {
            play();
            return 0;
        } catch (const Failure& f) {
            std::fprintf(err_, "%s: %s\n", o_.session.program.c_str(), f.why.c_str());
            std::fflush(err_);
            return 1;
        }
    }

private:
    void play() {
        std::string id = o_.matchId;
        if (id.empty()) {
            id = create();
            std::fprintf(out_, "%s\n", id.c_str());
            std::fflush(out_);
            if (o_.createOnly)
                return;
        }
        const int team = storeTeam(id);
        Session session(o_.session, team, decide_, err_);
        const std::string path = "/matches/" + httplib::detail::encode_query_param(id) + "/stream";
        Clock::time_point deadline = after(o_.waitSeconds);
        int tries = 0;
        while (!session.finished()) {
            Stream stream(o_, path);
            for (;;) {
                EventParser::Event event;
                const Stream::Got got = stream.next(event, deadline);
                if (got == Stream::Got::TimedOut)
                    throw Failure{"the stream was silent past the clock of the team due"};
                if (got == Stream::Got::Ended)
                    break;
                tries = 0;
                if (event.name != "state_update" && event.name != "latest_state_update")
                    continue;
                State state;
                try {
                    state = parseState(event.data);
                    if (const std::optional<ShotRequest> shot = session.take(event.name, state))
                        post(id, *shot);
                } catch (const MessageError& e) {
                    throw Failure{std::string("a state not as described (") + e.what() + "): " + cut(event.data)};
                }
                if (session.finished())
                    break;
                deadline = after(session.waitSeconds(o_.waitSeconds));
            }
            if (session.finished())
                break;
            // A refusal stays a refusal; a dropped stream is opened again.
            if (stream.status() != 0 && stream.status() != 200)
                throw Failure{"the server refused the stream (" + stream.why() + ")"};
            if (++tries > o_.reconnects)
                throw Failure{"the stream dropped and could not be opened again (" + stream.why() + ")"};
            if (o_.session.verbose)
                std::fprintf(err_, "%s: the stream dropped (%s); opening it again\n", o_.session.program.c_str(),
                             stream.why().c_str());
            std::this_thread::sleep_for(std::chrono::duration<double>(std::min(RETRY_SECONDS, o_.connectSeconds)));
        }
        std::fprintf(out_, "%s\n", session.resultLine().c_str());
        std::fflush(out_);
    }

    // The answer's body as JSON, when the status is 200.
    Json request(const std::string& path, const Json& body, const char* what, int& status) {
        const httplib::Result r = rest_.Post(path.c_str(), body.dump(), "application/json");
        if (!r)
            throw Failure{std::string("cannot ") + what + " at " + o_.url + ": " + networkError(r.error())};
        status = r->status;
        if (status == 401)
            throw Failure{std::string("the server refused the credentials of ") + o_.user + " to " + what + " (" +
                          errorDetail(r->body) + ")"};
        if (status != 200)
            return Json{{"detail", errorDetail(r->body)}};
        const Json answer = Json::parse(r->body, nullptr, false);
        if (answer.is_discarded())
            throw Failure{std::string("the answer to ") + what + " is not JSON: " + cut(r->body)};
        return answer;
    }

    std::string create() {
        int status = 0;
        const Json answer = request("/matches", toJson(o_.match), "create a match", status);
        if (status != 200)
            throw Failure{"cannot create a match (status " + std::to_string(status) + ": " +
                          answer["detail"].get<std::string>() + ")"};
        if (!answer.is_string() || answer.get<std::string>().empty())
            throw Failure{"the new match's id is not a string: " + cut(answer.dump())};
        return answer.get<std::string>();
    }

    int storeTeam(const std::string& id) {
        const std::string path = "/store-team-config?match_id=" + httplib::detail::encode_query_param(id) +
                                 "&expected_match_team_name=" + teamName(o_.team);
        int status = 0;
        const Json answer = request(path, toJson(o_.session.config), "join the match", status);
        if (status != 200)
            throw Failure{"cannot join match " + id + " (status " + std::to_string(status) + ": " +
                          answer["detail"].get<std::string>() + ")"};
        if (!answer.is_string() || parseTeam(answer.get<std::string>()) < 0)
            throw Failure{"the team given is neither team0 nor team1: " + cut(answer.dump())};
        return parseTeam(answer.get<std::string>());
    }

    // Posts a shot. Not our turn (after a reconnect the shot may have been
    // taken already) or a match already finished is no failure: the stream
    // tells what happened.
    void post(const std::string& id, const ShotRequest& shot) {
        const std::string path = "/shots?match_id=" + httplib::detail::encode_query_param(id);
        for (int attempt = 1;; ++attempt) {
            const httplib::Result r = rest_.Post(path.c_str(), toJson(shot).dump(), "application/json");
            const bool retry = !r || r->status == 429;
            if (!retry) {
                if (r->status == 200 || r->status == 409 || r->status == 400)
                    return;
                throw Failure{"the server refused the shot (status " + std::to_string(r->status) + ": " +
                              errorDetail(r->body) + ")"};
            }
            if (attempt >= POST_TRIES)
                throw Failure{"cannot post the shot: " + (r ? std::string("status 429") : networkError(r.error()))};
            std::this_thread::sleep_for(std::chrono::duration<double>(RETRY_SECONDS));
        }
    }

    const ClientOptions& o_;
    const Dc3::Decide& decide_;
    FILE* out_;
    FILE* err_;
    httplib::Client rest_;
};

}  // namespace

bool EventParser::feed(const char* data, size_t size) {
    partial_.append(data, size);
    size_t start = 0;
    for (size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1) {
        size_t stop = nl;
        if (stop > start && partial_[stop - 1] == '\r')
            --stop;
        line(partial_.substr(start, stop - start));
    }
    partial_.erase(0, start);
    return partial_.size() + current_.data.size() <= MAX_EVENT_BYTES;
}

std::vector<EventParser::Event> EventParser::take() {
    std::vector<Event> out;
    out.swap(ready_);
    return out;
}

void EventParser::line(const std::string& text) {
    if (text.empty()) {  // a blank line ends the event
        if (any_) {
            if (current_.name.empty())
                current_.name = "message";
            ready_.push_back(std::move(current_));
        }
        current_ = Event{};
        any_ = false;
        return;
    }
    if (text[0] == ':')  // a comment: the keep-alive
        return;
    const size_t colon = text.find(':');
    const std::string field = text.substr(0, colon);
    std::string value = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (!value.empty() && value[0] == ' ')
        value.erase(0, 1);
    if (field == "event") {
        current_.name = value;
        any_ = true;
    } else if (field == "data") {
        if (!current_.data.empty())
            current_.data += '\n';
        current_.data += value;
        any_ = true;
    }
}

int runClient(const ClientOptions& options, const Dc3::Decide& decide, FILE* out, FILE* err) {
    return Client(options, decide, out, err).run();
}

}  // namespace Kelvo::Dc4
