#include "server.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "game.h"
#include "record.h"

namespace Kelvo::Dc4 {

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

std::atomic<bool> signalled{false};
void onSignal(int) { signalled = true; }

struct Match {
    std::string id;
    uint64_t seed = 0;
    std::string rule;
    std::unique_ptr<Game> game;
    std::array<std::string, TEAMS> users;  // the usernames bound to team0 and team1
    std::array<int, TEAMS> streams = {};   // player streams open now
    bool replayed = false;                 // the players' streams have had their first replay
    Clock::time_point latestAt;            // when the latest state was made
    int hammer = 1;                        // of the current end
    bool dropped = false;                  // the streams were closed at the drop state
    int dropCount = 0;
    MatchRecord record;
};

// One stream's progress: states sent so far.
struct StreamProgress {
    bool counted = false;
    bool replayed = false;
    size_t sent = 0;
    bool drop = false;  // close after this write
};

void answer(httplib::Response& res, int status, const Json& body) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

void fail(httplib::Response& res, int status, const std::string& detail) {
    answer(res, status, Json{{"detail", detail}});
}

// A body or query that does not validate: the detail is a list of what is wrong.
void invalid(httplib::Response& res, const std::string& where, const std::string& why) {
    answer(res, 422, Json{{"detail", Json::array({Json{{"loc", Json::array({where})}, {"msg", why}, {"type", "value_error"}}})}});
}

std::string frame(const char* event, const State& s) {
    return std::string("event: ") + event + "\ndata: " + toJson(s).dump() + "\n\n";
}

// A UUIDv7: 48 bits of milliseconds since 1970, then random bits.
std::string uuid7(uint64_t random, uint64_t counter) {
    const uint64_t ms = uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
    // splitmix64 of the seed and the match's number.
    uint64_t r = random + (counter + 1) * 0x9E3779B97F4A7C15ull;
    r = (r ^ (r >> 30)) * 0xBF58476D1CE4E5B9ull;
    r = (r ^ (r >> 27)) * 0x94D049BB133111EBull;
    r ^= r >> 31;
    char text[40];
    std::snprintf(text, sizeof text, "%08llx-%04llx-7%03llx-%04llx-%012llx", (unsigned long long)(ms >> 16),
                  (unsigned long long)(ms & 0xffff), (unsigned long long)(r & 0xfff),
                  (unsigned long long)(0x8000 | ((r >> 12) & 0x3fff)), (unsigned long long)((r >> 26) & 0xffffffffffffull));
    return text;
}

class StandIn {
public:
    StandIn(const ServerOptions& options, FILE* out) : o_(options), out_(out) {}

    int run() {
        // Streams wait in their handler: one thread for each, and more.
        server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
        server_.set_keep_alive_max_count(1000);
        server_.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            fail(res, 500, "Internal Server Error");
        });
        server_.set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty())
                fail(res, res.status, res.status == 404 ? "Not Found" : "Error");
        });
        routes();
        const int port = o_.port == 0 ? server_.bind_to_any_port(o_.host) : o_.port;
        if (port <= 0 || (o_.port != 0 && !server_.bind_to_port(o_.host, o_.port))) {
            std::fprintf(stderr, "kelvo-dc4-server: cannot listen on %s:%d\n", o_.host.c_str(), o_.port);
            return 1;
        }
        std::fprintf(out_, "listening on %s:%d\n", o_.host.c_str(), port);
        std::fflush(out_);
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGPIPE, SIG_IGN);
        std::thread watcher([this] { watch(); });
        server_.listen_after_bind();
        watcher.join();
        return 0;
    }

private:
    // Stops on a signal, or a while after the last match asked for has a
    // winner (its streams get the final state first).
    void watch() {
        std::unique_lock<std::mutex> lock(mu_);
        while (!signalled && !(o_.exitAfter > 0 && finished_ >= o_.exitAfter))
            cv_.wait_for(lock, std::chrono::milliseconds(200));
        lock.unlock();
        if (!signalled)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        lock.lock();
        stopping_ = true;
        cv_.notify_all();
        lock.unlock();
        server_.stop();
    }

    std::optional<std::string> user(const httplib::Request& req) const {
        const std::string given = req.get_header_value("Authorization");
        for (const auto& [name, password] : o_.accounts)
            if (given == httplib::make_basic_authentication_header(name, password).second)
                return name;
        return std::nullopt;
    }

    // The match of an id, or null after answering 404 with `missing`.
    Match* find(const std::string& id, httplib::Response& res, const char* missing) {
        const auto it = matches_.find(id);
        if (it == matches_.end()) {
            fail(res, 404, missing);
            return nullptr;
        }
        return it->second.get();
    }

    static int teamOf(const Match& m, const std::string& user) {
        for (int t = 0; t < TEAMS; ++t)
            if (m.users[size_t(t)] == user)
                return t;
        return -1;
    }

    void routes() {
        server_.Post("/matches", [this](const httplib::Request& req, httplib::Response& res) { create(req, res); });
        server_.Post("/store-team-config",
                     [this](const httplib::Request& req, httplib::Response& res) { storeTeam(req, res); });
        server_.Post("/shots", [this](const httplib::Request& req, httplib::Response& res) { shoot(req, res); });
        server_.Get(R"(/matches/([^/]+)/stream)",
                    [this](const httplib::Request& req, httplib::Response& res) { stream(req, res, true); });
        server_.Get(R"(/matches/([^/]+)/viewer)",
                    [this](const httplib::Request& req, httplib::Response& res) { stream(req, res, false); });
        server_.Get(R"(/matches/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
            read(req, res, [](const Match& m) { return describe(m); });
        });
        server_.Get(R"(/matches/([^/]+)/score)", [this](const httplib::Request& req, httplib::Response& res) {
            read(req, res, [](const Match& m) { return toJson(m.game->latest())["score"]; });
        });
        server_.Get(R"(/matches/([^/]+)/latest-state)", [this](const httplib::Request& req, httplib::Response& res) {
            read(req, res, [](const Match& m) { return toJson(m.game->latest()); });
        });
        server_.Get(R"(/matches/([^/]+)/stone-coordinate/latest)",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        read(req, res, [](const Match& m) { return toJson(m.game->latest())["stone_coordinate"]; });
                    });
        server_.Get(R"(/matches/([^/]+)/ends/(\d{1,4})/states)",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        const int end = std::stoi(req.matches[2]);
                        read(req, res, [end](const Match& m) {
                            Json list = Json::array();
                            for (const State& s : m.game->states())
                                if (s.end == end)
                                    list.push_back(toJson(s));
                            return list;
                        });
                    });
    }

    static Json describe(const Match& m) {
        const MatchRequest& r = m.game->request();
        return Json{{"match_id", m.id},
                    {"match_name", r.name},
                    {"game_mode", r.gameMode},
                    {"applied_rule", r.rule},
                    {"time_limit", r.timeLimit},
                    {"extra_end_time_limit", r.extraEndTimeLimit},
                    {"standard_end_count", r.ends},
                    {"tournament", {{"tournament_name", r.tournament}}},
                    {"simulator", {{"simulator_name", r.simulator}}},
                    {"first_team_name", m.game->team(0).teamName},
                    {"second_team_name", m.game->team(1).teamName},
                    {"winner_team", m.game->over() ? Json(teamName(m.game->latest().winner)) : Json(nullptr)}};
    }

    template <typename F>
    void read(const httplib::Request& req, httplib::Response& res, F view) {
        std::lock_guard<std::mutex> lock(mu_);
        if (Match* m = find(req.matches[1], res, "Match not found."))
            answer(res, 200, view(*m));
    }

    void create(const httplib::Request& req, httplib::Response& res) {
        if (!user(req))
            return fail(res, 401, "Incorrect username or password.");
        const Json body = Json::parse(req.body, nullptr, false);
        if (body.is_discarded())
            return invalid(res, "body", "not JSON");
        MatchRequest request;
        try {
            request = parseMatchRequest(body);
        } catch (const MessageError& e) {
            return invalid(res, "body", e.what());
        }
        if (request.simulator != "fcv1")
            return fail(res, 404, "Simulator not found.");
        if (request.gameMode == "mixed_doubles" || request.gameMode == "mix_doubles")
            return fail(res, 400, "Mixed doubles is not played on this server.");
        Dc4Guard guard;
        if (request.gameMode != "standard" || !parseDc4Guard(request.rule, guard) || guard == Dc4Guard::MODIFIED_FGZ)
            return fail(res, 400, "The applied rule does not fit the game mode.");
        std::lock_guard<std::mutex> lock(mu_);
        auto m = std::make_unique<Match>();
        m->seed = o_.seed + 0x9E3779B97F4A7C15ull * uint64_t(matches_.size());
        m->id = uuid7(m->seed, matches_.size());
        m->rule = request.rule;
        m->game = std::make_unique<Game>(request, guard, m->seed);
        m->latestAt = Clock::now();
        const std::string id = m->id;
        matches_[id] = std::move(m);
        if (!o_.quiet) {
            std::fprintf(out_, "match %s created: %d ends, %g s a team, %s\n", id.c_str(), request.ends,
                         request.timeLimit, request.rule.c_str());
            std::fflush(out_);
        }
        answer(res, 200, Json(id));
    }

    void storeTeam(const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> name = user(req);
        if (!name)
            return fail(res, 401, "Incorrect username or password.");
        if (!req.has_param("match_id") || !req.has_param("expected_match_team_name"))
            return invalid(res, "query", "match_id and expected_match_team_name are required");
        const int wanted = parseTeam(req.get_param_value("expected_match_team_name"));
        if (wanted < 0)
            return invalid(res, "query", "expected_match_team_name is neither team0 nor team1");
        const Json body = Json::parse(req.body, nullptr, false);
        if (body.is_discarded())
            return invalid(res, "body", "not JSON");
        TeamConfig config;
        try {
            config = parseTeamConfig(body);
        } catch (const MessageError& e) {
            // A standard team names its four players.
            const bool missingPlayer = std::string(e.what()).rfind("no player", 0) == 0;
            if (missingPlayer)
                return fail(res, 400, "A standard game needs player1 to player4.");
            return invalid(res, "body", e.what());
        }
        std::lock_guard<std::mutex> lock(mu_);
        Match* m = find(req.get_param_value("match_id"), res, "Match not found.");
        if (!m)
            return;
        int team = teamOf(*m, *name);
        // A username keeps its team: posting again changes nothing.
        if (team < 0) {
            if (m->users[size_t(wanted)].empty())
                team = wanted;
            else if (m->users[size_t(1 - wanted)].empty())
                team = 1 - wanted;
            else
                return fail(res, 409, "This match has already started.");
            m->users[size_t(team)] = *name;
            m->game->configure(team, config);
            if (m->game->started())
                begin(*m);
            cv_.notify_all();
        }
        answer(res, 200, Json(teamName(team)));
    }

    // Both teams are configured: the record starts.
    void begin(Match& m) {
        if (!o_.recordDir.empty()) {
            const std::string path = o_.recordDir + "/" + m.id + ".jsonl";
            if (m.record.open(path))
                m.record.writeMatch(m.id, *m.game, m.seed, m.rule);
            else
                std::fprintf(stderr, "kelvo-dc4-server: cannot write the record %s\n", path.c_str());
        }
        if (!o_.quiet) {
            std::fprintf(out_, "match %s: team0 %s (%s), team1 %s (%s)\n", m.id.c_str(),
                         m.game->team(0).teamName.c_str(), m.users[0].c_str(), m.game->team(1).teamName.c_str(),
                         m.users[1].c_str());
            std::fflush(out_);
        }
    }

    void shoot(const httplib::Request& req, httplib::Response& res) {
        const Clock::time_point arrived = Clock::now();
        const std::optional<std::string> name = user(req);
        if (!name)
            return fail(res, 401, "Incorrect username or password.");
        if (!req.has_param("match_id"))
            return invalid(res, "query", "match_id is required");
        const Json body = Json::parse(req.body, nullptr, false);
        if (body.is_discarded())
            return invalid(res, "body", "not JSON");
        ShotRequest shot;
        try {
            shot = parseShotRequest(body);
        } catch (const MessageError& e) {
            return invalid(res, "body", e.what());
        }
        std::lock_guard<std::mutex> lock(mu_);
        Match* m = find(req.get_param_value("match_id"), res, "Match or state not found.");
        if (!m)
            return;
        if (m->game->over())
            return fail(res, 409, "Match already finished.");
        const int team = teamOf(*m, *name);
        if (team < 0)
            return fail(res, 401, "Invalid match data");
        if (!m->game->started() || m->game->latest().nextTeam != team)
            return fail(res, 409, "Not your turn.");
        play(*m, shot, std::chrono::duration<double>(arrived - m->latestAt).count());
        answer(res, 200, Json(nullptr));
    }

    void play(Match& m, const ShotRequest& shot, double seconds) {
        const size_t before = m.game->states().size();
        const ShotReport r = m.game->shoot(shot, seconds);
        m.latestAt = Clock::now();
        const std::vector<State>& states = m.game->states();
        if (m.record.isOpen())
            m.record.writeShot(r, states[before], m.hammer);
        if (r.endScore) {
            const int next = states.size() > before + 1 ? 1 - states.back().nextTeam : m.hammer;
            if (m.record.isOpen())
                m.record.writeEnd(r, states[before], m.hammer, next);
            m.hammer = next;
        }
        const State& last = states.back();
        if (last.winner >= 0) {
            const std::string reason = r.timedOut && !r.endScore ? "time_limit" : "score";
            if (m.record.isOpen())
                m.record.writeResult(last, reason);
            ++finished_;
            if (!o_.quiet) {
                std::fprintf(out_, "match %s: %s wins by %s, team0 %d : %d team1\n", m.id.c_str(),
                             teamName(last.winner), reason.c_str(), totalScore(last, 0), totalScore(last, 1));
                std::fflush(out_);
            }
        }
        cv_.notify_all();
    }

    void stream(const httplib::Request& req, httplib::Response& res, bool player) {
        int team = -1;
        Match* m = nullptr;
        {
            const std::optional<std::string> name = player ? user(req) : std::optional<std::string>("");
            if (!name)
                return fail(res, 401, "Incorrect username or password.");
            std::lock_guard<std::mutex> lock(mu_);
            m = find(req.matches[1], res, "Match not found.");
            if (!m)
                return;
            if (player && (team = teamOf(*m, *name)) < 0)
                return fail(res, 401, "Invalid match data");
        }
        res.set_header("Cache-Control", "no-cache");
        auto progress = std::make_shared<StreamProgress>();
        res.set_chunked_content_provider(
            "text/event-stream; charset=utf-8",
            [this, m, team, progress](size_t, httplib::DataSink& sink) { return pump(*m, team, *progress, sink); },
            [this, m, team, progress](bool) {
                std::lock_guard<std::mutex> lock(mu_);
                if (progress->counted)
                    --m->streams[size_t(team)];
                cv_.notify_all();
            });
    }

    // Writes what a stream has to send next: the replay once it may have
    // it, then every new state, a comment when silent too long. False ends
    // the stream.
    bool pump(Match& m, int team, StreamProgress& p, httplib::DataSink& sink) {
        std::unique_lock<std::mutex> lock(mu_);
        if (team >= 0 && !p.counted) {
            ++m.streams[size_t(team)];
            p.counted = true;
            cv_.notify_all();
        }
        const Clock::time_point pingAt =
            Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o_.pingSeconds));
        for (;;) {
            if (stopping_)
                return false;
            const std::vector<State>& states = m.game->states();
            std::string out;
            if (!p.replayed && (team < 0 || (m.game->started() && m.streams[0] > 0 && m.streams[1] > 0))) {
                if (team >= 0 && !m.replayed) {
                    m.replayed = true;
                    // The first state's clock starts at the first replay to the players.
                    if (states.size() == 1)
                        m.latestAt = Clock::now();
                }
                const int end = states.back().end;
                for (size_t i = 0; i < states.size(); ++i)
                    if (states[i].end == end)
                        out += frame(i + 1 == states.size() ? "latest_state_update" : "state_update", states[i]);
                p.replayed = true;
                p.sent = states.size();
            } else if (p.replayed && p.sent < states.size()) {
                for (; p.sent < states.size(); ++p.sent) {
                    const State& s = states[p.sent];
                    out += frame("latest_state_update", s);
                    if (team >= 0 && !m.dropped && s.end == o_.dropEnd && s.totalShot == o_.dropShot) {
                        p.drop = true;
                        ++p.sent;
                        break;
                    }
                }
            } else if (Clock::now() >= pingAt) {
                out = ": ping\n\n";
            }
            if (!out.empty()) {
                const bool drop = p.drop;
                lock.unlock();
                if (!sink.write(out.data(), out.size()) || !drop)
                    return !drop;
                std::lock_guard<std::mutex> again(mu_);
                // Both teams' streams drop at the state: the other's may still be sending it.
                if (++m.dropCount >= TEAMS)
                    m.dropped = true;
                return false;
            }
            cv_.wait_for(lock, std::chrono::milliseconds(500));
            if (!sink.is_writable())
                return false;
        }
    }

    const ServerOptions& o_;
    FILE* out_;
    httplib::Server server_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::map<std::string, std::unique_ptr<Match>> matches_;
    int finished_ = 0;
    bool stopping_ = false;
};

}  // namespace

int runServer(const ServerOptions& options, FILE* out) { return StandIn(options, out).run(); }

}  // namespace Kelvo::Dc4
