#include <gtest/gtest.h>

#include "kelvosim/primitive.h"

using namespace Kelvo;

TEST(Geometry, ConstantsAreTheWidenedSingleValues) {
    EXPECT_EQ(FY_TEE, 4.880000114440918);
    EXPECT_EQ(STONE_R, 0.14499999582767487);
    EXPECT_EQ(HOUSE_R, 1.8300000429153442);
    EXPECT_EQ(TEE_TO_THROW, 36.399999499320984);
    EXPECT_EQ(IN_HOUSE_R, 1.975000038743019);
    EXPECT_EQ(PLAY_X, 2.230000004172325);
    EXPECT_EQ(PLAY_Y_MIN, -36.54499949514866);
    EXPECT_EQ(PLAY_Y_MAX, 1.975000038743019);
}

TEST(Geometry, FrameConversion) {
    const Vec2 tee = toBoardFrame(2.375f, 4.88f);
    EXPECT_EQ(tee.x, 0.0);
    EXPECT_EQ(tee.y, 0.0);
    const Vec2 origin = toBoardFrame(0.0f, 0.0f);
    EXPECT_EQ(origin.x, -2.375);
    EXPECT_EQ(origin.y, 4.880000114440918);
    EXPECT_FALSE(isInPlayArea(origin.x, origin.y));
}

TEST(Geometry, PlayAreaBoundsAreInclusive) {
    EXPECT_TRUE(isInPlayArea(PLAY_X, 0));
    EXPECT_TRUE(isInPlayArea(-PLAY_X, 0));
    EXPECT_TRUE(isInPlayArea(0, PLAY_Y_MAX));
    EXPECT_TRUE(isInPlayArea(0, PLAY_Y_MIN));
    EXPECT_FALSE(isInPlayArea(std::nextafter(PLAY_X, 3.0), 0));
    EXPECT_FALSE(isInPlayArea(0, std::nextafter(PLAY_Y_MAX, 3.0)));
    EXPECT_FALSE(isInPlayArea(0, std::nextafter(PLAY_Y_MIN, -40.0)));
}

TEST(Geometry, HouseAndFreeGuardZone) {
    EXPECT_FALSE(isInHouse(1.975000038743019));
    EXPECT_TRUE(isInHouse(std::nextafter(1.975000038743019, 0.0)));
    // On the house edge the free guard test decides by Y alone.
    EXPECT_FALSE(isInFreeGuard(fStonePos{0, 1.975000038743019, 1.975000038743019, 0}));
    EXPECT_TRUE(isInFreeGuard(fStonePos{0, -1.975000038743019, 1.975000038743019, 0}));
    // The zone starts one radius in front of the tee line.
    EXPECT_FALSE(isInFreeGuard(makeStonePos(2.2, -STONE_R)));
    EXPECT_TRUE(isInFreeGuard(makeStonePos(2.2, std::nextafter(-STONE_R, -1.0))));
    EXPECT_FALSE(isInFreeGuard(makeStonePos(0, -1.0)));  // in the house
}

TEST(GeometryDeath, FreeGuardTestOfAStoneBeyondThePlayArea) {
    EXPECT_DEATH(isInFreeGuard(makeStonePos(0, 5.0)), "isInPlayArea\\(FX_TEE, y\\)");
}
