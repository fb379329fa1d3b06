#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "kelvosim/ice.h"
#include "referee/sheet.h"
#include "referee/svg.h"

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
// protocol's frame of the ice, like its positions.
Vec2 shown(const Analysis& a, const Vec2& p) { return sheetOf(a.ice).toProtocolPoint(p); }
// Where a shown point is drawn: the pictures put every ice's tee on one.
Vec2 drawn(const Analysis& a, double x, double y) { return sheetOf(a.ice).toPicture(x, y); }

// The state's stones as the server keeps them, on the given ice.
Referee::Position positionOf(const _GAMESTATE& state, IceKind ice) {
    Referee::Position position;
    position.ice = ice;
    for (int i = 0; i < Referee::STONES; ++i) {
        position.xy[i][0] = state.stonePos[i][0];
        position.xy[i][1] = state.stonePos[i][1];
    }
    return position;
}

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

const char* kindName(const ShotRow& row) {
    if (row.kind != ShotKind::CANDIDATE)
        return shotKindName(row.kind);
    switch (row.aim.kind) {
    case Aim::DRAW: return row.aim.target.y < -IN_HOUSE_R ? "guard" : "draw";
    case Aim::PASS_THROUGH: return "tap";
    case Aim::HIT: return "hit";
    }
    return "?";
}

Analysis analyse(const AnalysedPosition& position, Engine& engine) {
    Analysis a;
    a.position = position;
    a.settings = engine.settings();
    engine.setScratch(GameScratch{position.firstEndHammer});
    a.decision = engine.decide(position.state);
    const SearchResult& search = a.decision.search;

    const Ice& ice = *engine.simulation().ice;
    a.ice = ice.kind();
    ThinkBoard board;
    board.sim = &engine.simulation();
    buildFromGameState(board, position.state);
    for (size_t i = 0; i < search.shots.size(); ++i) {
        const SearchedShot& s = search.shots[i];
        if (s.kind == ShotKind::GRID)
            ++a.grid;
        if (s.kind == ShotKind::REFINED)
            ++a.refined;
        const bool finalist = s.droppedIn < 0 || s.droppedIn >= search.rounds - SHOWN_ROUNDS;
        if (s.kind != ShotKind::CANDIDATE && !finalist && int32_t(i) != search.answerShot)
            continue;
        ShotRow row;
        row.index = int(i);
        row.kind = s.kind;
        row.aim = s.aim;
        row.shot = s.launch;
        row.visits = s.stats.executions;
        row.playouts = s.stats.playouts;
        row.mean = s.stats.mean;
        Vec2 rest;
        row.rests = ice.exactRest(position.state, board, row.shot, rest);
        row.restX = rest.x;
        row.restY = rest.y;
        a.rows.push_back(row);
    }
    return a;
}

namespace {

// What an instance picked, in words: "candidate 3", "refined shot 812".
std::string pickName(const SearchResult& search, const InstanceLine& line) {
    if (line.best < 0)
        return "nothing";
    const SearchedShot& s = search.shots[size_t(line.best)];
    if (s.kind == ShotKind::CANDIDATE)
        return format("candidate %d", s.candidate);
    return format("%s shot %d", shotKindName(s.kind), line.best);
}

}  // namespace

std::string table(const Analysis& a) {
    const _GAMESTATE& s = a.position.state;
    const SearchResult& search = a.decision.search;
    std::string out = format("end %d, shot %d: %s to throw; strategies %s (own), %s (opponent); %d ms per instance",
                             s.endNumber, s.shotNumber, s.shotNumber % 2 == 1 ? "WHITE" : "BLACK",
                             STRATEGY_NAMES[search.strategies.own], STRATEGY_NAMES[search.strategies.opp],
                             a.settings.budgetMs);
    if (a.settings.playoutLimit)
        out += format(", at most %llu playouts", (unsigned long long)*a.settings.playoutLimit);
    if (a.settings.seed)
        out += format(", seed %llu", (unsigned long long)*a.settings.seed);
    // Under the game objective a mean is a chance of winning, not an end's worth.
    if (a.settings.objective == Objective::WIN)
        out += ", objective win: means are chances of winning the game";
    out += "\n";
    out += format("aim points and rest points in the %s\n", sheetOf(a.ice).protocolFrameName());
    out += "  #  kind     aim x   aim y  spin   speed  visits  playouts     mean  rest point      chosen by\n";
    bool widenedHeader = false;
    for (const ShotRow& r : a.rows) {
        if (r.kind != ShotKind::CANDIDATE && !widenedHeader) {
            out += format("widened: %d grid shots, %d refined; those still searched %d rounds before the end:\n",
                          a.grid, a.refined, SHOWN_ROUNDS);
            widenedHeader = true;
        }
        std::string chosen;
        for (size_t k = 0; k < search.instances.size(); ++k)
            if (search.instances[k].ok && search.instances[k].best == r.index)
                chosen += format("%s%d", chosen.empty() ? "" : ",", int(k));
        const std::string rest =
            r.rests ? format("(%.3f, %.3f)", r.restX, r.restY) : std::string("out of play");
        const std::string mean = r.playouts > 0 ? format("%8.4f", r.mean) : std::string("       -");
        const std::string aim = r.kind == ShotKind::CANDIDATE
                                    ? format("%6.3f %7.3f", shown(a, r.aim.target).x, shown(a, r.aim.target).y)
                                    : std::string("     -       -");
        std::string line = format("%3d  %-7s %s  %4d %7.3f %7llu %9llu %s  %-15s %s", r.index, kindName(r),
                                  aim.c_str(), int(r.shot.spin), std::hypot(r.shot.x, r.shot.y),
                                  (unsigned long long)r.visits, (unsigned long long)r.playouts, mean.c_str(),
                                  rest.c_str(), chosen.c_str());
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    for (size_t k = 0; k < search.instances.size(); ++k) {
        const InstanceLine& line = search.instances[k];
        if (!line.ok) {
            out += format("instance %d: failed\n", int(k));
            continue;
        }
        out += format("instance %d: %s, value %.4f, %llu playouts in %llu visits; votes %d\n", int(k),
                      pickName(search, line).c_str(), line.value, (unsigned long long)line.playouts,
                      (unsigned long long)line.visits, line.votes);
    }
    if (search.allocation == Allocation::SWEEP)
        out += format("vote: slot %d (%s)\n", search.chosen,
                      search.instances[search.chosen].votes > 0 ? "most votes" : "no agreement: highest value");
    else
        out += format("pool: %zu shots (%d candidates, %d grid, %d refined), %d rounds, first visit after %.1f ms\n",
                      search.shots.size(), search.candidates, a.grid, a.refined, search.rounds, search.setupMs);
    if (!search.note.empty())
        out += "note: " + search.note + "\n";
    out += "answer: " + a.decision.answer + "\n";
    return out;
}

namespace {

nlohmann::ordered_json rowJson(const Analysis& a, const ShotRow& r) {
    using Json = nlohmann::ordered_json;
    Json row{{"index", r.index}, {"kind", kindName(r)}};
    if (r.kind == ShotKind::CANDIDATE)
        row["aim"] = Json::array({shown(a, r.aim.target).x, shown(a, r.aim.target).y});
    row["spin"] = r.shot.spin;
    row["speed"] = std::hypot(r.shot.x, r.shot.y);
    row["visits"] = r.visits;
    row["playouts"] = r.playouts;
    row["mean"] = r.playouts > 0 ? Json(r.mean) : Json(nullptr);
    row["rest"] = r.rests ? Json{r.restX, r.restY} : Json(nullptr);
    return row;
}

}  // namespace

std::string json(const Analysis& a) {
    using Json = nlohmann::ordered_json;
    const _GAMESTATE& s = a.position.state;
    const SearchResult& search = a.decision.search;
    Json out{{"end", s.endNumber},
             {"shot", s.shotNumber},
             {"toThrow", s.shotNumber % 2 == 1 ? "WHITE" : "BLACK"},
             {"strategies",
              {{"own", STRATEGY_NAMES[search.strategies.own]}, {"opponent", STRATEGY_NAMES[search.strategies.opp]}}},
             {"budgetMs", a.settings.budgetMs},
             {"playoutLimit", a.settings.playoutLimit ? Json(*a.settings.playoutLimit) : Json(nullptr)},
             {"seed", a.settings.seed ? Json(*a.settings.seed) : Json(nullptr)},
             {"allocation", search.allocation == Allocation::SWEEP ? "sweep" : "halving"},
             {"objective", a.settings.objective == Objective::WIN ? "win" : "end"}};
    Json candidates = Json::array(), widened = Json::array();
    for (const ShotRow& r : a.rows)
        (r.kind == ShotKind::CANDIDATE ? candidates : widened).push_back(rowJson(a, r));
    out["candidates"] = std::move(candidates);
    out["widened"] = std::move(widened);
    out["pool"] = Json{{"shots", search.shots.size()},
                       {"grid", a.grid},
                       {"refined", a.refined},
                       {"rounds", search.rounds},
                       {"firstVisitMs", search.setupMs}};
    Json instances = Json::array();
    for (const InstanceLine& line : search.instances) {
        const SearchedShot* pick = line.best >= 0 ? &search.shots[size_t(line.best)] : nullptr;
        instances.push_back(
            Json{{"ok", line.ok},
                 {"pick", line.best >= 0 ? Json(line.best) : Json(nullptr)},
                 {"kind", pick ? Json(shotKindName(pick->kind)) : Json(nullptr)},
                 {"candidate", pick && pick->kind == ShotKind::CANDIDATE ? Json(pick->candidate) : Json(nullptr)},
                 {"value", line.value},
                 {"shot", {{"x", line.proposal.x}, {"y", line.proposal.y}, {"spin", line.proposal.spin}}},
                 {"playouts", line.playouts},
                 {"visits", line.visits},
                 {"votes", line.votes}});
    }
    out["instances"] = std::move(instances);
    out["chosen"] = search.chosen;
    out["note"] = search.note.empty() ? Json(nullptr) : Json(search.note);
    out["answer"] = a.decision.answer;
    return out.dump(2) + "\n";
}

std::string houseSvg(const Analysis& a) {
    const Referee::Position position = positionOf(a.position.state, a.ice);
    const _GAMESTATE& s = a.position.state;
    std::string svg = Referee::houseSvg(
        position, a.position.firstSide,
        format("end %d shot %d: the searched shots' rest points by mean", s.endNumber, s.shotNumber));
    // The picture's extent, to place the legend inside it.
    double left = 0, top = 0, width = 0, height = 0;
    const size_t box = svg.find("viewBox=\"");
    if (box != std::string::npos)
        std::sscanf(svg.c_str() + box + 9, "%lf %lf %lf %lf", &left, &top, &width, &height);
    const double bottom = top + height;

    double low = 0, high = 0;
    bool any = false;
    for (const ShotRow& r : a.rows)
        if (r.playouts > 0) {
            low = any ? std::min(low, r.mean) : r.mean;
            high = any ? std::max(high, r.mean) : r.mean;
            any = true;
        }
    const int chosen = a.decision.search.answerShot;
    std::string layer = "<g class=\"candidates\">\n";
    for (const ShotRow& r : a.rows) {
        if (!r.rests)
            continue;
        const Vec2 at = drawn(a, r.restX, r.restY);
        // Candidates as discs, widened shots as squares.
        const bool candidate = r.kind == ShotKind::CANDIDATE;
        const std::string fill = r.playouts > 0 ? meanColour(r.mean, low, high) : std::string("#999999");
        const std::string title = format("<title>%d %s mean %.4f</title>", r.index, kindName(r), r.mean);
        if (candidate)
            layer += format("<circle class=\"candidate\" data-index=\"%d\" data-kind=\"%s\" cx=\"%.4f\" cy=\"%.4f\" "
                            "r=\"0.06\" fill=\"%s\" stroke=\"#222\" stroke-width=\"0.008\">%s</circle>\n",
                            r.index, kindName(r), at.x, at.y, fill.c_str(), title.c_str());
        else
            layer += format("<rect class=\"widened\" data-index=\"%d\" data-kind=\"%s\" x=\"%.4f\" y=\"%.4f\" "
                            "width=\"0.1\" height=\"0.1\" fill=\"%s\" stroke=\"#222\" stroke-width=\"0.008\">%s</rect>\n",
                            r.index, kindName(r), at.x - 0.05, at.y - 0.05, fill.c_str(), title.c_str());
    }
    for (const ShotRow& r : a.rows) {
        if (r.index != chosen || !r.rests)
            continue;
        const Vec2 at = drawn(a, r.restX, r.restY);
        // The label on the side of the sheet with more room.
        const bool toLeft = at.x > FX_TEE;
        layer += format("<circle class=\"chosen\" cx=\"%.4f\" cy=\"%.4f\" r=\"0.14\" fill=\"none\" stroke=\"#000\" "
                        "stroke-width=\"0.03\"/>\n<text x=\"%.4f\" y=\"%.4f\" font-size=\"0.16\" "
                        "font-family=\"sans-serif\" text-anchor=\"%s\">chosen: %d</text>\n",
                        at.x, at.y, at.x + (toLeft ? -0.18 : 0.18), at.y + 0.05, toLeft ? "end" : "start",
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
                    "shot; squares: widened shots; grey: never visited</text>\n",
                    lx, ly - 0.07);
    layer += "</g>\n";
    const size_t end = svg.rfind("</svg>");
    return svg.substr(0, end) + layer + svg.substr(end);
}

}  // namespace Kelvo::Analyse
