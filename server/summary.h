// The summary of many match records: the two players' results, and the mean
// score difference per end with a 95 % confidence interval computed over
// pairs of matches that share a noise seed with the players' order swapped,
// and the sequential test a tournament may ask for.
#pragma once

#include <cstdint>
#include <istream>
#include <limits>
#include <string>
#include <vector>

namespace Kelvo::Server {

// What the summary takes from one match record.
struct RecordedMatch {
    std::string path;
    std::string players[2];       // the commands of player 1 and player 2
    uint64_t seed = 0;
    bool finished = false;        // the record has its result object
    std::string winner;           // "player1", "player2", "draw" or "none"
    std::string forfeit;          // "player1", "player2", "both" or empty
    std::vector<int> endScores;   // from player 1's view, one per finished end
    int lostShots[2] = {};        // shots lost to time or to a bad answer
    int answers[2] = {};          // shots with a measured answer time
    double answerSeconds[2] = {};
    double maxSeconds[2] = {};
};

// Reads a record (JSON Lines) and keeps what the summary needs; objects and
// fields it does not know are ignored. A record cut short after a complete
// line is an unfinished match. False, with the cause in `why`, when the
// record cannot be read.
bool parseRecord(std::istream& in, RecordedMatch& match, std::string& why);
bool readRecord(const std::string& path, RecordedMatch& match, std::string& why);

struct PlayerTotals {
    std::string command;
    int won = 0, drawn = 0, lost = 0;
    int ends = 0, scored = 0, conceded = 0;
    int lostShots = 0, forfeits = 0;
    int answers = 0;
    double answerSeconds = 0, maxSeconds = 0;
};

// A sequential probability ratio test between two hypotheses about A's
// mean score difference per end, h0 < h1, with the error rates alpha (of
// accepting H1 when H0 holds) and beta (of accepting H0 when H1 holds). It
// takes the pairs in the order of their seeds, from the tournament's first
// seed, and decides nothing before minPairs pairs with ends.
constexpr int SPRT_MIN_PAIRS = 20;
struct SprtSettings {
    double h0 = 0, h1 = 0;
    double alpha = 0.05, beta = 0.05;
    int minPairs = SPRT_MIN_PAIRS;
    uint64_t firstSeed = 0;  // the seed of pair 1
};

struct SprtResult {
    double lower = 0, upper = 0;  // log(beta / (1 - alpha)) and log((1 - beta) / alpha)
    std::string result = "none";  // "H0", "H1" or "none"
    // The pair (counted from the first seed) at which a bound was crossed;
    // while undecided, the last pair of the unbroken run the test has taken
    // (0 before pair 1 is complete).
    int atPair = 0;
    double llrAtPair = std::numeric_limits<double>::quiet_NaN();  // over pairs 1 to atPair
    // Over every pair in the statistics, those finished after the decision
    // included; it cannot change the result. NaN without a pair.
    double llr = std::numeric_limits<double>::quiet_NaN();
};

// One pair of matches that share a seed, as the test sees it.
struct PairOutcome {
    uint64_t seed = 0;
    int diff = 0;           // A's points minus B's over both matches
    int ends = 0;           // finished ends of both matches
    bool finished = false;  // both matches hold their result
};

// The sums over the pairs the test has taken, from which its ratio follows.
struct PairSums {
    int pairs = 0;
    double diff = 0, ends = 0, diffSquared = 0, diffTimesEnds = 0, endsSquared = 0;
};
void addPair(PairSums& sums, int diff, int ends);
// The log-likelihood ratio of H1 against H0 for the pairs in `sums`; NaN
// without a pair with ends.
double logLikelihoodRatio(const PairSums& sums, const SprtSettings& settings);
// The bounds of `settings` in a result that has taken no pair yet.
SprtResult startTest(const SprtSettings& settings);
// Takes the next pair of the test's order (its number, A's points over it
// and its ends) unless the test has decided already; decides once at least
// minPairs pairs are taken and the ratio reaches a bound. A pair without
// ends tells nothing about points per end and is passed over.
void takePair(PairSums& sums, SprtResult& result, const SprtSettings& settings, int pairNumber, int diff,
              int ends);

struct TournamentSummary {
    PlayerTotals players[2];  // A (player 1 of the first record) and B
    int pairs = 0;            // pairs in the statistics
    int ends = 0;             // ends of those pairs
    // A's points minus B's per end; NaN without ends.
    double diffPerEnd = std::numeric_limits<double>::quiet_NaN();
    // The variance of one pair's difference per end, estimated from the
    // pairs; NaN with fewer than two pairs.
    double variancePerEnd = std::numeric_limits<double>::quiet_NaN();
    double ci95Low = std::numeric_limits<double>::quiet_NaN();  // NaN with fewer than two pairs
    double ci95High = std::numeric_limits<double>::quiet_NaN();
    // Games: A's finished games (won, drawn and lost are players[0]'s), A's
    // score in them (a win 1, a draw one half) with its 95 % Wilson interval
    // over the games, and A's points minus B's per finished game; NaN
    // without a finished game. maxEnds: the most ends of one match, for
    // which games of one end need no line of their own.
    int games = 0;
    double gameScore = std::numeric_limits<double>::quiet_NaN();
    double gameCi95Low = std::numeric_limits<double>::quiet_NaN();
    double gameCi95High = std::numeric_limits<double>::quiet_NaN();
    double diffPerGame = std::numeric_limits<double>::quiet_NaN();
    int maxEnds = 0;
    std::vector<PairOutcome> pairOutcomes;  // in the order of their first record
    bool tested = false;  // the tournament asked for a sequential test
    SprtSettings test;
    SprtResult sprt;
    std::vector<std::string> unfinished;  // one note per unfinished match
    std::vector<std::string> unpaired;    // one note per match without its pair
    std::vector<std::string> skipped;     // one note per record between other players
};

// Pairs the matches by seed in the order given (within a pair of one program
// against itself, A is player 1 in the earlier record) and adds them up.
// Needs at least one match.
TournamentSummary summarise(const std::vector<RecordedMatch>& matches);

// The sequential test on the pairs of a summary: pairs 1, 2, ... (by seed,
// from settings.firstSeed) are taken while each has both matches finished;
// a missing or unfinished pair holds the test back until it is complete, so
// the order does not depend on which matches happened to end first.
SprtResult sprt(const TournamentSummary& summary, const SprtSettings& settings);
// Computes the test into the summary, which then shows it.
void addSequentialTest(TournamentSummary& summary, const SprtSettings& settings);

// The test a tournament's settings file (scripts/tournament's
// tournament.txt) asks for, from its lines "sprt: h0=X h1=X alpha=X beta=X
// [min_pairs=N]" and "seed: S". `asked` is false when the file is missing or
// has no sprt line. False, with the cause in `why`, when the file cannot be
// read, a line is damaged or the seed is missing.
bool readTestSettings(const std::string& path, bool& asked, SprtSettings& settings, std::string& why);
bool parseTestSettings(const std::string& line, SprtSettings& settings);

// "sprt: result=... at_pair=... llr_at_pair=... llr=... lower=... upper=..."
std::string sprtLine(const SprtResult& result);
// "games: played=... won=... drawn=... lost=... score=... ci95_low=...
// ci95_high=... diff_per_game=..." for player A.
std::string gamesLine(const TournamentSummary& summary);

// The 95 % Wilson score interval of a proportion p of n trials.
void wilsonInterval(double p, int n, double& low, double& high);

// The table and notes, with the test's line when one was asked for, ending
// with the one-line summary.
std::string summaryText(const TournamentSummary& summary);
std::string summaryJson(const TournamentSummary& summary);

// The 0.975 quantile of Student's t distribution with `degrees` degrees of
// freedom (at least 1).
double studentT975(int degrees);

}  // namespace Kelvo::Server
