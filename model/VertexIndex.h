#pragma once

#include <cstdint>
#include <vector>

#include "BlockArray.h"
#include "Vector.h"

// Merge index for CModel::AddVertex. Vertices are spread over 1001 buckets by
// a fixed formula, and only vertices of the same bucket merge. Within a bucket
// the newest equal vertex wins. A spatial grid of cells (wider than twice the
// equality tolerance) finds it without walking the bucket, which after
// unitizing can hold every vertex of a sphere.
class CVertexIndex
{
public:
    static constexpr int kBuckets = 1001;

    CVertexIndex() = default;
    CVertexIndex(const CVertexIndex&) = delete;
    CVertexIndex& operator=(const CVertexIndex&) = delete;

    static int Bucket(const CVector& v);

    // The 0-based index of the newest stored vertex in `bucket` equal to v, or -1.
    int Find(const CVector& v, int bucket, const CBlockArray<CVector>& vertices) const;
    // Records vertex `vertexIndex` (whose coordinates are v). False when memory runs out.
    bool Insert(const CVector& v, int bucket, int vertexIndex);
    // Files every recorded vertex again under the coordinates it has now, after
    // the model moved its vertices in place. Each keeps the bucket it was added
    // with, so a later add merges with it exactly when both the bucket and the
    // present coordinates agree. False when memory runs out; the index is then
    // empty and merges nothing.
    bool Reindex(const CBlockArray<CVector>& vertices);
    bool IsEmpty() const { return m_nodes.empty(); }
    void Clear();

private:
    struct Node
    {
        int32_t vertexIndex;
        int32_t bucket;
        int32_t next;  // older node in the same cell, or -1
    };
    struct Cell
    {
        int64_t x, y, z;
        int32_t head;  // -1 marks an unused slot
    };

    static int64_t CellCoord(float c, double offset);
    size_t Slot(int64_t x, int64_t y, int64_t z) const;
    int32_t* HeadOf(int64_t x, int64_t y, int64_t z);
    const int32_t* FindHead(int64_t x, int64_t y, int64_t z) const;
    bool Grow();

    std::vector<Node> m_nodes;
    std::vector<Cell> m_cells;  // open addressing, size a power of two
    size_t m_used = 0;
};
