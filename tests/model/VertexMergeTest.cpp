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
        if (ref.filed[i] && ref.bucket[i] == bucket && model.m_vertices.GetAt(i)->IsNear(v))
            return i;
    return -1;
}

}  // namespace

TEST(VertexMerge, FollowsTheRuleThroughMovesAndReleases)
{
    std::mt19937 random(1207);
    // The last runs, long and never releasing the index, make it file its
    // recent vertices in its main table several times and grow with them.
    for (int run = 0; run < 33; ++run) {
        const bool longRun = run >= 30;
        const int steps = longRun ? 20000 : 600;
        CQuietModel model;
        model.SetGroup("g", 0, 0);
        CReference ref;
        std::vector<CVector> seen;
        std::uniform_int_distribution<int> pick(0, 99);
        std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
        std::uniform_real_distribution<float> nudge(-1.5e-6f, 1.5e-6f);
        for (int step = 0; step < steps; ++step) {
            const int what = pick(random);
            // Long runs move the model rarely: a move files every vertex again.
            if (longRun ? step % 7000 == 6999 : what < 2) {
                model.Center(false);
                model.Unitize(true, false);
                continue;
            }
            if (what < 3 && !longRun) {
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

// CMeshPoints numbers a mesh's points as AddTriangle would number the corners
// it is handed, while looking each point up only once: the same vertices in
// the same order and the same faces, for meshes whose points repeat exactly,
// lie within the merge distance of one another, or of vertices already in
// the model from an earlier mesh.
TEST(VertexMerge, MeshPointsNumberAsAddTriangleDoes)
{
    std::mt19937 random(608);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    std::uniform_real_distribution<float> nudge(-1.5e-6f, 1.5e-6f);
    for (int run = 0; run < 20; ++run) {
        CQuietModel byPoints, byCorners;
        byPoints.SetGroup("g", 0, 0);
        byCorners.SetGroup("g", 0, 0);
        std::vector<CVector> earlier;
        for (int mesh = 0; mesh < 3; ++mesh) {
            std::vector<CVector> points;
            for (int i = 0; i < 60; ++i) {
                CVector v(coordinate(random), coordinate(random), coordinate(random));
                const std::vector<CVector>& from = random() % 2 || earlier.empty() ? points : earlier;
                if (!from.empty() && random() % 4 != 0) {
                    const CVector& base = from[random() % from.size()];
                    v = random() % 2 ? base : CVector(base.x + nudge(random), base.y + nudge(random), base.z + nudge(random));
                }
                points.push_back(v);
            }
            CMeshPoints numbers(byPoints, points);
            for (int f = 0; f < 150; ++f) {
                const size_t a = random() % points.size(), b = random() % points.size(), c = random() % points.size();
                numbers.AddTriangle(a, b, c);
                byCorners.AddTriangle(points[a], points[b], points[c]);
            }
            earlier.insert(earlier.end(), points.begin(), points.end());
        }
        ASSERT_EQ(byPoints.GetVertexCount(), byCorners.GetVertexCount()) << "run " << run;
        for (int i = 0; i < byPoints.GetVertexCount(); ++i) {
            const CVector &p = *byPoints.m_vertices.GetAt(i), &q = *byCorners.m_vertices.GetAt(i);
            ASSERT_TRUE(p.x == q.x && p.y == q.y && p.z == q.z) << "run " << run << " vertex " << i;
        }
        const CGroup &g = *byPoints.GetGroup(0), &h = *byCorners.GetGroup(0);
        ASSERT_EQ(g.polygons.GetCount(), h.polygons.GetCount()) << "run " << run;
        for (int p = 0; p < g.polygons.GetCount(); ++p)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(g.polygons.GetAt(p)->index[k], h.polygons.GetAt(p)->index[k]) << "run " << run << " face " << p;
    }
}
