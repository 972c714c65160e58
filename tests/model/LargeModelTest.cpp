// The model's lookups that keep big files linear: groups found by name and
// colour through an index that must follow removals, and vertex merging for
// coordinates far beyond the merge grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "RecordingModel.h"

namespace {
const CVector A(0, 0, 0), B(1, 0, 0), C(0, 1, 0);
}  // namespace

TEST(GroupLookup, FollowsRemovalsAndKeepsTheFirstOfEachName)
{
    CRecordingModel model;
    for (int i = 0; i < 3000; ++i) {  // past a block boundary of the group list
        model.SetGroup(("g" + std::to_string(i)).c_str(), i % 7, 0);
        if (i % 2)
            model.AddTriangle(A, B, CVector(0, 1, static_cast<float>(i)));
    }
    ASSERT_EQ(model.GetGroupCount(), 3000);
    model.SetGroup("g2999", 0, 0);
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(2999));

    model.RemoveEmptyGroups();  // the odd ones stay, moved down
    ASSERT_EQ(model.GetGroupCount(), 1500);
    EXPECT_EQ(model.GetGroup(0)->name, "g1");
    EXPECT_EQ(model.GetGroup(1499)->name, "g2999");
    model.SetGroup("g2999", 0, 0);
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(1499));
    model.SetGroup(nullptr, 3, 0);  // the first group of colour 3 is g3
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(1));
    model.SetGroup("g2", 0, 0);  // removed, so made anew at the end
    EXPECT_EQ(model.GetGroupCount(), 1501);
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(1500));

    // A group renamed in place answers to its new name only.
    model.GetGroup(5)->name = "renamed";
    model.SetGroup("g11", 0, 0);
    EXPECT_EQ(model.GetGroupCount(), 1502);
    model.SetGroup("renamed", 0, 0);
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(5));
    model.Clear(false);
    model.SetGroup("g1", 0, 0);
    EXPECT_EQ(model.GetGroupCount(), 1);
    model.SetGroup(nullptr, 4, 0);
    model.SetGroup("g1", 0, 0);
    EXPECT_EQ(model.m_currentGroup, model.GetGroup(0));
    EXPECT_TRUE(model.errors.empty());
}

TEST(VertexMerging, FarCoordinatesMergeOnlyWithTheSameValue)
{
    CRecordingModel model;
    model.SetGroup(nullptr, 1, 0);
    const float far[] = {6.0e13f, 6.2e13f, 1.0e20f, -1.0e20f, 3.0e38f};
    for (float f : far) {
        int first = model.AddVertex(CVector(f, f, 1), true);
        EXPECT_EQ(model.AddVertex(CVector(f, f, 1), true), first) << f;
        // The next float out is millions of units away: never equal.
        float next = std::nextafter(f, f > 0 ? HUGE_VALF : -HUGE_VALF);
        EXPECT_NE(model.AddVertex(CVector(next, f, 1), true), first) << f;
        EXPECT_NE(model.AddVertex(CVector(f, f, -1), true), first) << f;
    }
    EXPECT_EQ(model.GetVertexCount(), 15);
}

// On a large model the load's end centres and scales on a second thread
// while the cross-reference is built. It must leave everything, status texts
// included, as the steps one after the other do.
TEST(LargeModel, FinishLoadMatchesItsStepsOneAfterTheOther)
{
    auto fill = [](CRecordingModel& model) {
        model.SetGroup("unused", 2, 0);
        model.SetGroup("sheet", 1, 0);
        constexpr int kSide = 300;  // 90,000 vertices: enough for the second thread
        auto at = [](int i, int j) {
            return CVector(100.0f + i * 0.5f, -40.0f + j * 0.25f, 7.0f + 0.001f * static_cast<float>(i * j));
        };
        for (int i = 0; i + 1 < kSide; ++i)
            for (int j = 0; j + 1 < kSide; ++j) {
                model.AddTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                model.AddTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
            }
        model.events.clear();
    };
    CRecordingModel together, apart;
    fill(together);
    fill(apart);
    ASSERT_GE(together.GetVertexCount(), 1 << 16);

    together.FinishLoad();
    apart.RemoveEmptyGroups();
    apart.CreateXRef();
    apart.Center(false);
    apart.Unitize(true, false);
    apart.ResolveNormalOrder();
    apart.CalculateNormals();

    std::vector<std::string> expected = apart.events;
    expected.insert(expected.end(), {"status File Read Finished", "views", "unmodified"});
    EXPECT_EQ(together.events, expected);
    EXPECT_EQ(together.m_scale, apart.m_scale);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(together.m_min[i], apart.m_min[i]);
        EXPECT_EQ(together.m_max[i], apart.m_max[i]);
    }
    ASSERT_EQ(together.GetVertexCount(), apart.GetVertexCount());
    auto identical = [](const CVector& a, const CVector& b) {  // bit for bit, unlike ==
        const float p[] = {a.x, a.y, a.z}, q[] = {b.x, b.y, b.z};
        return std::memcmp(p, q, sizeof p) == 0;
    };
    int differing = 0;
    for (int i = 0; i < together.GetVertexCount(); ++i) {
        const CVector& a = *together.m_vertices.GetAt(i);
        const CVector& b = *apart.m_vertices.GetAt(i);
        const CVector& na = *together.m_vertexNormals.GetAt(i);
        const CVector& nb = *apart.m_vertexNormals.GetAt(i);
        const CVertexRef& ra = *together.m_xref.GetAt(i);
        const CVertexRef& rb = *apart.m_xref.GetAt(i);
        bool same = identical(a, b) && identical(na, nb) && ra.count == rb.count;
        for (int k = 0; same && k < ra.count; ++k)
            same = std::equal(ra.polygons[k]->index, ra.polygons[k]->index + 4, rb.polygons[k]->index);
        differing += same ? 0 : 1;
    }
    EXPECT_EQ(differing, 0);
    // Merging after the load answers as after the steps one after the other.
    for (int i : {0, 4321, together.GetVertexCount() - 1}) {
        const CVector moved = *together.m_vertices.GetAt(i);
        EXPECT_EQ(together.AddVertex(moved, true), apart.AddVertex(moved, true)) << i;
    }
}
