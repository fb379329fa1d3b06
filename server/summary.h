// The summary of many match records: the two players' results, and the mean
// score difference per end with a 95 % confidence interval computed over
// pairs of matches that share a noise seed with the players' order swapped.
#pragma once

#include <cstdint>
#include <istream>
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

struct TournamentSummary {
    PlayerTotals players[2];  // A (player 1 of the first record) and B
    int pairs = 0;            // pairs in the statistics
    int ends = 0;             // ends of those pairs
    double diffPerEnd;        // A's points minus B's per end; NaN without ends
    double ci95Low, ci95High; // NaN with fewer than two pairs
    std::vector<std::string> unfinished;  // one note per unfinished match
    std::vector<std::string> unpaired;    // one note per match without its pair
    std::vector<std::string> skipped;     // one note per record between other players
};

// Pairs the matches by seed in the order given (within a pair of one program
// against itself, A is player 1 in the earlier record) and adds them up.
// Needs at least one match.
TournamentSummary summarise(const std::vector<RecordedMatch>& matches);

// The table and notes, ending with the one-line summary.
std::string summaryText(const TournamentSummary& summary);
std::string summaryJson(const TournamentSummary& summary);

// The 0.975 quantile of Student's t distribution with `degrees` degrees of
// freedom (at least 1).
double studentT975(int degrees);

}  // namespace Kelvo::Server
