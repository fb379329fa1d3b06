#include <gtest/gtest.h>

#include <cmath>

#include "kelvosim/fastsimulator.h"
#include "support.h"

using namespace Kelvo;

TEST(MotionTables, Builds) {
    KelvoTest::ensureMotionTables();
    EXPECT_NEAR(distanceBySpeed[16384], 47.378, 0.01);
}
