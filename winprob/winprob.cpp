#include "winprob.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>

namespace Kelvo {

extern const char END_SCORES_TEXT[];

const char* endScoresText() { return END_SCORES_TEXT; }

double EndScoreCounts::total(int bucket) const {
    double n = 0;
    for (double c : byLead[size_t(bucket)])
        n += c;
    return n;
}

void countEnd(EndScoreCounts& counts, int hammerLead, int hammerScore) {
    const int e = std::clamp(hammerScore, -END_SCORE_MAX, END_SCORE_MAX);
    counts.byLead[size_t(leadBucket(hammerLead))][size_t(e + END_SCORE_MAX)] += 1;
}

std::string formatEndScores(const std::string& ice, const EndScoreCounts& counts) {
    std::string out;
    for (int b = 0; b < LEAD_BUCKETS; ++b) {
        char line[32];
        std::snprintf(line, sizeof line, "%s %+d", ice.c_str(), b - LEAD_BUCKET_MAX);
        out += line;
        for (double c : counts.byLead[size_t(b)]) {
            std::snprintf(line, sizeof line, " %g", c);
            out += line;
        }
        out += "\n";
    }
    return out;
}

bool parseEndScores(const std::string& text, const std::string& ice, EndScoreCounts& counts, std::string& why) {
    counts = EndScoreCounts{};
    std::istringstream in(text);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string name;
        if (!(words >> name) || name != ice)
            continue;
        int lead = 0;
        EndScoreRow row{};
        bool ok = bool(words >> lead) && lead >= -LEAD_BUCKET_MAX && lead <= LEAD_BUCKET_MAX;
        for (double& c : row)
            ok = ok && bool(words >> c) && c >= 0;
        std::string extra;
        if (!ok || (words >> extra)) {
            why = "damaged line: " + line;
            return false;
        }
        counts.byLead[size_t(lead + LEAD_BUCKET_MAX)] = row;
        ++lines;
    }
    if (lines == 0) {
        why = "no end scores for the " + ice + " ice";
        return false;
    }
    return true;
}

EndScoreCounts endScoreChances(const EndScoreCounts& counts, double priorEnds) {
    EndScoreRow pooled{};
    double all = 0;
    for (const EndScoreRow& row : counts.byLead)
        for (int e = 0; e < END_SCORES; ++e) {
            pooled[size_t(e)] += row[size_t(e)];
            all += row[size_t(e)];
        }
    EndScoreCounts p;
    for (int b = 0; b < LEAD_BUCKETS; ++b) {
        const EndScoreRow& row = counts.byLead[size_t(b)];
        const double n = counts.total(b);
        for (int e = 0; e < END_SCORES; ++e) {
            // Without any data every end is a blank: the table is then the
            // score as it stands.
            const double prior = all > 0 ? pooled[size_t(e)] / all : (e == END_SCORE_MAX ? 1.0 : 0.0);
            p.byLead[size_t(b)][size_t(e)] = (row[size_t(e)] + priorEnds * prior) / (n + priorEnds);
        }
    }
    return p;
}

namespace {

constexpr int LEADS = 2 * WP_MAX_LEAD + 1;

size_t slot(int ends, int lead, bool hammer) {
    return (size_t(ends) * LEADS + size_t(lead + WP_MAX_LEAD)) * 2 + (hammer ? 1 : 0);
}

}  // namespace

double WinTable::at(int ends, int lead, bool hammer) const {
    return wp[slot(std::clamp(ends, 0, WP_MAX_ENDS), std::clamp(lead, -WP_MAX_LEAD, WP_MAX_LEAD), hammer)];
}

WinTable buildWinTable(const EndScoreCounts& chances, int extraEnds) {
    // Extra ends: the side to score wins; a blank keeps the hammer; after
    // the last one the game is a draw.
    const EndScoreRow& tied = chances.byLead[size_t(leadBucket(0))];
    double withHammer = 0.5;
    for (int k = 0; k < extraEnds; ++k) {
        double win = 0, blank = 0;
        for (int e = 0; e < END_SCORES; ++e) {
            const int score = e - END_SCORE_MAX;
            if (score > 0)
                win += tied[size_t(e)];
            else if (score == 0)
                blank += tied[size_t(e)];
        }
        withHammer = win + blank * withHammer;
    }
    double withoutHammer = 0.5;
    for (int k = 0; k < extraEnds; ++k) {
        double win = 0, blank = 0;
        for (int e = 0; e < END_SCORES; ++e) {
            const int score = e - END_SCORE_MAX;
            if (score < 0)
                win += tied[size_t(e)];
            else if (score == 0)
                blank += tied[size_t(e)];
        }
        withoutHammer = win + blank * withoutHammer;
    }
    WinTable t;
    t.wp.assign(size_t(WP_MAX_ENDS + 1) * LEADS * 2, 0.0);
    for (int lead = -WP_MAX_LEAD; lead <= WP_MAX_LEAD; ++lead)
        for (bool hammer : {false, true})
            t.wp[slot(0, lead, hammer)] = lead > 0 ? 1.0 : lead < 0 ? 0.0 : hammer ? withHammer : withoutHammer;
    for (int ends = 1; ends <= WP_MAX_ENDS; ++ends)
        for (int lead = -WP_MAX_LEAD; lead <= WP_MAX_LEAD; ++lead)
            for (bool hammer : {false, true}) {
                // e: the hammer side's score; a side that scores gives up the hammer.
                const EndScoreRow& p = chances.byLead[size_t(leadBucket(hammer ? lead : -lead))];
                double v = 0;
                for (int e = 0; e < END_SCORES; ++e) {
                    const int score = e - END_SCORE_MAX;
                    const int after = hammer ? lead + score : lead - score;
                    const bool hammerAfter = hammer ? score <= 0 : score > 0;
                    v += p[size_t(e)] * t.at(ends - 1, after, hammerAfter);
                }
                t.wp[slot(ends, lead, hammer)] = v;
            }
    return t;
}

const WinTable& winTableFor(IceKind ice) {
    static std::once_flag once;
    static std::map<IceKind, WinTable> tables;
    std::call_once(once, [] {
        for (const auto& [name, kind] : iceKindsByName()) {
            EndScoreCounts counts;
            std::string why;
            // The kept data is part of the build; a test reads it.
            if (!parseEndScores(END_SCORES_TEXT, name, counts, why))
                counts = EndScoreCounts{};
            tables[kind] = buildWinTable(endScoreChances(counts));
        }
    });
    return tables.at(ice);
}

}  // namespace Kelvo
