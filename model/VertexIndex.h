#pragma once

#include <cstdint>
#include <utility>
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
    void Swap(CVertexIndex& other) noexcept
    {
        m_nodes.swap(other.m_nodes);
        m_heads.swap(other.m_heads);
        m_filter.swap(other.m_filter);
        std::swap(m_filterShift, other.m_filterShift);
        m_recentHeads.swap(other.m_recentHeads);
        std::swap(m_linked, other.m_linked);
    }

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
    // Nodes filed since the table last took them in, at most this many, and
    // the slots of their own table.
    static constexpr size_t kRecentNodes = 4096;
    static constexpr size_t kRecentSlots = 2 * kRecentNodes;

    static int64_t CellCoord(float c, double offset);
    static uint32_t CellHash(int64_t x, int64_t y, int64_t z);
    int32_t& Head(uint32_t cell) { return m_heads[cell & (m_heads.size() - 1)]; }
    // A cell's word of the filter and its two bits there.
    uint64_t& FilterWord(uint32_t cell) { return m_filter[(cell * 0x9E3779B1u) >> m_filterShift]; }
    const uint64_t& FilterWord(uint32_t cell) const { return m_filter[(cell * 0x9E3779B1u) >> m_filterShift]; }
    static uint64_t FilterBits(uint32_t cell) { return uint64_t{1} << (cell & 63) | uint64_t{1} << ((cell >> 6) & 63); }
    bool MayHold(uint32_t cell) const
    {
        const uint64_t bits = FilterBits(cell);
        return (FilterWord(cell) & bits) == bits;
    }
    // Files node n in the table and the filter.
    void Link(size_t n);
    // Files the nodes from first to end, in order, skipping unfiled ones.
    void LinkAll(size_t first, size_t end);
    // Moves the recent nodes into the table.
    void TakeInRecent();
    // The newest match in one chain, newer than best.
    int Walk(int32_t n, uint32_t cell, int bucket, const CVector& v, const CBlockArray<CVector>& vertices,
             int best) const;
    bool Grow();

    std::vector<Node> m_nodes;
    // Chains of nodes by cell hash, newest first; a size of a power of two at
    // least twice the nodes. Cells whose hashes meet share a chain: a lookup
    // compares the cell hash and then the coordinates, so that costs only a
    // step along the chain, and each cell takes four bytes instead of a slot
    // holding its coordinates. Holds the nodes before m_linked.
    std::vector<int32_t> m_heads;
    // Four bits for every slot of m_heads; each cell hash in it sets two bits
    // of one word. Most lookups are of new vertices, whose cells hold
    // nothing: the filter, an eighth of the table's size, answers nearly all
    // of them without reading a slot of the table or a node far off in
    // memory.
    std::vector<uint64_t> m_filter;
    int m_filterShift = 32;
    // The nodes from m_linked on, in a table small enough for the cache.
    // They go into the big one kRecentNodes at a time, in one loop whose
    // cache misses overlap, instead of one miss at a time between lookups.
    std::vector<int32_t> m_recentHeads;
    size_t m_linked = 0;
};
