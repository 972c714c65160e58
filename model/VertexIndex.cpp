#include "VertexIndex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace {
// 1/65536 is exact in binary and far wider than the 2e-6 window searched
// around a vertex, so a lookup touches one cell on most axes, two at most.
constexpr double kCellsPerUnit = 65536.0;
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

size_t CVertexIndex::Slot(int64_t x, int64_t y, int64_t z) const
{
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
    h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull + (h >> 32);
    h ^= h >> 31;
    return static_cast<size_t>(h) & (m_cells.size() - 1);
}

const int32_t* CVertexIndex::FindHead(int64_t x, int64_t y, int64_t z) const
{
    if (m_cells.empty())
        return nullptr;
    for (size_t i = Slot(x, y, z);; i = (i + 1) & (m_cells.size() - 1)) {
        const Cell& cell = m_cells[i];
        if (cell.head < 0)
            return nullptr;
        if (cell.x == x && cell.y == y && cell.z == z)
            return &cell.head;
    }
}

int32_t* CVertexIndex::HeadOf(int64_t x, int64_t y, int64_t z)
{
    if ((m_used + 1) * 2 > m_cells.size() && !Grow())
        return nullptr;
    for (size_t i = Slot(x, y, z);; i = (i + 1) & (m_cells.size() - 1)) {
        Cell& cell = m_cells[i];
        if (cell.head < 0) {
            cell = {x, y, z, -1};
            ++m_used;
            return &cell.head;
        }
        if (cell.x == x && cell.y == y && cell.z == z)
            return &cell.head;
    }
}

bool CVertexIndex::Grow()
{
    std::vector<Cell> old;
    try {
        std::vector<Cell> cells(m_cells.empty() ? 1024 : m_cells.size() * 2, Cell{0, 0, 0, -1});
        old.swap(m_cells);
        m_cells.swap(cells);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (const Cell& cell : old) {
        if (cell.head < 0)
            continue;
        size_t i = Slot(cell.x, cell.y, cell.z);
        while (m_cells[i].head >= 0)
            i = (i + 1) & (m_cells.size() - 1);
        m_cells[i] = cell;
    }
    return true;
}

int CVertexIndex::Find(const CVector& v, int bucket, const CBlockArray<CVector>& vertices) const
{
    if (m_cells.empty() || !Finite(v))
        return -1;
    int64_t lo[3] = {CellCoord(v.x, -kWindow), CellCoord(v.y, -kWindow), CellCoord(v.z, -kWindow)};
    int64_t hi[3] = {CellCoord(v.x, kWindow), CellCoord(v.y, kWindow), CellCoord(v.z, kWindow)};
    int best = -1;
    for (int64_t x = lo[0]; x <= hi[0]; ++x)
        for (int64_t y = lo[1]; y <= hi[1]; ++y)
            for (int64_t z = lo[2]; z <= hi[2]; ++z) {
                const int32_t* head = FindHead(x, y, z);
                // Nodes of a cell run newest first: the first match is the
                // cell's newest, and only a newer one elsewhere can beat it.
                for (int32_t n = head ? *head : -1; n >= 0 && m_nodes[n].vertexIndex > best;
                     n = m_nodes[n].next) {
                    const Node& node = m_nodes[n];
                    if (node.bucket != bucket)
                        continue;
                    const CVector* stored = vertices.GetAt(node.vertexIndex);
                    if (stored && *stored == v) {
                        best = node.vertexIndex;
                        break;
                    }
                }
            }
    return best;
}

bool CVertexIndex::Insert(const CVector& v, int bucket, int vertexIndex)
{
    // Non-finite coordinates never compare equal, so there is nothing to find.
    if (!Finite(v))
        return true;
    int32_t* head = HeadOf(CellCoord(v.x, 0.0), CellCoord(v.y, 0.0), CellCoord(v.z, 0.0));
    if (!head)
        return false;
    try {
        m_nodes.push_back({vertexIndex, bucket, *head});
    } catch (const std::bad_alloc&) {
        return false;
    }
    *head = static_cast<int32_t>(m_nodes.size() - 1);
    return true;
}

bool CVertexIndex::Reindex(const CBlockArray<CVector>& vertices)
{
    if (m_nodes.empty())
        return true;
    std::fill(m_cells.begin(), m_cells.end(), Cell{0, 0, 0, -1});
    m_used = 0;
    // Nodes were recorded in vertex order, so filing them again in that order
    // keeps every cell's list newest first.
    for (size_t n = 0; n < m_nodes.size(); ++n) {
        Node& node = m_nodes[n];
        node.next = -1;
        const CVector* v = vertices.GetAt(node.vertexIndex);
        if (!v || !Finite(*v))
            continue;
        int32_t* head = HeadOf(CellCoord(v->x, 0.0), CellCoord(v->y, 0.0), CellCoord(v->z, 0.0));
        if (!head) {
            Clear();
            return false;
        }
        node.next = *head;
        *head = static_cast<int32_t>(n);
    }
    return true;
}

void CVertexIndex::Clear()
{
    std::vector<Node>().swap(m_nodes);
    std::vector<Cell>().swap(m_cells);
    m_used = 0;
}
