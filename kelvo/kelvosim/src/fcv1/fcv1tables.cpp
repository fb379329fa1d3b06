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

// Buckets of the inverse columns, fine enough that a lookup mostly lands
// within a row or two of the crossing: speed falls by at least 0.6 mm/s a
// step, and path length grows by 1 to 6 mm a step at the speeds where
// stones meet.
constexpr int32_t SPEED_BUCKETS = 1 << 17;
constexpr int32_t LENGTH_BUCKETS = 1 << 18;
constexpr int32_t SPIN_USED_BUCKETS = 1 << 16;
constexpr int32_t TURN_BUCKETS = 1 << 16;

// The index of a column that grows with the row once multiplied by `sign`.
Fcv1Tables::Index makeIndex(const std::vector<double>& column, double sign, int32_t buckets) {
    Fcv1Tables::Index index;
    index.origin = sign * column.front();
    index.width = (sign * column.back() - index.origin) / buckets;
    index.perWidth = 1 / index.width;
    index.first.resize(buckets + 1);
    int32_t row = 0;
    for (int32_t k = 0; k <= buckets; ++k) {
        const double mark = index.origin + k * index.width;
        while (row < int32_t(column.size()) - 1 && sign * column[row] < mark)
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
        n.cosTurn = std::cos(n.turn);
        n.sinTurn = std::sin(n.turn);
        rows_.push_back(n);
        r = n;
    }
    for (const Row& row : rows_) {
        speeds_.push_back(row.speed);
        lengths_.push_back(row.length);
        turns_.push_back(row.turn);
        spinUsed_.push_back(row.spinUsed);
    }
    bySpeed_ = makeIndex(speeds_, -1, SPEED_BUCKETS);
    byLength_ = makeIndex(lengths_, 1, LENGTH_BUCKETS);
    bySpinUsed_ = makeIndex(spinUsed_, 1, SPIN_USED_BUCKETS);
    byTurn_ = makeIndex(turns_, 1, TURN_BUCKETS);
    buildDiscs();
}

namespace {

constexpr int32_t FANOUT = 8;
constexpr int32_t FANOUT_BITS = 3;  // FANOUT == 1 << FANOUT_BITS

// The level of the largest run of segments that starts at a k with z
// trailing zero bits: z / FANOUT_BITS - 1 (-1 for a single segment).
struct RunLevels {
    int8_t of[32];
    constexpr RunLevels() : of{} {
        for (int32_t z = 0; z < 32; ++z)
            of[z] = int8_t(z / FANOUT_BITS - 1);
    }
};
constexpr RunLevels RUN_LEVELS;

// Squared distances: the searches compare them, no root needed.
double distance2ToSegment(double qx, double qy, double ax, double ay, double bx, double by) {
    const double ex = bx - ax, ey = by - ay;
    const double e2 = ex * ex + ey * ey;
    const double f = e2 > 0 ? std::clamp(((qx - ax) * ex + (qy - ay) * ey) / e2, 0.0, 1.0) : 0.0;
    const double dx = qx - ax - f * ex, dy = qy - ay - f * ey;
    return dx * dx + dy * dy;
}

}  // namespace

// The disc around discs first to end (a point is a disc of radius 0),
// centred on their bounding box.
Fcv1Tables::Disc Fcv1Tables::enclosing(const std::vector<Disc>& parts, size_t first, size_t end) {
    double x0 = parts[first].x - parts[first].r, x1 = parts[first].x + parts[first].r;
    double y0 = parts[first].y - parts[first].r, y1 = parts[first].y + parts[first].r;
    for (size_t i = first; i < end; ++i) {
        x0 = std::min(x0, parts[i].x - parts[i].r), x1 = std::max(x1, parts[i].x + parts[i].r);
        y0 = std::min(y0, parts[i].y - parts[i].r), y1 = std::max(y1, parts[i].y + parts[i].r);
    }
    Disc d{(x0 + x1) / 2, (y0 + y1) / 2, 0};
    for (size_t i = first; i < end; ++i)
        d.r = std::max(d.r, std::hypot(parts[i].x - d.x, parts[i].y - d.y) + parts[i].r);
    return d;
}

void Fcv1Tables::buildDiscs() {
    // Level 0 around the rows' points, 8 segments (9 points) each; each
    // level above around 8 discs of the level below.
    for (const Row& r : rows_)
        points_.push_back(Disc{r.x, r.y, 0});
    const size_t segments = points_.size() - 1;
    std::vector<Disc> level;
    for (size_t k = 0; k < segments; k += FANOUT)
        level.push_back(enclosing(points_, k, std::min(k + FANOUT, segments) + 1));
    discs_.push_back(std::move(level));
    while (discs_.back().size() > size_t(FANOUT)) {
        const std::vector<Disc>& below = discs_.back();
        std::vector<Disc> above;
        for (size_t k = 0; k < below.size(); k += FANOUT)
            above.push_back(enclosing(below, k, std::min(k + FANOUT, below.size())));
        discs_.push_back(std::move(above));
    }
}

// The first segment from `from` (inclusive) to `to` (exclusive) that comes
// within `within` of the point; -1 when none does. The search walks on from
// `from` over the largest run of segments that starts where it stands and
// is no larger than the last near run allowed, skipping the run when its disc lies too far
// and taking its first part next when not.
int32_t Fcv1Tables::firstSegmentNear(int32_t from, int32_t to, double qx, double qy, double within) const {
    const int32_t top = int32_t(discs_.size()) - 1;
    const double within2 = within * within;
    auto near = [&](int32_t level, int32_t node) {
        const Disc& d = discs_[level][node];
        const double dx = qx - d.x, dy = qy - d.y, reach = d.r + within;
        return dx * dx + dy * dy <= reach * reach;
    };
    int32_t k = from, cap = top, nearLeaf = -1;
    while (k < to) {
        // Runs start at multiples of their size, a power of 8: the trailing
        // zero bits of k give the largest run starting there (k is never
        // negative; 0 starts every run, and the bit 30 set beside it keeps
        // the count above any level of the table).
        const int32_t level = std::min(cap, int32_t(RUN_LEVELS.of[__builtin_ctz(uint32_t(k) | 1u << 30)]));
        const int32_t span = 1 << (FANOUT_BITS * (level + 1));
        if (level >= 0) {
            if (near(level, k / span)) {
                cap = level - 1;
                if (level == 0)
                    nearLeaf = k / FANOUT;
            } else {
                k += span;
                cap = top;
            }
            continue;
        }
        // Within a run of 8: its disc first, when the walk started inside it.
        if (k / FANOUT != nearLeaf) {
            if (!near(0, k / FANOUT)) {
                k = (k / FANOUT + 1) * FANOUT;
                continue;
            }
            nearLeaf = k / FANOUT;
        }
        if (distance2ToSegment(qx, qy, points_[k].x, points_[k].y, points_[k + 1].x, points_[k + 1].y) <= within2)
            return k;
        ++k;
        cap = top;
    }
    return -1;
}

// The same along the straight line the stone takes from `startRow` (at or
// after `row`, where it stands) from (px, py) along the unit (ux, uy).
int64_t Fcv1Tables::stepsBeforeLineNear(double row, double startRow, double px, double py, double ux, double uy,
                                        double qx, double qy, double within) const {
    const double wx = qx - px, wy = qy - py;
    const double along = wx * ux + wy * uy;
    const double across2 = std::max(wx * wx + wy * wy - along * along, 0.0);
    if (across2 > within * within)
        return -1;
    const double half = std::sqrt(within * within - across2);
    if (along + half < 0)
        return -1;  // behind it
    const double startLength = lengthAt(startRow);
    const double near = startLength + std::max(along - half, 0.0);
    if (near >= lengths_.back())
        return -1;  // it rests short of there
    return int64_t(std::ceil(rowOfLength(near) - row));
}

int64_t Fcv1Tables::stepsBeforeNear(const Fcv1Glide& g, double px, double py, double within, int64_t clear) const {
    // The point in the table's frame: the inverse of the turn and mirror
    // that advance() puts the table's path through.
    const double sigma = g.spin > 0 ? 1.0 : -1.0;
    const double ch = g.cosHeading, sh = g.sinHeading;
    const double c = sh * g.cosTurn - sigma * ch * g.sinTurn;
    const double s = -sigma * sh * g.sinTurn - ch * g.cosTurn;
    const double wx = px - g.x, wy = py - g.y;
    const double qx = g.tableX + sigma * (c * wx + s * wy), qy = g.tableY + (-s * wx + c * wy);
    if (!(g.spinOut > g.row))
        return stepsBeforeLineNear(g.row, g.row, g.tableX, g.tableY, -g.sinTurn, g.cosTurn, qx, qy, within);
    const int32_t from = int32_t(g.row + double(clear)), to = int32_t(std::ceil(g.spinOut));
    const int32_t k = firstSegmentNear(from, to, qx, qy, within);
    if (k >= 0)
        return int64_t(std::ceil(std::max(double(k), g.row) - g.row));
    if (g.spinOut >= lastRow())
        return -1;
    const Row out = interpolated(g.spinOut);
    return stepsBeforeLineNear(g.row, g.spinOut, out.x, out.y, -g.sinOut, g.cosOut, qx, qy, within);
}

// Inlined where the hot paths read the table, so that the row comes back in registers.
[[gnu::always_inline]] inline Fcv1Tables::Row Fcv1Tables::interpolated(double row) const {
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
    return Row{mix(p.speed, q.speed),       mix(p.x, q.x),           mix(p.y, q.y),
               mix(p.turn, q.turn),         mix(p.length, q.length), mix(p.spinUsed, q.spinUsed),
               mix(p.cosTurn, q.cosTurn),   mix(p.sinTurn, q.sinTurn)};
}

Fcv1Tables::Row Fcv1Tables::at(double row) const { return interpolated(row); }

// The fractional row at which the column (times sign, which makes it grow)
// reaches the value, clamped to the table.
double Fcv1Tables::crossing(const Index& index, double value, const std::vector<double>& column, double sign) const {
    const double key = sign * value;
    const int32_t last = lastRow();
    if (!(key > sign * column[0]))
        return 0;
    if (!(key < sign * column[last]))
        return double(last);
    const int32_t buckets = int32_t(index.first.size()) - 1;
    // Any bucket near the right one would do: the scans below widen the
    // range until it holds the crossing, so a product stands in for the division.
    const int32_t k = std::clamp(int32_t((key - index.origin) * index.perWidth), 0, buckets - 1);
    // The crossing lies between the row before the bucket's first and the next bucket's first.
    int32_t lo = std::max(index.first[k] - 1, 0), hi = std::min(index.first[k + 1], last);
    while (lo > 0 && !(sign * column[lo] < key))
        --lo;
    while (hi < last && sign * column[hi] < key)
        ++hi;
    while (hi - lo > 1) {
        const int32_t mid = (lo + hi) / 2;
        (sign * column[mid] < key ? lo : hi) = mid;
    }
    const double a = column[lo], b = column[hi];
    return double(lo) + (value - a) / (b - a);
}

double Fcv1Tables::rowOfSpeed(double speed) const { return crossing(bySpeed_, speed, speeds_, -1); }

double Fcv1Tables::rowOfLength(double length) const { return crossing(byLength_, length, lengths_, 1); }

double Fcv1Tables::rowOfSpinUsed(double used) const { return crossing(bySpinUsed_, used, spinUsed_, 1); }

double Fcv1Tables::rowOfTurn(double turn) const { return crossing(byTurn_, turn, turns_, 1); }

static_assert(Fcv1Tables::TOP_SPEED == Fcv1Glide{}.speed, "a default glide sits at row 0");

void Fcv1Tables::place(Fcv1Glide& g, double row, const Row& r) {
    g.row = row;
    g.speed = r.speed;
    g.length = r.length;
    g.spinUsed = r.spinUsed;
    g.tableX = r.x;
    g.tableY = r.y;
    g.turn = r.turn;
    g.cosTurn = r.cosTurn;
    g.sinTurn = r.sinTurn;
}

void Fcv1Tables::placeSpinOut(Fcv1Glide& g, double row, const Row& r) {
    g.spinOut = row;
    g.turnOut = r.turn;
    g.cosOut = r.cosTurn;
    g.sinOut = r.sinTurn;
}

void Fcv1Tables::spinOutHere(Fcv1Glide& g) {
    g.spinOut = g.row;
    g.turnOut = g.turn;
    g.cosOut = g.cosTurn;
    g.sinOut = g.sinTurn;
}

Fcv1Glide Fcv1Tables::glide(double x, double y, double vx, double vy, double spin) const {
    Fcv1Glide g;
    g.x = x;
    g.y = y;
    // A launch straight along +y, as the shot inversion makes many of,
    // needs neither: atan2 and hypot give pi/2 and vy there exactly.
    const bool alongY = vx == 0 && vy > 0;
    g.heading = alongY ? HALF_PI : std::atan2(vy, vx);
    const double speed = alongY ? vy : std::hypot(vx, vy);
    if (speed > 0) {
        g.cosHeading = vx / speed;
        g.sinHeading = vy / speed;
    }
    const double row = rowOfSpeed(speed);
    const Row here = interpolated(row);
    place(g, row, here);
    g.spin = spin;
    // The spin runs out at the first step whose decay reaches what is left.
    if (std::fabs(spin) > FLT_EPSILON) {
        const double out = rowOfSpinUsed(here.spinUsed + std::fabs(spin));
        placeSpinOut(g, out, interpolated(out));
    } else {
        spinOutHere(g);
    }
    return g;
}

void Fcv1Tables::advance(Fcv1Glide& g, double steps) const {
    const double end = std::min(g.row + steps, double(lastRow()));
    if (!(end > g.row))
        return;
    if (g.spinOut > g.row) {
        // Along the spinning curve, turned onto the stone's heading and
        // mirrored for the clockwise turn: the rotation takes the table's
        // heading there, pi/2 + sigma * turn, onto the stone's, and is worked
        // from the cosines and sines of both.
        const double curlEnd = std::min(end, g.spinOut);
        const Row to = interpolated(curlEnd);
        const double sigma = g.spin > 0 ? 1.0 : -1.0;
        const double dx = sigma * (to.x - g.tableX), dy = to.y - g.tableY;
        const double ch = g.cosHeading, sh = g.sinHeading;
        const double c = sh * g.cosTurn - sigma * ch * g.sinTurn;
        const double s = -sigma * sh * g.sinTurn - ch * g.cosTurn;
        g.x += c * dx - s * dy;
        g.y += s * dx + c * dy;
        // The heading turns by sigma times the turn between the two rows.
        const double cd = to.cosTurn * g.cosTurn + to.sinTurn * g.sinTurn;
        const double sd = sigma * (to.sinTurn * g.cosTurn - to.cosTurn * g.sinTurn);
        const double nc = ch * cd - sh * sd, ns = sh * cd + ch * sd;
        const double norm = 1 / std::sqrt(nc * nc + ns * ns);
        g.cosHeading = nc * norm;
        g.sinHeading = ns * norm;
        g.heading += sigma * (to.turn - g.turn);
        g.spin = curlEnd >= g.spinOut ? 0.0 : g.spin - sigma * (to.spinUsed - g.spinUsed);
        place(g, curlEnd, to);
        if (g.spin == 0)
            spinOutHere(g);
    }
    if (end > g.row) {
        const Row to = interpolated(end);
        const double d = to.length - g.length;
        g.x += d * g.cosHeading;
        g.y += d * g.sinHeading;
        place(g, end, to);
    }
    if (g.spinOut < g.row)
        spinOutHere(g);
}

void Fcv1Tables::turnLeftCosSin(const Fcv1Glide& g, double& c, double& s) const {
    c = 1;
    s = 0;
    if (!(g.spinOut > g.row))
        return;
    if (g.turnOut - g.turn >= M_PI) {
        c = -1;
        return;
    }
    c = g.cosOut * g.cosTurn + g.sinOut * g.sinTurn;
    s = g.sinOut * g.cosTurn - g.cosOut * g.sinTurn;
}

int32_t Fcv1Tables::stepsWithin(const Fcv1Glide& g, double length) const {
    if (!(length > 0))
        return 0;
    // Over the steps ahead the speed only falls, and it falls at least at the
    // model's deceleration at today's speed, the smallest it will have: the
    // path covered in time t is at most v t - a t^2 / 2. No table search.
    const double v = g.speed;
    const double a = (double(FCV1_FRICTION_A) / (v + double(FCV1_FRICTION_B)) + double(FCV1_FRICTION_C)) *
                     double(FCV1_GRAVITY);
    const double room = v * v - 2 * a * length;
    if (!(room > 0))
        return INT32_MAX / 2;  // it stops short of the length
    const double time = 2 * length / (v + std::sqrt(room));
    return int32_t(std::min(time / DT, double(INT32_MAX / 2)));
}

}  // namespace Kelvo
