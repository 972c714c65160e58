// The model's lookups that keep big files linear: groups found by name and
// colour through an index that must follow removals, and vertex merging for
// coordinates far beyond the merge grid.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

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
