// The motion tables of the fcv1 ice: one run of the model from the top speed
// to rest, in double precision, step by step as the exact simulation takes it.
#include "kelvosim/fcv1/fcv1tables.h"

#include <algorithm>
#include <cmath>

#include "kelvosim/fcv1/fcv1model.h"

namespace Kelvo {

namespace {

constexpr double DT = double(FCV1_DT);
constexpr double HALF_PI = M_PI / 2;

constexpr int32_t INDEX_BUCKETS = 4096;

struct SpeedColumn {
    double operator()(const Fcv1Tables::Row& r) const { return r.speed; }
};
struct LengthColumn {
    double operator()(const Fcv1Tables::Row& r) const { return r.length; }
};
struct SpinUsedColumn {
    double operator()(const Fcv1Tables::Row& r) const { return r.spinUsed; }
};

// The index of a column that grows with the row once multiplied by `sign`.
template <class Column>
Fcv1Tables::Index makeIndex(const std::vector<Fcv1Tables::Row>& rows, Column column, double sign) {
    Fcv1Tables::Index index;
    index.origin = sign * column(rows.front());
    index.width = (sign * column(rows.back()) - index.origin) / INDEX_BUCKETS;
    index.first.resize(INDEX_BUCKETS + 1);
    int32_t row = 0;
    for (int32_t k = 0; k <= INDEX_BUCKETS; ++k) {
        const double mark = index.origin + k * index.width;
        while (row < int32_t(rows.size()) - 1 && sign * column(rows[row]) < mark)
            ++row;
        index.first[k] = row;
    }
    return index;
}

}  // namespace

Fcv1Tables::Fcv1Tables() {
    const double a = FCV1_FRICTION_A, b = FCV1_FRICTION_B, c = FCV1_FRICTION_C, g = FCV1_GRAVITY;
    rows_.reserve(100000);
    Row r;
    r.speed = TOP_SPEED;
    rows_.push_back(r);
    for (;;) {
        // One step as the exact simulation takes it: the speed drops and the
        // velocity turns, then the position moves with the new velocity.
        const double s = r.speed;
        const double next = s - (a / (s + b) + c) * g * DT;
        if (next <= 0)
            break;
        Row n;
        n.speed = next;
        n.turn = r.turn + double(FCV1_YAW_GAIN) * std::pow(s, double(FCV1_YAW_EXPONENT)) * DT;
        n.spinUsed = r.spinUsed + double(FCV1_SPIN_DECAY) / std::max(s, double(FCV1_SPIN_MIN_SPEED)) * DT;
        const double heading = HALF_PI + n.turn;
        n.x = r.x + DT * next * std::cos(heading);
        n.y = r.y + DT * next * std::sin(heading);
        n.length = r.length + DT * next;
        rows_.push_back(n);
        r = n;
    }
    bySpeed_ = makeIndex(rows_, SpeedColumn{}, -1);
    byLength_ = makeIndex(rows_, LengthColumn{}, 1);
    bySpinUsed_ = makeIndex(rows_, SpinUsedColumn{}, 1);
}

Fcv1Tables::Row Fcv1Tables::at(double row) const {
    const int32_t last = lastRow();
    if (!(row > 0))
        return rows_[0];
    if (row >= last)
        return rows_[last];
    const int32_t k = int32_t(row);
    const double f = row - k;
    const Row& p = rows_[k];
    const Row& q = rows_[k + 1];
    auto mix = [f](double u, double v) { return u + (v - u) * f; };
    return Row{mix(p.speed, q.speed), mix(p.x, q.x),       mix(p.y, q.y),
               mix(p.turn, q.turn),   mix(p.length, q.length), mix(p.spinUsed, q.spinUsed)};
}

// The fractional row at which the column (times sign, which makes it grow)
// reaches the value, clamped to the table.
template <class Column>
double Fcv1Tables::crossing(const Index& index, double value, Column column, double sign) const {
    const double key = sign * value;
    const int32_t last = lastRow();
    if (!(key > sign * column(rows_[0])))
        return 0;
    if (!(key < sign * column(rows_[last])))
        return double(last);
    const int32_t k = std::clamp(int32_t((key - index.origin) / index.width), 0, INDEX_BUCKETS - 1);
    // The crossing lies between the row before the bucket's first and the next bucket's first.
    int32_t lo = std::max(index.first[k] - 1, 0), hi = std::min(index.first[k + 1], last);
    while (lo > 0 && !(sign * column(rows_[lo]) < key))
        --lo;
    while (hi < last && sign * column(rows_[hi]) < key)
        ++hi;
    while (hi - lo > 1) {
        const int32_t mid = (lo + hi) / 2;
        (sign * column(rows_[mid]) < key ? lo : hi) = mid;
    }
    const double a = column(rows_[lo]), b = column(rows_[hi]);
    return double(lo) + (value - a) / (b - a);
}

double Fcv1Tables::rowOfSpeed(double speed) const { return crossing(bySpeed_, speed, SpeedColumn{}, -1); }

double Fcv1Tables::rowOfLength(double length) const { return crossing(byLength_, length, LengthColumn{}, 1); }

double Fcv1Tables::rowOfSpinUsed(double used) const { return crossing(bySpinUsed_, used, SpinUsedColumn{}, 1); }

Fcv1Glide Fcv1Tables::glide(double x, double y, double vx, double vy, double spin) const {
    Fcv1Glide g;
    g.x = x;
    g.y = y;
    g.heading = std::atan2(vy, vx);
    g.row = rowOfSpeed(std::hypot(vx, vy));
    g.spin = spin;
    // The spin runs out at the first step whose decay reaches what is left.
    g.spinOut = std::fabs(spin) > FLT_EPSILON ? rowOfSpinUsed(at(g.row).spinUsed + std::fabs(spin)) : g.row;
    return g;
}

void Fcv1Tables::advance(Fcv1Glide& g, double steps) const {
    const double end = std::min(g.row + steps, double(lastRow()));
    if (!(end > g.row))
        return;
    Row from = at(g.row);
    if (g.spinOut > g.row) {
        // Along the spinning curve, turned onto the stone's heading and
        // mirrored for the clockwise turn.
        const double curlEnd = std::min(end, g.spinOut);
        const Row to = at(curlEnd);
        const double sigma = g.spin > 0 ? 1.0 : -1.0;
        const double dx = sigma * (to.x - from.x), dy = to.y - from.y;
        const double rot = g.heading - (HALF_PI + sigma * from.turn);
        const double c = std::cos(rot), s = std::sin(rot);
        g.x += c * dx - s * dy;
        g.y += s * dx + c * dy;
        g.heading += sigma * (to.turn - from.turn);
        g.spin = curlEnd >= g.spinOut ? 0.0 : g.spin - sigma * (to.spinUsed - from.spinUsed);
        from = to;
        g.row = curlEnd;
        if (g.spin == 0)
            g.spinOut = curlEnd;
    }
    if (end > g.row) {
        const double d = at(end).length - from.length;
        g.x += d * std::cos(g.heading);
        g.y += d * std::sin(g.heading);
    }
    g.row = end;
    if (g.spinOut < g.row)
        g.spinOut = g.row;
}

int32_t Fcv1Tables::stepsWithin(const Fcv1Glide& g, double length) const {
    if (!(length > 0))
        return 0;
    const double target = at(g.row).length + length;
    if (target >= rows_.back().length)
        return INT32_MAX / 2;
    return int32_t(rowOfLength(target) - g.row);
}

}  // namespace Kelvo
