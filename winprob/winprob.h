// The chance of winning the game from a score situation, WP(ends left, lead,
// hammer), built by backward recursion from the distributions of end scores
// the player itself reaches (endscores.txt, measured in its own games), and
// those distributions.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "kelvosim/icekind.h"

namespace Kelvo {

// End scores from the hammer side's view: -8 (eight stolen) to +8.
constexpr int END_SCORE_MAX = 8;
constexpr int END_SCORES = 2 * END_SCORE_MAX + 1;
// The hammer side's lead before the end, clamped to -2 .. 2: the player's
// end strategies change at these leads, and so do its ends.
constexpr int LEAD_BUCKET_MAX = 2;
constexpr int LEAD_BUCKETS = 2 * LEAD_BUCKET_MAX + 1;
// Chosen: a lead's own counts weigh against the pooled distribution as if
// the pool were this many ends, so a lead with few ends keeps to the pool.
constexpr double WP_PRIOR_ENDS = 40;
// Chosen: extra ends played after a tie before the game is a draw: the
// servers stop at end index 19, ten extra ends after a ten-end game.
constexpr int WP_EXTRA_ENDS = 10;
// The table's range: regular ends still to play and leads; beyond them the
// nearest entry holds.
constexpr int WP_MAX_ENDS = 20;
constexpr int WP_MAX_LEAD = 40;

using EndScoreRow = std::array<double, END_SCORES>;

// Counts (or chances) of end scores by the hammer side's lead bucket,
// index lead + LEAD_BUCKET_MAX.
struct EndScoreCounts {
    std::array<EndScoreRow, LEAD_BUCKETS> byLead{};
    double total(int bucket) const;
};

inline int leadBucket(int hammerLead) {
    return (hammerLead < -LEAD_BUCKET_MAX ? -LEAD_BUCKET_MAX : hammerLead > LEAD_BUCKET_MAX ? LEAD_BUCKET_MAX
                                                                                         : hammerLead) +
           LEAD_BUCKET_MAX;
}

// Adds one end: the hammer side's lead before it and its score (clamped).
void countEnd(EndScoreCounts& counts, int hammerLead, int hammerScore);

// The data file's lines for one ice: "ICE LEAD c(-8) ... c(+8)".
std::string formatEndScores(const std::string& ice, const EndScoreCounts& counts);
// Reads the lines of `ice` from the file's text ('#' starts a comment).
// False, with why, for a damaged line or an ice without data.
bool parseEndScores(const std::string& text, const std::string& ice, EndScoreCounts& counts, std::string& why);

// Each lead's chances: its counts plus WP_PRIOR_ENDS ends of the pooled
// distribution, normalised.
EndScoreCounts endScoreChances(const EndScoreCounts& counts, double priorEnds = WP_PRIOR_ENDS);

struct WinTable {
    // The chance of winning (a draw counts half) with `ends` regular ends
    // still to play, leading by `lead`, holding the hammer of the next end
    // or not. At 0 ends a tie goes on with extra ends.
    double at(int ends, int lead, bool hammer) const;
    std::vector<double> wp;  // [ends][lead + WP_MAX_LEAD][hammer]
};

// The backward recursion over the ends from the chances of end scores.
WinTable buildWinTable(const EndScoreCounts& chances, int extraEnds = WP_EXTRA_ENDS);

// The table of an ice from the data kept in the repository, built once.
const WinTable& winTableFor(IceKind ice);
// The kept data's text (endscores.txt).
const char* endScoresText();

}  // namespace Kelvo
