#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Model.h"

// AddVertex merging against a plain restatement of its rule: a merging add
// returns the newest vertex that is still in the index, lies in the same
// bucket (the bucket of the coordinates it was added with) and equals the new
// coordinates where the vertices are now; otherwise the vertex is new. Random
// runs mix merging and plain adds of nearly equal points with the moves of the
// load epilogue and the release of the index, which is where a faster index
// (cells, deferred filing) could drift from the rule.

namespace {

class CQuietModel : public CModel
{
public:
    void ShowStatus(const char*) override {}
};

struct CReference
{
    std::vector<int> bucket;   // per vertex, from its coordinates when added
    std::vector<bool> filed;   // still in the index
};

int ReferenceFind(const CModel& model, const CReference& ref, const CVector& v)
{
    const int bucket = CVertexIndex::Bucket(v);
    for (int i = model.GetVertexCount() - 1; i >= 0; --i)
        if (ref.filed[i] && ref.bucket[i] == bucket && *model.m_vertices.GetAt(i) == v)
            return i;
    return -1;
}

}  // namespace

TEST(VertexMerge, FollowsTheRuleThroughMovesAndReleases)
{
    std::mt19937 random(1207);
    for (int run = 0; run < 30; ++run) {
        CQuietModel model;
        model.SetGroup("g", 0, 0);
        CReference ref;
        std::vector<CVector> seen;
        std::uniform_int_distribution<int> pick(0, 99);
        std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
        std::uniform_real_distribution<float> nudge(-1.5e-6f, 1.5e-6f);
        for (int step = 0; step < 600; ++step) {
            const int what = pick(random);
            if (what < 2) {
                model.Center(false);
                model.Unitize(true, false);
                continue;
            }
            if (what < 3) {
                model.ClearVertexHash();
                ref.filed.assign(ref.filed.size(), false);
                continue;
            }
            // Mostly points near earlier ones (where they are now), some new.
            CVector v(coordinate(random), coordinate(random), coordinate(random));
            if (!seen.empty() && what < 80) {
                const CVector* base = model.m_vertices.GetAt(static_cast<int>(random() % model.GetVertexCount()));
                v = what < 40 ? *base : CVector(base->x + nudge(random), base->y + nudge(random), base->z + nudge(random));
            }
            const bool merge = what % 3 != 0;
            const int expected = merge ? ReferenceFind(model, ref, v) : -1;
            const int got = model.AddVertex(v, merge);
            if (expected >= 0) {
                ASSERT_EQ(expected, got) << "run " << run << " step " << step;
            } else {
                ASSERT_EQ(static_cast<int>(ref.bucket.size()), got) << "run " << run << " step " << step;
                ref.bucket.push_back(CVertexIndex::Bucket(v));
                ref.filed.push_back(true);
                seen.push_back(v);
            }
        }
    }
}
