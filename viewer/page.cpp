#include "page.h"

#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace Kelvo::Viewer {

extern const char VIEWER_TEMPLATE[];

namespace {

using Json = nlohmann::json;

// Where the template takes the match data.
const char DATA_MARK[] = "/*MATCH_DATA*/null";

struct BadRecord : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void bad(const std::string& what) { throw BadRecord(what); }

const Json& field(const Json& o, const char* name) {
    const auto it = o.find(name);
    if (it == o.end())
        bad(std::string("no \"") + name + "\" field");
    return *it;
}

const Json& numberField(const Json& o, const char* name) {
    const Json& v = field(o, name);
    if (!v.is_number())
        bad(std::string("\"") + name + "\" is not a number");
    return v;
}

int intField(const Json& o, const char* name, int low, int high) {
    const Json& v = field(o, name);
    if (!v.is_number_integer() || v.get<long long>() < low || v.get<long long>() > high)
        bad(std::string("\"") + name + "\" is not a whole number from " + std::to_string(low) + " to " +
            std::to_string(high));
    return v.get<int>();
}

void stringField(const Json& o, const char* name) {
    if (!field(o, name).is_string())
        bad(std::string("\"") + name + "\" is not a string");
}

void playerField(const Json& o, const char* name) {
    const Json& v = field(o, name);
    if (v != "player1" && v != "player2")
        bad(std::string("\"") + name + "\" is neither \"player1\" nor \"player2\"");
}

bool isPoint(const Json& p, size_t size) {
    if (!p.is_array() || p.size() != size)
        return false;
    for (const Json& c : p)
        if (!c.is_number())
            return false;
    return true;
}

void checkPosition(const Json& o) {
    const Json& p = field(o, "position");
    if (!p.is_array() || p.size() != 16)
        bad("\"position\" is not a list of 16 points");
    for (const Json& xy : p)
        if (!isPoint(xy, 2))
            bad("\"position\" holds something other than [x, y] points");
}

void checkSides(const Json& o, const char* name) {
    const Json& v = field(o, name);
    if (!v.is_object() || !v.contains("player1") || !v.contains("player2") || !v["player1"].is_number_integer() ||
        !v["player2"].is_number_integer())
        bad(std::string("\"") + name + "\" lacks the whole numbers of player1 and player2");
}

void checkPaths(const Json& o) {
    const Json& paths = field(o, "paths");
    if (!paths.is_array())
        bad("\"paths\" is not a list");
    for (const Json& path : paths) {
        if (!path.is_object())
            bad("\"paths\" holds something other than objects");
        intField(path, "stone", 0, 15);
        const Json& points = field(path, "points");
        if (!points.is_array())
            bad("a path's \"points\" is not a list");
        for (const Json& p : points)
            if (!isPoint(p, 3))
                bad("a path holds something other than [x, y, t] points");
    }
}

// A move on the fcv1 ice: launch velocity in m/s and the turn.
void checkMove(const Json& o, const char* name) {
    const Json& move = field(o, name);
    if (!move.is_object())
        bad(std::string("\"") + name + "\" is not an object");
    numberField(move, "vx");
    numberField(move, "vy");
    const Json& rotation = field(move, "rotation");
    if (rotation != "cw" && rotation != "ccw")
        bad(std::string("\"") + name + "\" turns neither \"cw\" nor \"ccw\"");
}

void checkRest(const Json& o) {
    const Json& rest = field(o, "rest");
    if (!rest.is_null() && !isPoint(rest, 2))
        bad("\"rest\" is neither null nor an [x, y] point");
    // Records written before paths were kept have none: shown without.
    if (o.contains("paths"))
        checkPaths(o);
}

void checkShot(const Json& o, bool fcv1) {
    intField(o, "end", 0, 99);
    intField(o, "shot", 0, 15);
    playerField(o, "player");
    stringField(o, "outcome");
    numberField(o, "seconds");
    checkPosition(o);
    if (o["outcome"] != "thrown")
        return;
    if (fcv1) {
        checkMove(o, "selected");
        checkMove(o, "actual");
        checkRest(o);
        return;
    }
    const Json& answered = field(o, "answered");
    if (!answered.is_object())
        bad("\"answered\" is not an object");
    numberField(answered, "x");
    numberField(answered, "y");
    intField(answered, "spin", 0, 1);
    const Json& noise = field(o, "noise");
    if (!noise.is_object())
        bad("\"noise\" is not an object");
    for (const char* name : {"ex", "ey", "dx", "dy"})
        numberField(noise, name);
    checkRest(o);
}

void checkEnd(const Json& o) {
    intField(o, "end", 0, 99);
    intField(o, "score", -8, 8);
    checkSides(o, "total");
    playerField(o, "first");
    checkPosition(o);
}

// Whether the match was played on the fcv1 ice (positions in the shot frame).
bool checkMatch(const Json& o) {
    const Json& players = field(o, "players");
    if (!players.is_array() || players.size() != 2 || !players[0].is_string() || !players[1].is_string())
        bad("\"players\" is not a list of two strings");
    intField(o, "ends", 1, 10);
    const auto ice = o.find("ice");
    if (ice != o.end() && *ice != "classic" && *ice != "fcv1")
        bad("\"ice\" is neither \"classic\" nor \"fcv1\"");
    return ice != o.end() && *ice == "fcv1";
}

void checkResult(const Json& o) {
    stringField(o, "winner");
    checkSides(o, "total");
    stringField(o, "reason");
}

// What the page needs of an object; the commands sent are left out.
Json forPage(Json o) {
    o.erase("sent");
    return o;
}

// The data as a script literal. '<' only occurs inside strings, where its
// escape means the same, so no text from the record ("</script>", "<!--")
// can change how the page's script element is read.
std::string scriptLiteral(const Json& data) {
    const std::string text = data.dump(-1, ' ', true);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    }
    return out;
}

}  // namespace

bool matchPage(const std::string& record, std::string& html, std::string& error) {
    Json data = {{"match", nullptr}, {"shots", Json::array()}, {"ends", Json::array()}, {"result", nullptr}};
    std::istringstream in(record);
    std::string text;
    int number = 0;
    bool fcv1 = false;
    try {
        while (std::getline(in, text)) {
            ++number;
            if (text.find_first_not_of(" \t\r") == std::string::npos)
                bad("empty line");
            Json o;
            try {
                o = Json::parse(text);
            } catch (const Json::exception&) {
                bad(in.eof() ? "not a whole JSON object (the record is cut short)" : "not a JSON object");
            }
            if (!o.is_object())
                bad("not a JSON object");
            if (!data["result"].is_null())
                bad("an object after the result");
            const Json& type = field(o, "type");
            if (number == 1 && type != "match")
                bad("the record does not open with a \"match\" object");
            if (type == "match") {
                if (number != 1)
                    bad("a second \"match\" object");
                fcv1 = checkMatch(o);
                data["match"] = forPage(std::move(o));
            } else if (type == "shot") {
                checkShot(o, fcv1);
                data["shots"].push_back(forPage(std::move(o)));
            } else if (type == "end") {
                checkEnd(o);
                data["ends"].push_back(forPage(std::move(o)));
            } else if (type == "result") {
                checkResult(o);
                data["result"] = std::move(o);
            } else {
                bad("unknown object type " + type.dump());
            }
        }
        ++number;
        if (number == 1)
            bad("the record is empty");
        if (data["result"].is_null())
            bad("the record ends without a \"result\" object (cut short?)");
    } catch (const BadRecord& e) {
        error = "line " + std::to_string(number) + ": " + e.what();
        return false;
    }

    const std::string page = VIEWER_TEMPLATE;
    const size_t mark = page.find(DATA_MARK);
    if (mark == std::string::npos) {
        error = "the page template has no place for the data";
        return false;
    }
    html = page.substr(0, mark) + scriptLiteral(data) + page.substr(mark + sizeof DATA_MARK - 1);
    return true;
}

}  // namespace Kelvo::Viewer
