// A reader's ear-clipping budget: ordinary concave polygons are still cut
// inside their outline, and once a file has spent the budget they are fanned
// instead of taking cubic time.
#include <gtest/gtest.h>

#include <vector>

#include "PolygonSplit.h"

using polygonsplit::CSplitBudget;
using polygonsplit::SplitPolygon;

namespace {

// A U seen from corner 0: the fan from there crosses the notch.
const std::vector<CVector> kNotched = {{0, 0, 0}, {3, 0, 0}, {3, 3, 0}, {2, 3, 0},
                                       {2, 1, 0}, {1, 1, 0}, {1, 3, 0}, {0, 3, 0}};

// Triangles winding against the outline (counter-clockwise seen from +z).
int Backwards(const std::vector<int32_t>& t)
{
    int count = 0;
    for (size_t i = 0; i + 2 < t.size(); i += 3) {
        CVector n = (kNotched[t[i + 1]] - kNotched[t[i]]).Cross(kNotched[t[i + 2]] - kNotched[t[i]]);
        count += n.z < 0;
    }
    return count;
}

}  // namespace

TEST(SplitBudget, ClipsWhileItLastsThenFans)
{
    std::vector<int32_t> triangles;
    CSplitBudget budget;
    for (int i = 0; i < 100; ++i) {
        budget.Earn(kNotched.size());
        SplitPolygon(kNotched.data(), kNotched.size(), triangles, &budget);
        ASSERT_EQ(triangles.size(), 3 * (kNotched.size() - 2));
        EXPECT_EQ(Backwards(triangles), 0);
    }
    EXPECT_GT(budget.Left(), CSplitBudget::kAllowance / 2);

    budget.Spend(budget.Left() + 1);
    SplitPolygon(kNotched.data(), kNotched.size(), triangles, &budget);
    ASSERT_EQ(triangles.size(), 3 * (kNotched.size() - 2));
    EXPECT_GT(Backwards(triangles), 0);  // the fan from corner 0
    EXPECT_EQ(budget.Left(), 0);

    // Earning more than a file could hold neither overflows nor grows without end.
    budget.Earn(static_cast<size_t>(-1));
    budget.Earn(static_cast<size_t>(-1));
    EXPECT_EQ(budget.Left(), 4 * CSplitBudget::kAllowance);
}
