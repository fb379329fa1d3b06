// The motion tables of the fcv1 ice. Nothing in the model depends on
// position or heading, and while a stone spins its turning rate depends on
// its speed alone, so one run of a lone spinning stone from the top speed
// down to rest gives every free path: a stone at speed v sits at the row of
// that speed and follows the run from there, turned to its heading and
// mirrored for the clockwise turn, until its spin runs out (a second column
// sums the spin the model takes off each step); after that it goes straight
// and only the run's path length matters. Rows are 1 ms steps of the model,
// so stones advanced by whole steps stay on the exact simulation's clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kelvo {

// A stone's motion read from the tables, in any fixed frame.
struct Fcv1Glide {
    double x = 0, y = 0;
    double heading = 0;  // direction of the velocity, atan2(vy, vx)
    double cosHeading = 1, sinHeading = 0;  // its cosine and sine, kept with it
    double row = 0;      // table row of its speed (fractional)
    double spin = 0;     // rad/s, + counter-clockwise
    double spinOut = 0;  // row at which the spin runs out; `row` when it has none
    // The table read at `row` and the turn at `spinOut`, kept with the stone
    // whenever it moves so that the bounds asked of it between moves read no
    // table. A glide made by default sits at row 0, the top speed.
    double speed = 6.0, length = 0, spinUsed = 0;
    double tableX = 0, tableY = 0;
    double turn = 0, cosTurn = 1, sinTurn = 0;
    double turnOut = 0, cosOut = 1, sinOut = 0;
};

class Fcv1Tables {
public:
    // Speeds above this are not in the tables.
    static constexpr double TOP_SPEED = 6.0;

    // One entry per step of the lone stone's run: 64 bytes, aligned so that
    // a row is one cache line and an interpolation touches two.
    struct alignas(64) Row {
        double speed = 0;
        double x = 0, y = 0;   // position, starting at the origin along +y, turning counter-clockwise
        double turn = 0;       // how far the velocity has turned
        double length = 0;     // path length
        double spinUsed = 0;   // spin the model has taken off so far
        double cosTurn = 1, sinTurn = 0;  // of `turn`, so that turning a heading needs no sine
    };

    Fcv1Tables();

    // The last row: the step after it the stone stops.
    int32_t lastRow() const { return int32_t(rows_.size()) - 1; }
    // The row interpolated at a fractional index.
    Row at(double row) const;
    // The fractional row at which the run has the speed, path length or
    // spin used; clamped to the table.
    double rowOfSpeed(double speed) const;
    double rowOfLength(double length) const;
    double rowOfSpinUsed(double used) const;
    double rowOfTurn(double turn) const;

    // A stone launched or sent off with this motion: its table state.
    Fcv1Glide glide(double x, double y, double vx, double vy, double spin) const;
    double speedOf(const Fcv1Glide& g) const { return g.speed; }
    // One column interpolated at a fractional row, clamped to the table.
    double speedAt(double row) const { return column(row, speeds_); }
    double lengthAt(double row) const { return column(row, lengths_); }
    // Moves the stone on by `steps` steps (to rest at the latest).
    void advance(Fcv1Glide& g, double steps) const;
    // Where the stone comes to rest.
    void toRest(Fcv1Glide& g) const { advance(g, lastRow() - g.row); }
    bool resting(const Fcv1Glide& g) const { return g.row >= lastRow(); }
    // Path length still ahead of the stone.
    double reach(const Fcv1Glide& g) const { return lengths_.back() - g.length; }
    // Whole steps in which the stone surely covers at most `length` of path
    // (a bound, not the exact count).
    int32_t stepsWithin(const Fcv1Glide& g, double length) const;
    // Whole steps in which the stone's centre surely comes no nearer than
    // `within` to the point (px, py): read off its path (the table's curve
    // while it spins, then a straight line), the step that may bring it
    // that near last. -1 when it never does before it rests. `clear`: steps
    // over which its path is already known to keep farther off.
    int64_t stepsBeforeNear(const Fcv1Glide& g, double px, double py, double within, int64_t clear = 0) const;
    // How far the stone's heading can still turn before it rests.
    double turnLeft(const Fcv1Glide& g) const { return g.spinOut > g.row ? g.turnOut - g.turn : 0.0; }
    // The cosine and sine of turnLeft, up to a turn of pi (which can point
    // the stone anywhere), read from the table.
    void turnLeftCosSin(const Fcv1Glide& g, double& c, double& s) const;

    // Rows where a column crosses evenly spaced values, so that a lookup
    // searches a few neighbouring rows instead of the whole table.
    struct Index {
        double origin = 0, width = 1, perWidth = 1;
        std::vector<int32_t> first;  // first row at or past origin + k * width
    };

private:
    // Puts the stone at a row, or its spin's end at one, with what it keeps of the table there.
    static void place(Fcv1Glide& g, double row, const Row& r);
    static void placeSpinOut(Fcv1Glide& g, double row, const Row& r);
    static void spinOutHere(Fcv1Glide& g);
    Row interpolated(double row) const;  // at(), inlined in this class's own reads

    // One column interpolated at a fractional row, read from its own array.
    double column(double row, const std::vector<double>& values) const {
        const int32_t last = lastRow();
        if (!(row > 0))
            return values[0];
        if (row >= last)
            return values[last];
        const int32_t k = int32_t(row);
        const double u = values[k];
        return u + (values[k + 1] - u) * (row - k);
    }

    double crossing(const Index& index, double value, const std::vector<double>& values, double sign) const;

    // A disc around the table's path over a run of steps.
    struct Disc {
        double x = 0, y = 0, r = 0;
    };
    static Disc enclosing(const std::vector<Disc>& parts, std::size_t first, std::size_t end);
    void buildDiscs();
    int32_t firstSegmentNear(int32_t from, int32_t to, double qx, double qy, double within) const;
    int64_t stepsBeforeLineNear(double row, double startRow, double px, double py, double ux, double uy,
                                double qx, double qy, double within) const;

    std::vector<Row> rows_;
    // The columns read alone on the hot path, each packed in its own array,
    // so that a lookup or a search touches a few cache lines instead of a
    // row's line each.
    std::vector<double> speeds_, lengths_, turns_, spinUsed_;
    Index bySpeed_, byLength_, bySpinUsed_, byTurn_;
    // discs_[l][n] holds the path's segments (row k to k + 1) from
    // n * 8^(l+1) on, 8^(l+1) of them: a search for the first segment near a
    // point skips every run whose disc lies too far.
    std::vector<std::vector<Disc>> discs_;
    // The rows' points (radius 0) packed, for the segments the search reads.
    std::vector<Disc> points_;
};

}  // namespace Kelvo
