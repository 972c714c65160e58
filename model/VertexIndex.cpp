#include "VertexIndex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace {
// 1/16384 is exact in binary and thirty times the 2e-6 window searched around
// a vertex, so a lookup touches one cell on most axes, two at most: the
// narrower the cells, the more lookups straddle two of them. Vertices closer
// together than a cell share it and are told apart by their coordinates.
constexpr double kCellsPerUnit = 16384.0;
constexpr double kWindow = 2e-6;
constexpr double kCellLimit = 4.0e18;
// A float no larger than the coordinate at which the cells reach the limit.
constexpr float kCellLimitValue = 6.0e13f;

bool Finite(const CVector& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
}  // namespace

int CVertexIndex::Bucket(const CVector& v)
{
    double x = v.x * 12.3, y = v.y * 23.4, z = v.z * 34.5;
    double h = std::sqrt(x * x + y * y + z * z) * 9.87;
    if (!std::isfinite(h))
        return 0;
    // The remainder of the integer part, in integers where it fits: the
    // same value as fmod of the truncated double, at a fraction of the cost.
    if (h < 0x1p63)
        return static_cast<int>(static_cast<uint64_t>(h) % kBuckets);
    return static_cast<int>(std::fmod(std::trunc(h), static_cast<double>(kBuckets)));
}

int64_t CVertexIndex::CellCoord(float c, double offset)
{
    double t = (static_cast<double>(c) + offset) * kCellsPerUnit;
    if (t > kCellLimit || t < -kCellLimit) {
        // Out here neighbouring floats lie millions of units apart, so only
        // the very same value can be equal. Each value gets a cell of its own
        // past the limit: cutting them all off into one cell would make every
        // lookup walk every far vertex, quadratic in a file of huge numbers.
        float magnitude = std::fabs(c);
        uint32_t bits, limitBits;
        std::memcpy(&bits, &magnitude, sizeof bits);
        std::memcpy(&limitBits, &kCellLimitValue, sizeof limitBits);
        int64_t beyond = static_cast<int64_t>(kCellLimit) + 1 + (bits > limitBits ? bits - limitBits : 0);
        return c < 0 ? -beyond : beyond;
    }
    // floor() by truncation and a step down for negative fractions: the
    // library call costs more than the rest of a lookup.
    int64_t cell = static_cast<int64_t>(t);
    return static_cast<double>(cell) > t ? cell - 1 : cell;
}

uint32_t CVertexIndex::CellHash(int64_t x, int64_t y, int64_t z)
{
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
    h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull + (h >> 32);
    h ^= h >> 31;
    return static_cast<uint32_t>(h);
}

void CVertexIndex::Reserve(size_t count)
{
    if (count > (size_t{1} << 28))
        return;
    try {
        m_nodes.reserve(count);
    } catch (const std::bad_alloc&) {
        return;
    }
    while (m_heads.size() < count * 2)
        if (!Grow())
            return;
}

void CVertexIndex::Link(size_t n)
{
    Node& node = m_nodes[n];
    int32_t& head = Head(node.cell);
    node.next = head;
    head = static_cast<int32_t>(n);
    FilterWord(node.cell) |= FilterBits(node.cell);
}

void CVertexIndex::LinkAll(size_t first, size_t end)
{
    // The slots and filter words of nodes further on are asked for ahead: in
    // a large model each is a cache miss, and these overlap.
    constexpr size_t kAhead = 32;
    for (size_t n = first; n < end; ++n) {
        if (n + kAhead < end) {
            const uint32_t cell = m_nodes[n + kAhead].cell;
            __builtin_prefetch(&Head(cell), 1);
            __builtin_prefetch(&FilterWord(cell), 1);
        }
        if (m_nodes[n].next != kUnfiled)
            Link(n);
    }
}

void CVertexIndex::TakeInRecent()
{
    // In node order, so that every chain stays newest first.
    LinkAll(m_linked, m_nodes.size());
    m_linked = m_nodes.size();
    std::fill(m_recentHeads.begin(), m_recentHeads.end(), -1);
}

bool CVertexIndex::Grow()
{
    const size_t slots = m_heads.empty() ? 1024 : m_heads.size() * 2;
    std::vector<int32_t> heads;
    std::vector<uint64_t> filter;
    try {
        heads.assign(slots, -1);
        filter.assign(slots / 16, 0);
        if (m_recentHeads.empty())
            m_recentHeads.assign(kRecentSlots, -1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_heads.swap(heads);
    m_filter.swap(filter);
    m_filterShift = 32;
    for (size_t words = m_filter.size(); words > 1; words /= 2)
        --m_filterShift;
    // Nodes were recorded in vertex order, so filing them again in that order
    // keeps every chain newest first. The recent ones stay where they are.
    LinkAll(0, m_linked);
    return true;
}

int CVertexIndex::Walk(int32_t n, uint32_t cell, int bucket, const CVector& v,
                       const CBlockArray<CVector>& vertices, int best) const
{
    // Chains run newest first: the first match is the newest in this cell,
    // and only a newer one elsewhere can beat it.
    for (; n >= 0 && m_nodes[n].vertexIndex > best; n = m_nodes[n].next) {
        const Node& node = m_nodes[n];
        if (node.cell != cell || node.bucket != bucket)
            continue;
        const CVector* stored = vertices.GetAt(node.vertexIndex);
        if (stored && stored->IsNear(v))
            return node.vertexIndex;
    }
    return best;
}

int CVertexIndex::Find(const CVector& v, int bucket, const CBlockArray<CVector>& vertices) const
{
    if (m_heads.empty() || !Finite(v))
        return -1;
    int64_t lo[3] = {CellCoord(v.x, -kWindow), CellCoord(v.y, -kWindow), CellCoord(v.z, -kWindow)};
    int64_t hi[3] = {CellCoord(v.x, kWindow), CellCoord(v.y, kWindow), CellCoord(v.z, kWindow)};
    uint32_t cells[8];
    int count = 0;
    for (int64_t x = lo[0]; x <= hi[0]; ++x)
        for (int64_t y = lo[1]; y <= hi[1]; ++y)
            for (int64_t z = lo[2]; z <= hi[2]; ++z)
                cells[count++] = CellHash(x, y, z);
    // Every recent node is newer than every node in the table, so a recent
    // match ends the search.
    int best = -1;
    for (int i = 0; i < count; ++i)
        best = Walk(m_recentHeads[cells[i] & (kRecentSlots - 1)], cells[i], bucket, v, vertices, best);
    if (best >= 0)
        return best;
    for (int i = 0; i < count; ++i)
        if (MayHold(cells[i]))
            best = Walk(m_heads[cells[i] & (m_heads.size() - 1)], cells[i], bucket, v, vertices, best);
    return best;
}

bool CVertexIndex::Insert(const CVector& v, int bucket, int vertexIndex)
{
    // Non-finite coordinates never compare equal, so there is nothing to find.
    if (!Finite(v))
        return true;
    if ((m_nodes.size() + 1) * 2 > m_heads.size() && !Grow())
        return false;
    if (m_nodes.size() - m_linked >= kRecentNodes)
        TakeInRecent();
    const uint32_t cell = CellHash(CellCoord(v.x, 0.0), CellCoord(v.y, 0.0), CellCoord(v.z, 0.0));
    int32_t& head = m_recentHeads[cell & (kRecentSlots - 1)];
    try {
        m_nodes.push_back({vertexIndex, bucket, head, cell});
    } catch (const std::bad_alloc&) {
        return false;
    }
    head = static_cast<int32_t>(m_nodes.size() - 1);
    return true;
}

bool CVertexIndex::Reindex(const CBlockArray<CVector>& vertices)
{
    if (m_nodes.empty())
        return true;
    std::fill(m_heads.begin(), m_heads.end(), -1);
    std::fill(m_filter.begin(), m_filter.end(), 0);
    std::fill(m_recentHeads.begin(), m_recentHeads.end(), -1);
    // Nodes were recorded in vertex order, so filing them again in that order
    // keeps every chain newest first. All of them go into the table.
    for (size_t n = 0; n < m_nodes.size(); ++n) {
        Node& node = m_nodes[n];
        const CVector* v = vertices.GetAt(node.vertexIndex);
        if (!v || !Finite(*v)) {
            node.next = kUnfiled;
            continue;
        }
        node.cell = CellHash(CellCoord(v->x, 0.0), CellCoord(v->y, 0.0), CellCoord(v->z, 0.0));
        Link(n);
    }
    m_linked = m_nodes.size();
    return true;
}

void CVertexIndex::Clear()
{
    std::vector<Node>().swap(m_nodes);
    std::vector<int32_t>().swap(m_heads);
    std::vector<uint64_t>().swap(m_filter);
    std::vector<int32_t>().swap(m_recentHeads);
    m_linked = 0;
    m_filterShift = 32;
}
