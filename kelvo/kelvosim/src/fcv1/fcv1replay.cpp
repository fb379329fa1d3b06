// Shots on the fcv1 ice as JSON lines.
#include "kelvosim/fcv1/fcv1replay.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace Kelvo {

namespace {

using nlohmann::json;

// A finite number, as a float.
bool readFloat(const json& j, float& out) {
    if (!j.is_number())
        return false;
    const double d = j.get<double>();
    if (!std::isfinite(d) || std::fabs(d) > 1e30)
        return false;
    out = float(d);
    return true;
}

bool readInt(const json& j, int32_t lo, int32_t hi, int32_t& out) {
    if (!j.is_number_integer())
        return false;
    const int64_t v = j.get<int64_t>();
    if (v < lo || v > hi)
        return false;
    out = int32_t(v);
    return true;
}

bool readPoint(const json& j, float& x, float& y) {
    return j.is_array() && j.size() == 2 && readFloat(j[0], x) && readFloat(j[1], y);
}

bool readStones(const json& j, Fcv1Stones& stones) {
    if (!j.is_array() || j.size() != FCV1_STONES)
        return false;
    for (int i = 0; i < FCV1_STONES; ++i) {
        stones.present[i] = !j[i].is_null();
        if (stones.present[i] && !readPoint(j[i], stones.x[i], stones.y[i]))
            return false;
    }
    return true;
}

bool readInput(const json& j, Fcv1ShotInput& in, std::string& error) {
    if (!j.is_object())
        return error = "input is not an object", false;
    if (!j.contains("stones") || !readStones(j["stones"], in.stones))
        return error = "stones: 16 entries of [x, y] or null", false;
    if (!j.contains("shot") || !readInt(j["shot"], 0, FCV1_SHOTS_PER_END - 1, in.shot))
        return error = "shot: 0..15", false;
    if (!j.contains("end") || !readInt(j["end"], 0, 1000000, in.end))
        return error = "end: a whole number from 0", false;
    in.hammer = 1;
    if (j.contains("hammer") && !readInt(j["hammer"], 0, 1, in.hammer))
        return error = "hammer: 0 or 1", false;
    if (!j.contains("velocity") || !readPoint(j["velocity"], in.move.vx, in.move.vy))
        return error = "velocity: [vx, vy]", false;
    const json rotation = j.value("rotation", json());
    if (rotation != "cw" && rotation != "ccw")
        return error = "rotation: \"cw\" or \"ccw\"", false;
    in.move.ccw = rotation == "ccw";
    return true;
}

bool readOutput(const json& j, Fcv1ShotResult& out) {
    if (!j.is_object() || !j.contains("stones") || !readStones(j["stones"], out.stones))
        return false;
    const json foul = j.value("foul", json());
    if (!foul.is_boolean())
        return false;
    out.foul = foul.get<bool>();
    out.steps = 0;
    if (j.contains("steps") && !readInt(j["steps"], 0, INT32_MAX, out.steps))
        return false;
    return true;
}

bool readFrames(const json& j, Fcv1Trace& trace) {
    if (!j.is_object() || !j.contains("frames") || !j["frames"].is_array())
        return false;
    if (j.contains("every") && !readInt(j["every"], 1, INT32_MAX, trace.every))
        return false;
    for (const json& f : j["frames"]) {
        Fcv1TraceFrame frame;
        if (!f.is_object() || !f.contains("step") || !readInt(f["step"], 0, INT32_MAX, frame.step) ||
            !f.contains("moving") || !f["moving"].is_array())
            return false;
        for (const json& m : f["moving"]) {
            Fcv1TraceStone s;
            if (!m.is_array() || m.size() != 6 || !readInt(m[0], 0, FCV1_STONES - 1, s.index) ||
                !readFloat(m[1], s.x) || !readFloat(m[2], s.y) || !readFloat(m[3], s.vx) || !readFloat(m[4], s.vy) ||
                !readFloat(m[5], s.w))
                return false;
            frame.moving.push_back(s);
        }
        trace.frames.push_back(std::move(frame));
    }
    return !j.contains("rest") || readStones(j["rest"], trace.rest);
}

}  // namespace

bool parseFcv1Line(const std::string& line, Fcv1ReplayLine& out, std::string& error) {
    out = Fcv1ReplayLine{};
    const json j = json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object())
        return error = "not a JSON object", false;
    if (!j.contains("input"))
        return error = "no input", false;
    if (!readInput(j["input"], out.input, error))
        return false;
    if (j.contains("output")) {
        if (!readOutput(j["output"], out.output))
            return error = "output: stones and foul", false;
        out.hasOutput = true;
    }
    if (j.contains("trajectory")) {
        const json& t = j["trajectory"];
        if (!readFrames(t, out.trajectory))
            return error = "trajectory: frames of [index, x, y, vx, vy, w]", false;
        out.hasTrajectory = true;
        if (!out.hasOutput && t.contains("final")) {
            if (!readOutput(t["final"], out.output))
                return error = "trajectory.final: stones and foul", false;
            out.hasOutput = true;
        }
    }
    return true;
}

std::string formatFcv1Float(float value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

namespace {

std::string formatStones(const Fcv1Stones& stones) {
    std::string s = "[";
    for (int i = 0; i < FCV1_STONES; ++i) {
        if (i > 0)
            s += ',';
        if (stones.present[i])
            s += '[' + formatFcv1Float(stones.x[i]) + ',' + formatFcv1Float(stones.y[i]) + ']';
        else
            s += "null";
    }
    return s + ']';
}

}  // namespace

std::string formatFcv1Result(const Fcv1ShotResult& result) {
    return "{\"stones\":" + formatStones(result.stones) + ",\"foul\":" + (result.foul ? "true" : "false") + '}';
}

std::string formatFcv1Input(const Fcv1ShotInput& in) {
    return "{\"input\":{\"stones\":" + formatStones(in.stones) + ",\"shot\":" + std::to_string(in.shot) +
           ",\"end\":" + std::to_string(in.end) + ",\"hammer\":" + std::to_string(in.hammer) + ",\"velocity\":[" +
           formatFcv1Float(in.move.vx) + ',' + formatFcv1Float(in.move.vy) + "],\"rotation\":\"" +
           (in.move.ccw ? "ccw" : "cw") + "\"}}";
}

void Fcv1ReplayStats::add(const Fcv1ShotResult& expected, const Fcv1ShotResult& actual) {
    shots += 1;
    bool sameSet = true, same = true;
    double worst = 0;
    for (int i = 0; i < FCV1_STONES; ++i) {
        if (expected.stones.present[i] != actual.stones.present[i]) {
            sameSet = false;
            continue;
        }
        if (!expected.stones.present[i])
            continue;
        const double dx = double(expected.stones.x[i]) - actual.stones.x[i];
        const double dy = double(expected.stones.y[i]) - actual.stones.y[i];
        same = same && dx == 0 && dy == 0;
        worst = std::max(worst, std::hypot(dx, dy));
    }
    maxError = std::max(maxError, worst);
    setMismatch += sameSet ? 0 : 1;
    foulMismatch += expected.foul == actual.foul ? 0 : 1;
    exact += sameSet && same ? 1 : 0;
    within += sameSet && worst <= 1e-4 ? 1 : 0;
}

std::string Fcv1ReplayStats::line() const {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "fcv1-replay: shots=%d exact=%d within_0.1mm=%d max_err_m=%.3g set_mismatch=%d foul_mismatch=%d",
                  shots, exact, within, maxError, setMismatch, foulMismatch);
    return buf;
}

void Fcv1TrajectoryStats::add(const Fcv1Trace& expected, const Fcv1Trace& actual) {
    shots += 1;
    const size_t n = std::max(expected.frames.size(), actual.frames.size());
    for (size_t f = 0; f < n; ++f) {
        frames += 1;
        if (f >= expected.frames.size() || f >= actual.frames.size()) {
            frameMismatch += 1;
            continue;
        }
        const Fcv1TraceFrame& e = expected.frames[f];
        const Fcv1TraceFrame& a = actual.frames[f];
        if (e.step != a.step || e.moving.size() != a.moving.size()) {
            frameMismatch += 1;
            continue;
        }
        bool same = true, matched = true;
        for (size_t k = 0; k < e.moving.size(); ++k) {
            const Fcv1TraceStone& s = e.moving[k];
            const Fcv1TraceStone& t = a.moving[k];
            if (s.index != t.index) {
                matched = false;
                break;
            }
            same = same && s.x == t.x && s.y == t.y && s.vx == t.vx && s.vy == t.vy && s.w == t.w;
            maxPositionError = std::max(maxPositionError, std::hypot(double(s.x) - t.x, double(s.y) - t.y));
            maxVelocityError = std::max(maxVelocityError, std::hypot(double(s.vx) - t.vx, double(s.vy) - t.vy));
            maxSpinError = std::max(maxSpinError, std::fabs(double(s.w) - t.w));
        }
        frameMismatch += matched ? 0 : 1;
        exactFrames += matched && same ? 1 : 0;
    }
}

std::string Fcv1TrajectoryStats::line() const {
    char buf[240];
    std::snprintf(buf, sizeof buf,
                  "fcv1-trajectories: shots=%d frames=%d exact_frames=%d frame_mismatch=%d max_pos_err_m=%.3g "
                  "max_vel_err=%.3g max_spin_err=%.3g",
                  shots, frames, exactFrames, frameMismatch, maxPositionError, maxVelocityError, maxSpinError);
    return buf;
}

}  // namespace Kelvo
