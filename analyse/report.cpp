#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "kelvosim/simulator.h"
#include "server/sheet.h"
#include "server/svg.h"

namespace Kelvo::Analyse {

namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// Aim points are kept in the board frame; everything shown is in the
// server frame, like the protocol's positions.
double serverX(const Vec2& p) { return p.x + FX_TEE; }
double serverY(const Vec2& p) { return FY_TEE - p.y; }

// A colour from blue (lowest mean) through white to red (highest).
std::string meanColour(double mean, double low, double high) {
    const double f = high > low ? (mean - low) / (high - low) : 0.5;
    const auto mix = [](double a, double b, double t) { return int(std::lround(a + (b - a) * t)); };
    int r, g, b;
    if (f < 0.5) {
        r = mix(40, 245, f * 2), g = mix(90, 245, f * 2), b = mix(220, 245, f * 2);
    } else {
        r = mix(245, 215, (f - 0.5) * 2), g = mix(245, 40, (f - 0.5) * 2), b = mix(245, 40, (f - 0.5) * 2);
    }
    return format("#%02x%02x%02x", r, g, b);
}

}  // namespace

const char* kindName(const Aim& aim) {
    switch (aim.kind) {
    case Aim::DRAW: return aim.target.y < -IN_HOUSE_R ? "guard" : "draw";
    case Aim::PASS_THROUGH: return "tap";
    case Aim::HIT: return "hit";
    }
    return "?";
}

Analysis analyse(const AnalysedPosition& position, const SearchSettings& settings) {
    Analysis a;
    a.position = position;
    a.settings = settings;
    ThinkBoard kept;
    kept.firstEndHammer = position.firstEndHammer;
    a.run = runInstances(kept, position.state, settings);
    a.votes = countVotes(a.run.proposals);
    a.answer = formatAnswer(a.run.proposals[a.run.chosen].shot);

    // The candidate list the instances searched, rebuilt the same way.
    ThinkBoard board = kept;
    buildFromGameState(board, position.state);
    const bool side = position.state.shotNumber % 2 == 1;
    a.strategies = selectStrategies(board, side);
    Aim aims[MAX_CANDIDATES];
    const int32_t count = generateAims(board, aims, a.strategies.own);
    for (int i = 0; i < count; ++i) {
        CandidateRow row;
        row.index = i;
        row.aim = aims[i];
        row.shot = resolveAim(aims[i]);
        double sum = 0;
        for (const SearchTally& t : a.run.tallies) {
            if (i >= t.count)
                continue;
            row.visits += t.executions[i];
            row.playouts += t.visits[i];
            sum += t.mean[i] * t.visits[i];
        }
        row.mean = row.playouts > 0 ? sum / double(row.playouts) : 0.0;
        const ExactShotTrace trace = traceShotExact(board, row.shot);
        row.rests = !trace.voided && trace.inPlay[0];
        row.restX = serverX(trace.rest[0]);
        row.restY = serverY(trace.rest[0]);
        a.rows.push_back(row);
    }
    return a;
}

std::string table(const Analysis& a) {
    const _GAMESTATE& s = a.position.state;
    std::string out = format("end %d, shot %d: %s to throw; strategies %s (own), %s (opponent); %d ms per instance",
                             s.endNumber, s.shotNumber, s.shotNumber % 2 == 1 ? "WHITE" : "BLACK",
                             STRATEGY_NAMES[a.strategies.own], STRATEGY_NAMES[a.strategies.opp], a.settings.budgetMs);
    if (a.settings.playoutLimit)
        out += format(", at most %llu playouts", (unsigned long long)*a.settings.playoutLimit);
    if (a.settings.seed)
        out += format(", seed %llu", (unsigned long long)*a.settings.seed);
    out += "\n";
    out += "aim points and rest points in the server frame (tee at 2.375, 4.880)\n";
    out += "  #  kind   aim x   aim y  spin   speed  visits  playouts     mean  rest point      chosen by\n";
    for (const CandidateRow& r : a.rows) {
        std::string chosen;
        for (size_t k = 0; k < a.run.proposals.size(); ++k)
            if (a.run.proposals[k].ok && a.run.tallies[k].bestIndex == r.index)
                chosen += format("%s%d", chosen.empty() ? "" : ",", int(k));
        const std::string rest =
            r.rests ? format("(%.3f, %.3f)", r.restX, r.restY) : std::string("out of play");
        const std::string mean = r.playouts > 0 ? format("%8.4f", r.mean) : std::string("       -");
        std::string line = format("%3d  %-5s %6.3f %7.3f  %4d %7.3f %7llu %9llu %s  %-15s %s", r.index,
                                  kindName(r.aim), serverX(r.aim.target), serverY(r.aim.target), int(r.shot.spin),
                                  std::hypot(r.shot.x, r.shot.y), (unsigned long long)r.visits,
                                  (unsigned long long)r.playouts, mean.c_str(), rest.c_str(), chosen.c_str());
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    for (int k = 0; k < int(a.run.proposals.size()); ++k) {
        const Proposal& p = a.run.proposals[k];
        const SearchTally& t = a.run.tallies[k];
        if (!p.ok) {
            out += format("instance %d: failed\n", k);
            continue;
        }
        out += format("instance %d: candidate %d, value %.4f, %llu playouts in %llu visits; votes %d\n", k,
                      t.bestIndex, p.value, (unsigned long long)t.playouts, (unsigned long long)t.visitsMade,
                      a.votes[k]);
    }
    out += format("vote: slot %d (%s)\n", a.run.chosen,
                  a.votes[a.run.chosen] > 0 ? "most votes" : "no agreement: highest value");
    out += "answer: " + a.answer + "\n";
    return out;
}

std::string json(const Analysis& a) {
    using Json = nlohmann::ordered_json;
    const _GAMESTATE& s = a.position.state;
    Json out{{"end", s.endNumber},
             {"shot", s.shotNumber},
             {"toThrow", s.shotNumber % 2 == 1 ? "WHITE" : "BLACK"},
             {"strategies", {{"own", STRATEGY_NAMES[a.strategies.own]}, {"opponent", STRATEGY_NAMES[a.strategies.opp]}}},
             {"budgetMs", a.settings.budgetMs},
             {"playoutLimit", a.settings.playoutLimit ? Json(*a.settings.playoutLimit) : Json(nullptr)},
             {"seed", a.settings.seed ? Json(*a.settings.seed) : Json(nullptr)}};
    Json rows = Json::array();
    for (const CandidateRow& r : a.rows)
        rows.push_back(Json{{"index", r.index},
                            {"kind", kindName(r.aim)},
                            {"aim", {serverX(r.aim.target), serverY(r.aim.target)}},
                            {"spin", r.shot.spin},
                            {"speed", std::hypot(r.shot.x, r.shot.y)},
                            {"visits", r.visits},
                            {"playouts", r.playouts},
                            {"mean", r.playouts > 0 ? Json(r.mean) : Json(nullptr)},
                            {"rest", r.rests ? Json{r.restX, r.restY} : Json(nullptr)}});
    out["candidates"] = std::move(rows);
    Json instances = Json::array();
    for (size_t k = 0; k < a.run.proposals.size(); ++k) {
        const Proposal& p = a.run.proposals[k];
        instances.push_back(Json{{"ok", p.ok},
                                 {"candidate", a.run.tallies[k].bestIndex},
                                 {"value", p.value},
                                 {"shot", {{"x", p.shot.x}, {"y", p.shot.y}, {"spin", p.shot.spin}}},
                                 {"playouts", a.run.tallies[k].playouts},
                                 {"visits", a.run.tallies[k].visitsMade},
                                 {"votes", a.votes[k]}});
    }
    out["instances"] = std::move(instances);
    out["chosen"] = a.run.chosen;
    out["answer"] = a.answer;
    return out.dump(2) + "\n";
}

std::string houseSvg(const Analysis& a) {
    Server::Position position;
    for (int i = 0; i < Server::STONES; ++i) {
        position.xy[i][0] = a.position.state.stonePos[i][0];
        position.xy[i][1] = a.position.state.stonePos[i][1];
    }
    const _GAMESTATE& s = a.position.state;
    std::string svg = Server::houseSvg(
        position, a.position.firstSide,
        format("end %d shot %d: candidates' rest points by mean", s.endNumber, s.shotNumber));
    // The picture's extent, to place the legend inside it.
    double left = 0, top = 0, width = 0, height = 0;
    const size_t box = svg.find("viewBox=\"");
    if (box != std::string::npos)
        std::sscanf(svg.c_str() + box + 9, "%lf %lf %lf %lf", &left, &top, &width, &height);
    const double bottom = top + height;

    double low = 0, high = 0;
    bool any = false;
    for (const CandidateRow& r : a.rows)
        if (r.playouts > 0) {
            low = any ? std::min(low, r.mean) : r.mean;
            high = any ? std::max(high, r.mean) : r.mean;
            any = true;
        }
    const int chosen = a.run.tallies[a.run.chosen].bestIndex;
    std::string layer = "<g class=\"candidates\">\n";
    for (const CandidateRow& r : a.rows) {
        if (!r.rests)
            continue;
        const std::string fill = r.playouts > 0 ? meanColour(r.mean, low, high) : std::string("#999999");
        layer += format("<circle class=\"candidate\" data-index=\"%d\" cx=\"%.4f\" cy=\"%.4f\" r=\"0.06\" fill=\"%s\" "
                        "stroke=\"#222\" stroke-width=\"0.008\"><title>%d %s mean %.4f</title></circle>\n",
                        r.index, r.restX, r.restY, fill.c_str(), r.index, kindName(r.aim), r.mean);
    }
    for (const CandidateRow& r : a.rows) {
        if (r.index != chosen || !r.rests)
            continue;
        // The label on the side of the sheet with more room.
        const bool toLeft = r.restX > FX_TEE;
        layer += format("<circle class=\"chosen\" cx=\"%.4f\" cy=\"%.4f\" r=\"0.14\" fill=\"none\" stroke=\"#000\" "
                        "stroke-width=\"0.03\"/>\n<text x=\"%.4f\" y=\"%.4f\" font-size=\"0.16\" "
                        "font-family=\"sans-serif\" text-anchor=\"%s\">chosen: %d</text>\n",
                        r.restX, r.restY, r.restX + (toLeft ? -0.18 : 0.18), r.restY + 0.05, toLeft ? "end" : "start",
                        r.index);
    }
    layer += "</g>\n";
    // Legend: the colour scale from the lowest to the highest mean.
    const double lx = 0.1, ly = bottom - 0.55, lw = 2.0;
    layer += "<g class=\"legend\">\n";
    for (int k = 0; k < 20; ++k)
        layer += format("<rect x=\"%.4f\" y=\"%.4f\" width=\"%.4f\" height=\"0.15\" fill=\"%s\"/>\n", lx + lw * k / 20,
                        ly, lw / 20 + 0.001, meanColour(low + (high - low) * k / 19.0, low, high).c_str());
    layer += format("<text x=\"%.4f\" y=\"%.4f\" font-size=\"0.13\" font-family=\"sans-serif\">mean %.3f</text>\n", lx,
                    ly + 0.32, low);
    layer += format("<text x=\"%.4f\" y=\"%.4f\" font-size=\"0.13\" font-family=\"sans-serif\" "
                    "text-anchor=\"end\">%.3f</text>\n",
                    lx + lw, ly + 0.32, high);
    layer += format("<text x=\"%.4f\" y=\"%.4f\" font-size=\"0.13\" font-family=\"sans-serif\">ringed: the chosen "
                    "candidate; grey: never visited</text>\n",
                    lx, ly - 0.07);
    layer += "</g>\n";
    const size_t end = svg.rfind("</svg>");
    return svg.substr(0, end) + layer + svg.substr(end);
}

}  // namespace Kelvo::Analyse
