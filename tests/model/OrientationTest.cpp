#include <gtest/gtest.h>

#include "Model.h"
#include "RecordingModel.h"

namespace {

// A box around `centre`, wound counter-clockwise seen from outside unless
// `clockwise`, without its first `missing` triangles.
void AddBox(CModel& model, CVector centre, bool clockwise, int missing = 0)
{
    const CVector p[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                          {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    for (int t = missing; t < 12; ++t) {
        const int* f = faces[t / 2];
        CVector a = p[f[0]] + centre, b = p[f[1 + t % 2]] + centre, c = p[f[2 + t % 2]] + centre;
        clockwise ? model.AddTriangle(a, c, b) : model.AddTriangle(a, b, c);
    }
}

// A bumpy height field, open on every side.
void AddTerrain(CModel& model, bool clockwise)
{
    auto at = [](int i, int j) { return CVector(i, j, static_cast<float>((i * 7 + j * 3) % 5) * 0.2f); };
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
            clockwise ? AddQuad(model, at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j))
                      : AddQuad(model, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
}

}  // namespace

TEST(Orientation, EachLoadChoosesTheOrderThatTurnsNormalsOutward)
{
    struct Case {
        const char* name;
        void (*build)(CModel&);
        int setting;
        int order;  // in force after the load
    };
    const Case cases[] = {
        {"counter-clockwise box", [](CModel& m) { AddBox(m, {}, false); }, kNormalOrderAuto, 0},
        {"clockwise box", [](CModel& m) { AddBox(m, {}, true); }, kNormalOrderAuto, 1},
        {"clockwise box, one triangle gone", [](CModel& m) { AddBox(m, {}, true, 1); }, kNormalOrderAuto, 1},
        // Without a wall a box is a room seen from inside: no clear outside.
        {"clockwise box, one wall gone", [](CModel& m) { AddBox(m, {}, true, 2); }, kNormalOrderAuto, 0},
        {"clockwise terrain", [](CModel& m) { AddTerrain(m, true); }, kNormalOrderAuto, 0},
        {"counter-clockwise terrain", [](CModel& m) { AddTerrain(m, false); }, kNormalOrderAuto, 0},
        {"single triangle", [](CModel& m) { m.AddTriangle({0, 0, 0}, {0, 1, 0}, {1, 0, 0}); }, kNormalOrderAuto, 0},
        {"boxes wound both ways",
         [](CModel& m) {
             AddBox(m, {-3, 0, 0}, false);
             AddBox(m, {3, 0, 0}, true);
         },
         kNormalOrderAuto, 0},
        // The user's choice wins.
        {"clockwise box, reverse order", [](CModel& m) { AddBox(m, {}, true); }, 0, 0},
        {"counter-clockwise box, file order", [](CModel& m) { AddBox(m, {}, false); }, 1, 1},
    };
    for (const Case& c : cases) {
        CRecordingModel model;
        model.m_normalOrder = 1 - c.order;  // whatever an earlier load left
        model.m_normalOrderSetting = c.setting;
        model.SetGroup("g", 96, 5);
        c.build(model);
        model.FinishLoad();
        EXPECT_EQ(model.m_normalOrder, c.order) << c.name;
        // Mirroring turns the winding around; the order follows, so normals stay where they were.
        const float before = model.GetGroup(0)->polygons.GetAt(0)->normal.z;
        model.MirrorX(false);
        EXPECT_EQ(model.m_normalOrder, 1 - c.order) << c.name;
        EXPECT_EQ(model.GetGroup(0)->polygons.GetAt(0)->normal.z, before) << c.name;
    }
    // An ignored group has no say.
    CModel model;
    model.SetGroup("hidden", 1, 0);
    AddBox(model, {}, false);
    model.m_currentGroup->active = 0;
    model.SetGroup("shown", 2, 0);
    AddBox(model, {9, 0, 0}, true);
    EXPECT_EQ(model.FindOutwardNormalOrder(), 1);
}

TEST(Orientation, TurnZUpIsAnExactQuarterTurn)
{
    CRecordingModel model;
    model.SetGroup("g", 96, 5);
    model.AddTriangle({1, 2, 3}, {-4, 5, 0}, {0.5f, -0.25f, 7});
    model.CreateXRef();
    model.TurnZUp(true);
    const float expected[3][3] = {{0.5f, 7, 0.25f}, {-4, 0, -5}, {1, 3, -2}};
    for (int i = 0; i < 3; ++i) {
        const CVector& v = *model.m_vertices.GetAt(i);
        EXPECT_TRUE(v.x == expected[i][0] && v.y == expected[i][1] && v.z == expected[i][2]) << i;
    }
    EXPECT_EQ(model.m_normalsValid, 1);
    EXPECT_EQ(model.viewUpdates, 1);
}
