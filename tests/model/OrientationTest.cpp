#include <gtest/gtest.h>

#include "Model.h"
#include "RecordingModel.h"

namespace {

// A box of half-size h around `centre`, wound counter-clockwise seen from
// outside unless `clockwise`; the first `missing` of its twelve triangles are
// left out.
void AddBox(CModel& model, CVector centre, float h, bool clockwise, int missing = 0)
{
    const CVector p[8] = {{-h, -h, -h}, {h, -h, -h}, {h, h, -h}, {-h, h, -h},
                          {-h, -h, h},  {h, -h, h},  {h, h, h},  {-h, h, h}};
    const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    int triangle = 0;
    for (const auto& f : faces) {
        for (int half = 0; half < 2; ++half, ++triangle) {
            if (triangle < missing)
                continue;
            CVector a = p[f[0]] + centre, b = p[f[1 + half]] + centre, c = p[f[2 + half]] + centre;
            if (clockwise)
                model.AddTriangle(a, c, b);
            else
                model.AddTriangle(a, b, c);
        }
    }
}

// A bumpy height field over a square, open on every side.
void AddTerrain(CModel& model, bool clockwise)
{
    auto height = [](int i, int j) { return static_cast<float>((i * 7 + j * 3) % 5) * 0.2f; };
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) {
            CVector a(i, j, height(i, j)), b(i + 1, j, height(i + 1, j)), c(i + 1, j + 1, height(i + 1, j + 1)),
                d(i, j + 1, height(i, j + 1));
            if (clockwise)
                model.AddQuad(a, d, c, b);
            else
                model.AddQuad(a, b, c, d);
        }
}

// How many face normals point towards the centre of the box they belong to.
int InwardFaces(const CModel& model, CVector centre = {})
{
    int inward = 0;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            CVector middle = (*polygon->GetVertex(0) + *polygon->GetVertex(1) + *polygon->GetVertex(2)) / 3.0f;
            if (polygon->normal.Dot(middle - centre) <= 0.0f)
                ++inward;
        }
    }
    return inward;
}

}  // namespace

TEST(Orientation, LoadChoosesTheOrderThatTurnsNormalsOutward)
{
    struct Case {
        const char* name;
        void (*build)(CModel&);
        int setting;
        int order;     // in force after the load
        bool outward;  // every face normal of the box points away from its centre
    };
    const Case cases[] = {
        {"counter-clockwise box", [](CModel& m) { AddBox(m, {}, 1, false); }, kNormalOrderAuto, 0, true},
        {"clockwise box", [](CModel& m) { AddBox(m, {}, 1, true); }, kNormalOrderAuto, 1, true},
        // One triangle gone still leaves the volume clear.
        {"clockwise box with a hole", [](CModel& m) { AddBox(m, {}, 1, true, 1); }, kNormalOrderAuto, 1, true},
        // A box without its front wall is a room seen from inside: no
        // clear outside, so the common convention holds.
        {"clockwise open box", [](CModel& m) { AddBox(m, {}, 1, true, 2); }, kNormalOrderAuto, 0, false},
        // The user's choice wins even when it turns the normals inward.
        {"clockwise box, file order", [](CModel& m) { AddBox(m, {}, 1, true); }, 1, 1, true},
        {"clockwise box, reverse order", [](CModel& m) { AddBox(m, {}, 1, true); }, 0, 0, false},
        {"counter-clockwise box, file order", [](CModel& m) { AddBox(m, {}, 1, false); }, 1, 1, false},
    };
    for (const Case& c : cases) {
        CRecordingModel model;
        model.m_normalOrderSetting = c.setting;
        model.SetGroup("g", 96, 5);
        c.build(model);
        model.FinishLoad();
        EXPECT_EQ(model.m_normalOrder, c.order) << c.name;
        EXPECT_EQ(model.m_normalOrderSetting, c.setting) << c.name;
        int inward = InwardFaces(model);
        if (c.outward)
            EXPECT_EQ(inward, 0) << c.name;
        else
            EXPECT_GT(inward, 0) << c.name;
    }
}

TEST(Orientation, ModelsWithoutAClearInsideFallBackToCounterClockwise)
{
    struct Case {
        const char* name;
        void (*build)(CModel&);
    };
    const Case cases[] = {
        {"terrain wound clockwise", [](CModel& m) { AddTerrain(m, true); }},
        {"terrain wound counter-clockwise", [](CModel& m) { AddTerrain(m, false); }},
        {"single triangle", [](CModel& m) { m.AddTriangle({0, 0, 0}, {0, 1, 0}, {1, 0, 0}); }},
        // Two equal boxes wound opposite ways cancel out.
        {"boxes wound both ways",
         [](CModel& m) {
             AddBox(m, {-3, 0, 0}, 1, false);
             AddBox(m, {3, 0, 0}, 1, true);
         }},
        // A flat sheet with faces on both sides encloses nothing.
        {"two-sided square",
         [](CModel& m) {
             m.AddQuad({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0});
             m.AddQuad({0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0});
         }},
    };
    for (const Case& c : cases) {
        CRecordingModel model;
        model.m_normalOrder = 1;  // what an earlier load may have left
        model.SetGroup("g", 96, 5);
        c.build(model);
        model.FinishLoad();
        EXPECT_EQ(model.FindOutwardNormalOrder(), -1) << c.name;
        EXPECT_EQ(model.m_normalOrder, 0) << c.name;
    }
    // An ignored group has no say: only the active, clockwise box counts.
    CRecordingModel model;
    model.SetGroup("hidden", 1, 0);
    AddBox(model, {0, 0, 0}, 3, false);
    model.m_currentGroup->active = 0;
    model.SetGroup("shown", 2, 0);
    AddBox(model, {10, 0, 0}, 1, true);
    EXPECT_EQ(model.FindOutwardNormalOrder(), 1);
}

TEST(Orientation, MirroringAndTurningKeepNormalsOutward)
{
    for (bool clockwise : {false, true}) {
        CRecordingModel model;
        model.SetGroup("g", 96, 5);
        AddBox(model, {0.5f, 0, 0}, 1, clockwise);
        model.FinishLoad();
        model.MirrorX(false);
        EXPECT_EQ(InwardFaces(model), 0) << clockwise;
        model.MirrorZ(false);
        model.TurnZUp(false);
        EXPECT_EQ(InwardFaces(model), 0) << clockwise;
        EXPECT_EQ(model.m_normalOrder, clockwise ? 1 : 0);
    }

    CRecordingModel model;
    model.SetGroup("g", 96, 5);
    model.AddTriangle({1, 2, 3}, {-4, 5, 0}, {0.5f, -0.25f, 7});
    model.CreateXRef();
    model.TurnZUp(true);
    // Exact: no trace of the old axes, as a rotation by 90 degrees would leave.
    const CVector expected[3] = {{0.5f, 7, 0.25f}, {-4, 0, -5}, {1, 3, -2}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(model.m_vertices.GetAt(i)->x, expected[i].x);
        EXPECT_EQ(model.m_vertices.GetAt(i)->y, expected[i].y);
        EXPECT_EQ(model.m_vertices.GetAt(i)->z, expected[i].z);
    }
    EXPECT_TRUE(model.HasStatus("Rotating Object 90.00 Degrees on the X Axis"));
    EXPECT_EQ(model.viewUpdates, 1);
    EXPECT_EQ(model.waitDepth, 0);
    EXPECT_EQ(model.m_normalsValid, 1);
}
