#include "summary.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

namespace Kelvo::Server {

namespace {

using Json = nlohmann::json;
constexpr double NOT_KNOWN = std::numeric_limits<double>::quiet_NaN();

int sideOf(const Json& name) {
    const std::string text = name.get<std::string>();
    if (text == "player1")
        return 0;
    if (text == "player2")
        return 1;
    throw std::runtime_error("unknown player \"" + text + "\"");
}

// Takes one object of the record; throws on an object it cannot use.
void takeObject(const Json& object, RecordedMatch& match, bool& opened) {
    const std::string type = object.at("type").get<std::string>();
    if (!opened) {
        if (type != "match")
            throw std::runtime_error("does not start with a match object");
        const Json& players = object.at("players");
        match.players[0] = players.at(0).get<std::string>();
        match.players[1] = players.at(1).get<std::string>();
        match.seed = object.at("seed").get<uint64_t>();
        opened = true;
    } else if (type == "shot") {
        const int side = sideOf(object.at("player"));
        const std::string outcome = object.at("outcome").get<std::string>();
        if (outcome == "timeout" || outcome == "invalid")
            ++match.lostShots[side];
        if (outcome != "died") {
            const double seconds = object.at("seconds").get<double>();
            ++match.answers[side];
            match.answerSeconds[side] += seconds;
            match.maxSeconds[side] = std::max(match.maxSeconds[side], seconds);
        }
    } else if (type == "end") {
        match.endScores.push_back(object.at("score").get<int>());
    } else if (type == "result") {
        match.finished = true;
        match.winner = object.at("winner").get<std::string>();
        const Json& forfeit = object.at("forfeit");
        match.forfeit = forfeit.is_null() ? "" : forfeit.get<std::string>();
    }
}

std::string number(double v, const char* format = "%.3f") {
    if (std::isnan(v))
        return "nan";
    char buf[40];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

Json jsonNumber(double v) { return std::isnan(v) ? Json(nullptr) : Json(v); }

double meanAnswer(const PlayerTotals& p) { return p.answers ? p.answerSeconds / p.answers : NOT_KNOWN; }

// Adds one match to both players' totals; `aSide` is the side A played.
void addMatch(const RecordedMatch& m, int aSide, PlayerTotals (&players)[2]) {
    for (int side = 0; side < 2; ++side) {
        PlayerTotals& p = players[side == aSide ? 0 : 1];
        p.ends += int(m.endScores.size());
        for (int score : m.endScores) {
            const int mine = side == 0 ? score : -score;
            (mine > 0 ? p.scored : p.conceded) += std::abs(mine);
        }
        p.lostShots += m.lostShots[side];
        p.answers += m.answers[side];
        p.answerSeconds += m.answerSeconds[side];
        p.maxSeconds = std::max(p.maxSeconds, m.maxSeconds[side]);
        const std::string name = side == 0 ? "player1" : "player2";
        if (m.forfeit == "both" || m.forfeit == name)
            ++p.forfeits;
        if (!m.finished)
            continue;
        if (m.winner == "draw")
            ++p.drawn;
        else if (m.winner == name)
            ++p.won;
        else
            ++p.lost;  // the other won, or both forfeited
    }
}

// A's points minus B's over the match.
int differenceForA(const RecordedMatch& m, int aSide) {
    int sum = 0;
    for (int score : m.endScores)
        sum += score;
    return aSide == 0 ? sum : -sum;
}

}  // namespace

bool parseRecord(std::istream& in, RecordedMatch& match, std::string& why) {
    bool opened = false;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        // A line without its line end is one the server was writing when it
        // was stopped: the match is unfinished, the lines before it hold.
        const bool cut = in.eof();
        const Json object = Json::parse(line, nullptr, false);
        if (object.is_discarded() || !object.is_object()) {
            if (cut && opened)
                break;
            why = "line " + std::to_string(number) + " is not a JSON object";
            return false;
        }
        try {
            takeObject(object, match, opened);
        } catch (const std::exception& e) {
            why = "line " + std::to_string(number) + ": " + e.what();
            return false;
        }
        if (match.finished)
            break;
    }
    if (!opened) {
        why = "no match object";
        return false;
    }
    return true;
}

bool readRecord(const std::string& path, RecordedMatch& match, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot be opened";
        return false;
    }
    match.path = path;
    return parseRecord(in, match, why);
}

TournamentSummary summarise(const std::vector<RecordedMatch>& matches) {
    TournamentSummary s;
    s.players[0].command = matches.at(0).players[0];
    s.players[1].command = matches.at(0).players[1];
    const std::string& a = s.players[0].command;
    const std::string& b = s.players[1].command;
    const bool selfPlay = a == b;

    struct Pair {
        size_t first;
        int firstASide;
        long second = -1;
    };
    std::vector<Pair> pairs;
    std::map<uint64_t, std::vector<size_t>> open;  // seed -> pairs still waiting
    double gameDiff = 0;
    int finishedGames = 0;
    for (size_t i = 0; i < matches.size(); ++i) {
        const RecordedMatch& m = matches[i];
        int aSide;
        if (m.players[0] == a && m.players[1] == b)
            aSide = 0;
        else if (m.players[0] == b && m.players[1] == a)
            aSide = 1;
        else {
            s.skipped.push_back(m.path + " is a match between other players");
            continue;
        }
        std::vector<size_t>& waiting = open[m.seed];
        bool paired = false;
        for (size_t k = 0; k < waiting.size() && !paired; ++k) {
            Pair& p = pairs[waiting[k]];
            // One program against itself: the later record of a seed is the
            // one with the order swapped.
            if (selfPlay || p.firstASide != aSide) {
                aSide = 1 - p.firstASide;
                p.second = long(i);
                waiting.erase(waiting.begin() + long(k));
                paired = true;
            }
        }
        if (!paired) {
            waiting.push_back(pairs.size());
            pairs.push_back({i, aSide});
        }
        addMatch(m, aSide, s.players);
        s.maxEnds = std::max(s.maxEnds, int(m.endScores.size()));
        if (m.finished) {
            gameDiff += differenceForA(m, aSide);
            ++finishedGames;
        }
        if (!m.finished)
            s.unfinished.push_back(m.path + " is unfinished: " + std::to_string(m.endScores.size()) +
                                   " finished ends counted");
    }

    // The pair is the unit: its two matches share their luck. The mean per
    // end is the ratio of the sums; its standard error by the delta method.
    std::vector<std::pair<double, double>> perPair;  // difference, ends
    double sumDiff = 0, sumEnds = 0;
    for (const Pair& p : pairs) {
        const RecordedMatch& first = matches[p.first];
        if (p.second < 0) {
            s.unpaired.push_back(first.path + " has no match with the order swapped (seed " +
                                 std::to_string(first.seed) + "): not in the pair statistics");
            continue;
        }
        const RecordedMatch& second = matches[size_t(p.second)];
        const int diff = differenceForA(first, p.firstASide) + differenceForA(second, 1 - p.firstASide);
        const int ends = int(first.endScores.size() + second.endScores.size());
        s.pairOutcomes.push_back({first.seed, diff, ends, first.finished && second.finished});
        perPair.emplace_back(diff, ends);
        sumDiff += diff;
        sumEnds += ends;
    }
    const PlayerTotals& pa = s.players[0];
    s.games = pa.won + pa.drawn + pa.lost;
    if (s.games > 0) {
        s.gameScore = (pa.won + 0.5 * pa.drawn) / s.games;
        wilsonInterval(s.gameScore, s.games, s.gameCi95Low, s.gameCi95High);
    }
    if (finishedGames > 0)
        s.diffPerGame = gameDiff / finishedGames;
    s.pairs = int(perPair.size());
    s.ends = int(sumEnds);
    s.diffPerEnd = sumEnds > 0 ? sumDiff / sumEnds : NOT_KNOWN;
    if (s.pairs >= 2 && sumEnds > 0) {
        // The variance of one pair's difference per end: the residuals of
        // the pairs around the common mean, in points per pair, over the
        // mean ends of a pair squared. With equal ends in every pair this is
        // the plain sample variance of the pairs' differences per end.
        const double n = s.pairs;
        double squares = 0;
        for (const auto& [diff, ends] : perPair)
            squares += (diff - s.diffPerEnd * ends) * (diff - s.diffPerEnd * ends);
        const double meanEnds = sumEnds / n;
        s.variancePerEnd = squares / (n - 1) / (meanEnds * meanEnds);
        const double half = studentT975(s.pairs - 1) * std::sqrt(s.variancePerEnd / n);
        s.ci95Low = s.diffPerEnd - half;
        s.ci95High = s.diffPerEnd + half;
    }
    return s;
}

// The log-likelihood ratio of H1 (mean difference per end h1) against H0
// (h0) for the mean m of n pairs' differences per end d_i, taken as normal
// with a variance s^2 in place of the unknown true one:
//   LLR = sum_i [(d_i - h0)^2 - (d_i - h1)^2] / (2 s^2)
//       = n (h1 - h0) (2 m - h0 - h1) / (2 s^2).
// m is the ratio of the sums, the plain mean of the d_i when every pair
// played the same number of ends. H1 is accepted once the ratio reaches
// log((1 - beta) / alpha), H0 once it falls to log(beta / (1 - alpha)).
//
// The error rates hold for a known variance. Estimated from a handful of
// pairs it is often far too small (pairs that nearly all cancel, or players
// far apart whose every pair ends alike, give a variance of almost or
// exactly zero) and the ratio then crosses a bound on noise. Two guards:
// - No decision before minPairs pairs (default 20): by then the relative
//   error of the sample variance is about a third (sqrt(2 / 19) for normal
//   pairs) instead of a whole for three pairs.
// - s^2 is the posterior estimate under a prior worth PRIOR_PAIRS pairs at
//   PRIOR_END_VARIANCE points^2 per end, the spread of one end between
//   equal players (40 one-end pairs of the player against itself at 200 ms
//   per shot), so the variance cannot collapse:
//     s^2 = (sum_i (D_i - m E_i)^2 + PRIOR_PAIRS v e) / (n - 1 + PRIOR_PAIRS) / e^2
//   with D_i a pair's points, E_i its ends, e their mean and v the prior's
//   variance per end (a pair of e ends has variance v e in points). The
//   prior is worth half the minimum, so from the minimum on the pairs weigh
//   at least twice as much; a lighter prior let more false H1 through on
//   the skewed real pairs, a heavier one holds a wrong guess longer.
// Identical pairs far from both hypotheses then decide at the minimum;
// pairs that all cancel accept H0 = 0 a few pairs after it.
// kelvo-summary --sprt-check measures the error rates this keeps.
constexpr double PRIOR_PAIRS = 10;
constexpr double PRIOR_END_VARIANCE = 2.4;

void addPair(PairSums& sums, int diff, int ends) {
    const double d = diff, e = ends;
    ++sums.pairs;
    sums.diff += d;
    sums.ends += e;
    sums.diffSquared += d * d;
    sums.diffTimesEnds += d * e;
    sums.endsSquared += e * e;
}

double logLikelihoodRatio(const PairSums& s, const SprtSettings& t) {
    if (s.pairs < 1 || s.ends <= 0)
        return NOT_KNOWN;
    const double n = s.pairs, m = s.diff / s.ends, meanEnds = s.ends / n;
    // The residuals of the pairs around the common mean; never below zero
    // by rounding.
    const double squares = std::max(0.0, s.diffSquared - 2 * m * s.diffTimesEnds + m * m * s.endsSquared);
    const double variance =
        (squares + PRIOR_PAIRS * PRIOR_END_VARIANCE * meanEnds) / (n - 1 + PRIOR_PAIRS) / (meanEnds * meanEnds);
    return n * (t.h1 - t.h0) * (2 * m - t.h0 - t.h1) / (2 * variance);
}

SprtResult startTest(const SprtSettings& t) {
    SprtResult r;
    r.lower = std::log(t.beta / (1 - t.alpha));
    r.upper = std::log((1 - t.beta) / t.alpha);
    return r;
}

void takePair(PairSums& sums, SprtResult& r, const SprtSettings& t, int pairNumber, int diff, int ends) {
    if (r.result != "none")
        return;
    r.atPair = pairNumber;
    if (ends <= 0)
        return;
    addPair(sums, diff, ends);
    r.llrAtPair = logLikelihoodRatio(sums, t);
    if (sums.pairs >= t.minPairs)
        r.result = r.llrAtPair >= r.upper ? "H1" : r.llrAtPair <= r.lower ? "H0" : "none";
}

SprtResult sprt(const TournamentSummary& s, const SprtSettings& t) {
    SprtResult r = startTest(t);
    std::map<uint64_t, const PairOutcome*> bySeed;
    PairSums all;
    for (const PairOutcome& p : s.pairOutcomes) {
        if (p.seed >= t.firstSeed)
            bySeed.emplace(p.seed, &p);
        if (p.ends > 0)
            addPair(all, p.diff, p.ends);
    }
    r.llr = logLikelihoodRatio(all, t);
    PairSums taken;
    for (uint64_t k = 0; k < bySeed.size() && r.result == "none"; ++k) {
        const auto at = bySeed.find(t.firstSeed + k);
        if (at == bySeed.end() || !at->second->finished)
            break;
        takePair(taken, r, t, int(k + 1), at->second->diff, at->second->ends);
    }
    return r;
}

void addSequentialTest(TournamentSummary& s, const SprtSettings& settings) {
    s.tested = true;
    s.test = settings;
    s.sprt = sprt(s, settings);
}

namespace {

// A number after its name at the start of `word`; false when the word is
// another or the number is damaged.
bool namedNumber(const std::string& word, const char* name, double& value) {
    if (word.rfind(name, 0) != 0)
        return false;
    const std::string text = word.substr(std::strlen(name));
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(value);
}

}  // namespace

bool parseTestSettings(const std::string& line, SprtSettings& t) {
    const std::string prefix = "sprt: ";
    if (line.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::istringstream words(line.substr(prefix.size()));
    const char* const names[4] = {"h0=", "h1=", "alpha=", "beta="};
    double* const values[4] = {&t.h0, &t.h1, &t.alpha, &t.beta};
    std::string word;
    for (int i = 0; i < 4; ++i)
        if (!(words >> word) || !namedNumber(word, names[i], *values[i]))
            return false;
    // Tournaments from before the minimum was a setting used none; they
    // go on with the default.
    t.minPairs = SPRT_MIN_PAIRS;
    if (words >> word) {
        double minPairs = 0;
        if (!namedNumber(word, "min_pairs=", minPairs) || minPairs != std::floor(minPairs) || minPairs < 1 ||
            minPairs > 100000 || (words >> word))
            return false;
        t.minPairs = int(minPairs);
    }
    // Bounds on both sides of zero need alpha + beta below 1.
    return t.h0 < t.h1 && t.alpha > 0 && t.beta > 0 && t.alpha + t.beta < 1;
}

bool readTestSettings(const std::string& path, bool& asked, SprtSettings& settings, std::string& why) {
    asked = false;
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return true;
    std::ifstream in(path);
    if (!in) {
        why = "cannot be opened";
        return false;
    }
    bool seeded = false;
    std::string seedLine;  // a damaged one
    for (std::string line; std::getline(in, line);)
        if (line.rfind("sprt:", 0) == 0) {
            if (!parseTestSettings(line, settings)) {
                why = "the line \"" + line + "\" is not \"sprt: h0=X h1=X alpha=X beta=X [min_pairs=N]\" with "
                      "h0 < h1, alpha, beta above 0 adding up to less than 1 and N from 1 to 100000";
                return false;
            }
            asked = true;
        } else if (line.rfind("seed: ", 0) == 0) {
            const std::string text = line.substr(6);
            char* end = nullptr;
            errno = 0;
            settings.firstSeed = std::strtoull(text.c_str(), &end, 10);
            seeded = !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) && *end == '\0' && errno == 0;
            if (!seeded)
                seedLine = line;
        }
    if (in.bad()) {
        why = "cannot be read";
        return false;
    }
    // Only the test needs the seed.
    if (asked && !seeded) {
        why = seedLine.empty() ? "asks for a sequential test but names no first seed (a line \"seed: S\")"
                               : "the line \"" + seedLine + "\" is not \"seed: S\"";
        return false;
    }
    return true;
}

std::string sprtLine(const SprtResult& r) {
    return "sprt: result=" + r.result + " at_pair=" + std::to_string(r.atPair) + " llr_at_pair=" +
           number(r.llrAtPair) + " llr=" + number(r.llr) + " lower=" + number(r.lower) + " upper=" + number(r.upper);
}

double studentT975(int degrees) {
    static const double TABLE[30] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                                     2.201,  2.179, 2.160, 2.145, 2.131, 2.120, 2.110, 2.101, 2.093, 2.086,
                                     2.080,  2.074, 2.069, 2.064, 2.060, 2.056, 2.052, 2.048, 2.045, 2.042};
    if (degrees < 1)
        return NOT_KNOWN;
    if (degrees <= 30)
        return TABLE[degrees - 1];
    // Cornish-Fisher expansion around the normal quantile; within 1e-4 here.
    const double z = 1.959963985, v = degrees;
    const double z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z;
    return z + (z3 + z) / (4 * v) + (5 * z5 + 16 * z3 + 3 * z) / (96 * v * v) +
           (3 * z7 + 19 * z5 + 17 * z3 - 15 * z) / (384 * v * v * v);
}

void wilsonInterval(double p, int n, double& low, double& high) {
    // Unlike the normal approximation it stays inside 0..1 and does not
    // shrink to a point when every game has the same result.
    constexpr double Z = 1.959963984540054;
    const double z2n = Z * Z / n;
    const double centre = (p + z2n / 2) / (1 + z2n);
    const double half = Z * std::sqrt(p * (1 - p) / n + z2n / (4.0 * n)) / (1 + z2n);
    low = std::max(0.0, centre - half);
    high = std::min(1.0, centre + half);
}

std::string gamesLine(const TournamentSummary& s) {
    const PlayerTotals& a = s.players[0];
    return "games: played=" + std::to_string(s.games) + " won=" + std::to_string(a.won) +
           " drawn=" + std::to_string(a.drawn) + " lost=" + std::to_string(a.lost) + " score=" + number(s.gameScore) +
           " ci95_low=" + number(s.gameCi95Low) + " ci95_high=" + number(s.gameCi95High) +
           " diff_per_game=" + number(s.diffPerGame);
}

std::string summaryText(const TournamentSummary& s) {
    std::string out;
    out += "player A: " + s.players[0].command + "\n";
    out += "player B: " + s.players[1].command + "\n";
    for (const auto* notes : {&s.unfinished, &s.unpaired, &s.skipped})
        for (const std::string& note : *notes)
            out += "note: " + note + "\n";
    char line[320];
    std::snprintf(line, sizeof line, "%-6s %5s %5s %5s %6s %10s %12s %9s %19s %10s %8s %7s %7s\n", "player", "won",
                  "drawn", "lost", "ends", "scored/end", "conceded/end", "diff/end", "ci95", "lost_shots", "forfeits",
                  "mean_s", "max_s");
    out += line;
    for (int i = 0; i < 2; ++i) {
        const PlayerTotals& p = s.players[i];
        const double sign = i == 0 ? 1 : -1;
        const double low = i == 0 ? s.ci95Low : -s.ci95High, high = i == 0 ? s.ci95High : -s.ci95Low;
        const double ends = p.ends;
        const std::string ci = "[" + number(low, "%+.3f") + ", " + number(high, "%+.3f") + "]";
        std::snprintf(line, sizeof line, "%-6s %5d %5d %5d %6d %10s %12s %9s %19s %10d %8d %7s %7s\n",
                      i == 0 ? "A" : "B", p.won, p.drawn, p.lost, p.ends,
                      number(p.ends ? p.scored / ends : NOT_KNOWN).c_str(),
                      number(p.ends ? p.conceded / ends : NOT_KNOWN).c_str(),
                      number(sign * s.diffPerEnd, "%+.3f").c_str(), ci.c_str(), p.lostShots, p.forfeits,
                      number(meanAnswer(p), "%.2f").c_str(), number(p.maxSeconds, "%.2f").c_str());
        out += line;
    }
    if (s.maxEnds > 1)
        out += gamesLine(s) + "\n";
    if (s.tested)
        out += sprtLine(s.sprt) + "\n";
    out += "summary: pairs=" + std::to_string(s.pairs) + " ends=" + std::to_string(s.ends) +
           " diff_per_end=" + number(s.diffPerEnd) + " ci95_low=" + number(s.ci95Low) +
           " ci95_high=" + number(s.ci95High) +
           " lost_shots=" + std::to_string(s.players[0].lostShots + s.players[1].lostShots) +
           " forfeits=" + std::to_string(s.players[0].forfeits + s.players[1].forfeits) + "\n";
    return out;
}

std::string summaryJson(const TournamentSummary& s) {
    Json players = Json::array();
    for (int i = 0; i < 2; ++i) {
        const PlayerTotals& p = s.players[i];
        const double sign = i == 0 ? 1 : -1;
        const double ends = p.ends;
        players.push_back({{"name", i == 0 ? "A" : "B"},
                           {"command", p.command},
                           {"won", p.won},
                           {"drawn", p.drawn},
                           {"lost", p.lost},
                           {"ends", p.ends},
                           {"scored_per_end", jsonNumber(p.ends ? p.scored / ends : NOT_KNOWN)},
                           {"conceded_per_end", jsonNumber(p.ends ? p.conceded / ends : NOT_KNOWN)},
                           {"diff_per_end", jsonNumber(sign * s.diffPerEnd)},
                           {"ci95_low", jsonNumber(i == 0 ? s.ci95Low : -s.ci95High)},
                           {"ci95_high", jsonNumber(i == 0 ? s.ci95High : -s.ci95Low)},
                           {"lost_shots", p.lostShots},
                           {"forfeits", p.forfeits},
                           {"mean_answer_seconds", jsonNumber(meanAnswer(p))},
                           {"max_answer_seconds", p.maxSeconds}});
    }
    Json test = nullptr;
    if (s.tested)
        test = {{"result", s.sprt.result},
                {"at_pair", s.sprt.atPair},
                {"llr_at_pair", jsonNumber(s.sprt.llrAtPair)},
                {"llr", jsonNumber(s.sprt.llr)},
                {"lower", s.sprt.lower},
                {"upper", s.sprt.upper},
                {"h0", s.test.h0},
                {"h1", s.test.h1},
                {"alpha", s.test.alpha},
                {"beta", s.test.beta},
                {"min_pairs", s.test.minPairs}};
    const Json out = {{"pairs", s.pairs},
                      {"ends", s.ends},
                      {"diff_per_end", jsonNumber(s.diffPerEnd)},
                      {"ci95_low", jsonNumber(s.ci95Low)},
                      {"ci95_high", jsonNumber(s.ci95High)},
                      {"lost_shots", s.players[0].lostShots + s.players[1].lostShots},
                      {"forfeits", s.players[0].forfeits + s.players[1].forfeits},
                      {"games",
                       {{"played", s.games},
                        {"won", s.players[0].won},
                        {"drawn", s.players[0].drawn},
                        {"lost", s.players[0].lost},
                        {"score", jsonNumber(s.gameScore)},
                        {"ci95_low", jsonNumber(s.gameCi95Low)},
                        {"ci95_high", jsonNumber(s.gameCi95High)},
                        {"diff_per_game", jsonNumber(s.diffPerGame)}}},
                      {"sprt", test},
                      {"players", players},
                      {"unfinished", s.unfinished},
                      {"unpaired", s.unpaired},
                      {"skipped", s.skipped}};
    // Replies are arbitrary bytes and commands may be too: never throw on them.
    return out.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace Kelvo::Server
