#include <gtest/gtest.h>

#include "Wireframe.h"

namespace {

TEST(WireframeTest, ProjectionTruncatesTowardZeroAndKeepsUpUp)
{
    struct Case { CVector p; int w; bool ok; int x, y; };
    const Case cases[] = {
        {{0, 0, 0}, 400, true, 0, 0},
        {{1, 0, 0}, 400, true, 200, 0},
        {{0, 1, 0}, 400, true, 0, -200},        // +y is up, device y grows down
        {{1, 0, 1}, 400, true, 133, 0},         // 400 / 3
        {{-1, -1, 1}, 400, true, -133, 133},    // truncation, not floor
        {{0.5f, 0, -1}, 300, true, 150, 0},     // nearest the eye the unit sphere reaches
        {{1, 1, -2}, 400, false, 0, 0},         // at the eye
        {{1, 1, -3}, 400, false, 0, 0},         // behind it
        {{1e30f, 0, 0}, 400, false, 0, 0},      // far off any surface
        {{NAN, 0, 0}, 400, false, 0, 0},
    };
    for (const Case& c : cases) {
        int x = -7, y = -7;
        EXPECT_EQ(ProjectPoint(c.p, c.w, x, y), c.ok) << c.p.x << " " << c.p.y << " " << c.p.z;
        if (c.ok) {
            EXPECT_EQ(x, c.x) << c.p.x << " " << c.p.y << " " << c.p.z;
            EXPECT_EQ(y, c.y) << c.p.x << " " << c.p.y << " " << c.p.z;
        }
    }
    // The smaller side decides, whichever way round the surface is.
    EXPECT_EQ(PixelScale(500, 600, 0.75f), 375);
    EXPECT_EQ(PixelScale(1200, 500, 0.75f), 375);
    EXPECT_EQ(PixelScale(500, 1200, 0.75f), 375);
    EXPECT_EQ(PixelScale(-500, 600, 0.75f), 375);
    EXPECT_EQ(PixelScale(333, 333, 0.75f), 249);  // 249.75 truncated
    EXPECT_EQ(PixelScale(400, 0, 0.75f), 0);
}

// Every table colour stays itself unless it would vanish into the
// background; then it turns to whichever of black and white stands out.
TEST(WireframeTest, ColoursTooCloseToTheBackgroundContrast)
{
    const CRgb white{255, 255, 255}, black{0, 0, 0}, grey{128, 128, 128};
    EXPECT_DOUBLE_EQ(ContrastRatio(black, white), 21.0);
    EXPECT_DOUBLE_EQ(ContrastRatio(grey, grey), 1.0);
    int replaced = 0;
    for (int i = 0; i < kColorCount; ++i) {
        const ColorEntry& e = ColorTable[i];
        auto byte = [](float c) { return static_cast<uint8_t>(c * 255.0f + 0.5f); };
        const CRgb wanted{byte(e.red), byte(e.green), byte(e.blue)};
        for (CRgb background : {white, black}) {
            const CRgb drawn = LineColor(wanted, background);
            EXPECT_TRUE(drawn == wanted || drawn == (background == white ? black : white)) << e.name;
            EXPECT_GE(ContrastRatio(drawn, background), 1.25) << e.name;
            replaced += drawn == wanted ? 0 : 1;
        }
    }
    // White, Yellow and the palest tints on white; Black and the darkest greys on black.
    EXPECT_GE(replaced, 6);
    EXPECT_LE(replaced, 12);
    EXPECT_EQ(LineColor({0, 255, 255}, white), (CRgb{0, 255, 255}));  // cyan still reads on white
    EXPECT_EQ(LineColor({140, 140, 140}, grey), black);  // mid grey: black stands out more than white
}

// Three groups: a red triangle facing the eye, a quad drawn without its own
// colour, an ignored triangle; plus a triangle facing away.
class WireframeModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.SetGroup("front", FindColor("Red"), 0);
        model.AddTriangle({0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0});
        model.SetGroup("plain", FindColor("Blue"), 0);
        const CVector corners[4] = {{-0.5f, -0.5f, 0}, {0, -0.5f, 0}, {0, 0, 0.5f}, {-0.5f, 0, 0.5f}};
        int32_t quad[4];
        for (int i = 0; i < 4; ++i)
            quad[i] = model.AddVertex(corners[i], true) + 1;
        model.AddFace(4, quad);
        model.GetGroup(1)->drawSelectedColor = 0;
        model.SetGroup("hidden", FindColor("Green"), 0);
        model.AddTriangle({0, 0, -0.5f}, {0.2f, 0, -0.5f}, {0, 0.2f, -0.5f});
        model.GetGroup(2)->active = 0;
        model.SetGroup("back", FindColor("Red"), 0);
        model.AddTriangle({0, 0, 0.9f}, {0.1f, 0, 0.9f}, {0, 0.1f, 0.9f});
        Face(0)->normal = CVector(0, 0, -1);
        Face(1)->normal = CVector(0, 0, -1);
        Face(3)->normal = CVector(0, 0, 1);
    }
    CPolygon* Face(int group) { return model.GetGroup(group)->polygons.GetAt(0); }
    CModel model;
};

TEST_F(WireframeModelTest, GroupsColoursOutlinesAndCulling)
{
    std::vector<CSegment> all = BuildWireframe(model, 400, {});
    // 3 edges red, 4 edges black, nothing of the ignored group, 3 more red.
    ASSERT_EQ(all.size(), 10u);
    for (int i : {0, 1, 2, 7, 8, 9})
        EXPECT_EQ(all[i].red, 255) << i;
    for (int i = 3; i < 7; ++i)
        EXPECT_EQ(all[i].red + all[i].green + all[i].blue, 0) << i;
    // The quad's last edge closes it: corner 3 back to corner 0.
    EXPECT_EQ(all[6].x1, all[3].x0);
    EXPECT_EQ(all[6].y1, all[3].y0);
    EXPECT_EQ(all[0], (CSegment{0, 0, 100, 0, 255, 0, 0}));

    std::vector<CSegment> culled = BuildWireframe(model, 400, {false, true});
    EXPECT_EQ(culled.size(), 7u);  // the face turned away is gone
    EXPECT_TRUE(FacesViewer(*Face(0), 400));
    EXPECT_FALSE(FacesViewer(*Face(3), 400));
}

TEST_F(WireframeModelTest, MissingVertexDropsOnlyItsEdgesAndNormalsAreGreen)
{
    Face(1)->index[2] = 999;
    std::vector<CSegment> segments = BuildWireframe(model, 400, {});
    EXPECT_EQ(segments.size(), 8u);  // the quad keeps the two edges that avoid corner 2

    model.CreateXRef();
    model.CalculateNormals();
    ASSERT_GT(model.m_vertexNormals.GetCount(), 0);
    std::vector<CSegment> withNormals = BuildWireframe(model, 400, {true, false});
    ASSERT_EQ(withNormals.size(), segments.size() + static_cast<size_t>(model.GetVertexCount()));
    const CSegment& normal = withNormals.back();
    EXPECT_EQ(normal.red, 0);
    EXPECT_EQ(normal.green, 255);
    EXPECT_EQ(normal.blue, 0);
}

TEST(WireframeEmptyTest, EmptyModelDrawsNothing)
{
    CModel model;
    EXPECT_TRUE(BuildWireframe(model, 400, {true, true}).empty());
}

}  // namespace
