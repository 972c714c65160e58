#include <gtest/gtest.h>

#include "Colors.h"

TEST(ColorTables, LookupsAreExact)
{
    EXPECT_EQ(FindColor("Red"), 96);
    EXPECT_EQ(FindColor("red"), -1);
    EXPECT_EQ(FindColor(""), -1);
    EXPECT_EQ(FindColor("YellowGreen"), 120);
    EXPECT_EQ(FindTexture("Shiny"), 5);
    EXPECT_EQ(FindTexture("GlassFinish"), 1);
    EXPECT_EQ(FindTexture(""), -1);
    EXPECT_EQ(ColorTable[kColorCount].name, nullptr);
    EXPECT_EQ(TextureNames[kTextureCount], nullptr);
}

TEST(ColorTables, NearestColourPrefersTheLowerIndexOnTies)
{
    EXPECT_EQ(NearestColor(1, 0, 0), 96);
    EXPECT_EQ(NearestColor(0, 0, 0), 2);
    EXPECT_EQ(NearestColor(0.1843f, 0.3098f, 0.3098f), 22);
    EXPECT_EQ(NearestColor(0.5f, 0.5f, 0.5f), 46);
    EXPECT_EQ(NearestColor(0.137255f, 0.137255f, 0.556863f), 82);  // Navy, not NavyBlue
}

TEST(ColorTables, DxfPalette)
{
    EXPECT_EQ(NearestDxfColor(1, 0, 0), 1);   // 10 repeats entry 1; the lower number wins
    EXPECT_EQ(NearestDxfColor(0, 0, 0), 0);
    EXPECT_EQ(NearestDxfColor(1, 1, 1), 7);
    EXPECT_EQ(NearestDxfColor(1, 1, 0), 2);   // 50 repeats entry 2
    // Entries past 63 exist for the reader but the writer's search stops at 63.
    EXPECT_EQ(DxfPalette[255][0], 63);
    EXPECT_EQ(DxfPalette[250][1], 0x12);
    EXPECT_EQ(NearestDxfColor(0x12 / 63.0f, 0x12 / 63.0f, 0x12 / 63.0f), 8);
}
