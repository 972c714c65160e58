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
    // Room for `count` vertices, so that filing them never regrows the
    // index; only a hint, ignored when memory is short.
    void Reserve(size_t count);
    void Clear();

private:
    struct Node
    {
        int32_t vertexIndex;
        int32_t bucket;
        int32_t next;   // older node in the same chain, or -1
        uint32_t cell;  // hash of the node's cell, so a chain's other cells cost no vertex fetch
    };

    // The next of a node that is in no chain: its vertex turned non-finite.
    static constexpr int32_t kUnfiled = -2;

    static int64_t CellCoord(float c, double offset);
    static uint32_t CellHash(int64_t x, int64_t y, int64_t z);
    int32_t& Head(uint32_t cell) { return m_heads[cell & (m_heads.size() - 1)]; }
    bool Grow();

    std::vector<Node> m_nodes;
    // Chains of nodes by cell hash, newest first; a size of a power of two at
    // least twice the nodes. Cells whose hashes meet share a chain: a lookup
    // compares the cell hash and then the coordinates, so that costs only a
    // step along the chain, and each cell takes four bytes instead of a slot
    // holding its coordinates.
    std::vector<int32_t> m_heads;
};
