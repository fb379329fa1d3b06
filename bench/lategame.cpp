// Late-game decisions under the two objectives: for each position of a data
// file (the last stone of a late end), the move decision with the end
// strategies' table (--objective end) and with the chance of winning the game
// (--objective win), both from the same search options. Each answer is then
// thrown on one fixed set of noise draws; the table shows how often it
// concedes, blanks, takes one or takes two or more, and what that is worth by
// the end table and by the chance of winning.
//
// Usage: kelvo-bench-lategame [POSITIONS_FILE] [--lines DIR] [search options]
// (default bench/lategame_positions.txt; --lines writes each position as the
// protocol lines kelvo-analyse reads, DIR/NAME.txt)
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine.h"
#include "kelvosim/board/shot.h"
#include "kelvosim/board/simcontext.h"
#include "kelvosim/ice.h"
#include "options.h"
#include "positions.h"
#include "winprob/winprob.h"

using namespace Kelvo;

namespace {

constexpr int SCORING_DRAWS = 512;
constexpr uint32_t SCORING_SEED = 20261209;

struct Outcome {
    double share[5] = {};  // conceded, blank, one, two, three or more
    double endValue = 0;   // by the end strategies' table
    double win = 0;        // the chance of winning after the end
};

Outcome throwOnDraws(const ThinkBoard& root, Colour mover, const Candidate& shot, const WinTable& table) {
    dsfmt_t rng;
    dsfmt_init_gen_rand(&rng, SCORING_SEED);
    const StrategyPair byLead = selectStrategies(root, mover);
    Outcome o;
    for (int k = 0; k < SCORING_DRAWS; ++k) {
        ThinkBoard board = root;
        applyShot(board, simulateShot(board, simOf(root).ice->withExecutionNoise(shot, simOf(root).noise, rng)));
        const int own = mover == BLACK ? board.endScore : -board.endScore;
        o.share[own < 0 ? 0 : own >= 3 ? 4 : own + 1] += 1.0 / SCORING_DRAWS;
        o.endValue += evaluateEnd(board, byLead.own) / SCORING_DRAWS;
        o.win += winAfterEnd(table, board, mover, own) / SCORING_DRAWS;
    }
    return o;
}

void writeLines(const std::string& dir, const KelvoBench::BenchPosition& p) {
    std::ofstream out(dir + "/" + p.name + ".txt");
    const _GAMESTATE& s = p.state;
    for (int e = 0; e < s.endNumber && e < 10; ++e)
        out << "SETSTATE 0 " << e << " " << s.finalEnd << " 0\nSCORE " << s.endScores[e] << "\n";
    out << "POSITION";
    for (int i = 0; i < 16; ++i)
        out << " " << s.stonePos[i][0] << " " << s.stonePos[i][1];
    out << "\nSETSTATE " << s.shotNumber << " " << s.endNumber << " " << s.finalEnd << " 0\n";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-bench-lategame");
    std::string path = KELVO_SOURCE_DIR "/bench/lategame_positions.txt";
    std::string linesDir;
    SearchSettings settings;
    app.add_option("positions", path, "positions file");
    app.add_option("--lines", linesDir, "write each position's protocol lines to DIR/NAME.txt");
    addSearchOptions(app, settings);
    if (const int status = parseToolOptions(app, argc, argv); status >= 0)
        return status;
    KelvoBench::requireClassicIce("kelvo-bench-lategame", settings);
    const std::vector<KelvoBench::BenchPosition> positions =
        KelvoBench::readPositions("kelvo-bench-lategame", path, 15, 15, 15);
    std::shared_ptr<const Ice> ice = makeIce(settings.ice);
    SearchSettings endSettings = settings, winSettings = settings;
    endSettings.objective = Objective::END_TABLE;
    winSettings.objective = Objective::WIN;
    Engine byEnd(endSettings, ice), byWin(winSettings, ice);
    const WinTable& table = winTableFor(settings.ice);
    std::printf("lategame: %zu positions from %s; %d scoring draws; shares of the end's result for the side "
                "to throw\n",
                positions.size(), path.c_str(), SCORING_DRAWS);
    std::printf("%-28s %-9s %-15s %-36s %6s %6s %6s %6s %6s %7s %6s\n", "position", "objective", "strategy", "answer",
                "lost", "blank", "one", "two", "three+", "end_val", "win");
    int changed = 0;
    double gain = 0;
    for (const KelvoBench::BenchPosition& p : positions) {
        if (!linesDir.empty())
            writeLines(linesDir, p);
        double wins[2] = {};
        std::string answers[2];
        for (int k = 0; k < 2; ++k) {
            Engine& engine = k == 0 ? byEnd : byWin;
            const Decision d = engine.decide(p.state);
            ThinkBoard kept;
            kept.sim = &engine.simulation();
            const SearchRoot root = prepareRoot(p.state, kept);
            const Outcome o = throwOnDraws(root.board, root.mover,
                                           KelvoBench::answerShot("kelvo-bench-lategame", d.answer), table);
            answers[k] = d.answer;
            wins[k] = o.win;
            std::printf("%-28s %-9s %-15s %-36s %6.3f %6.3f %6.3f %6.3f %6.3f %7.3f %6.3f\n",
                        k == 0 ? p.name.c_str() : "", k == 0 ? "end" : "win", STRATEGY_NAMES[d.search.strategies.own],
                        d.answer.c_str(), o.share[0], o.share[1], o.share[2], o.share[3], o.share[4], o.endValue,
                        o.win);
            std::fflush(stdout);
        }
        changed += answers[0] != answers[1];
        gain += wins[1] - wins[0];
    }
    // win_minus_end: the mean chance of winning of the win objective's answer
    // less the end table's.
    std::printf("lategame: positions=%zu changed=%d win_minus_end=%+.4f\n", positions.size(), changed,
                positions.empty() ? 0.0 : gain / double(positions.size()));
    return 0;
}
