#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

// Pointer array kept in fixed blocks of 2000 entries, so that growing it never
// copies or moves the stored entries. The table of blocks itself grows on
// demand; an Add fails only when memory runs out. The array owns its blocks,
// never the records its entries point to.
template <typename T>
class CBlockArray
{
public:
    static constexpr int kBlockSize = 2000;

    CBlockArray() = default;
    CBlockArray(const CBlockArray&) = delete;
    CBlockArray& operator=(const CBlockArray&) = delete;
    ~CBlockArray() { FreeAll(); }

    int GetCount() const { return m_count; }
    // Exchanges the entries of two arrays; no record moves.
    void Swap(CBlockArray& other) noexcept
    {
        std::swap(m_blocks, other.m_blocks);
        std::swap(m_blockCount, other.m_blockCount);
        std::swap(m_count, other.m_count);
        std::swap(m_firstSize, other.m_firstSize);
    }

    // Returns the new entry's 0-based index, or -1 when memory runs out.
    int Add(T* p)
    {
        if (m_count == kMaxCount)
            return -1;
        int block = m_count / kBlockSize;
        if (block >= m_blockCount) {
            int newCount = m_blockCount ? m_blockCount * 2 : 8;
            T*** grown = static_cast<T***>(std::realloc(m_blocks, sizeof(T**) * newCount));
            if (!grown)
                return -1;
            std::memset(grown + m_blockCount, 0, sizeof(T**) * (newCount - m_blockCount));
            m_blocks = grown;
            m_blockCount = newCount;
        }
        if (block == 0 && m_count == m_firstSize) {
            // The first block starts small and doubles: a model may hold a
            // hundred thousand groups of one face each, and a full block for
            // each group's face list would cost more than the faces.
            int size = m_firstSize ? m_firstSize * 2 : 8;
            size = size < kBlockSize ? size : kBlockSize;
            T** grown = static_cast<T**>(std::realloc(m_blocks[0], sizeof(T*) * size));
            if (!grown)
                return -1;
            m_blocks[0] = grown;
            m_firstSize = size;
        } else if (!m_blocks[block]) {
            m_blocks[block] = static_cast<T**>(std::calloc(kBlockSize, sizeof(T*)));
            if (!m_blocks[block])
                return -1;
        }
        m_blocks[block][m_count % kBlockSize] = p;
        return m_count++;
    }

    T* GetAt(int i) const
    {
        if (i < 0 || i >= m_count)
            return nullptr;
        T** block = m_blocks[i / kBlockSize];
        return block ? block[i % kBlockSize] : nullptr;
    }

    // Calls use(record) for each entry that holds one, in order. The record
    // a few entries on is asked for meanwhile: a large model's records span
    // thousands of pages, and the processor does not read ahead across a
    // page by itself, so a pass would otherwise wait at every page.
    template <typename Use>
    void ForEach(Use&& use) const
    {
        ForEachIn(0, m_count, use);
    }
    // The same over entries [from, to).
    template <typename Use>
    void ForEachIn(int from, int to, Use&& use) const
    {
        constexpr int kAhead = 16;
        from = from > 0 ? from : 0;
        to = to < m_count ? to : m_count;
        while (from < to) {
            const int b = from / kBlockSize, first = b * kBlockSize;
            const int end = to - first < kBlockSize ? to - first : kBlockSize;
            if (T* const* block = m_blocks[b]) {
                for (int i = from - first; i < end; ++i) {
                    if (i + kAhead < end)
                        __builtin_prefetch(block[i + kAhead]);
                    if (T* record = block[i])
                        use(*record);
                }
            }
            from = first + end;
        }
    }

    void SetAt(int i, T* p)
    {
        if (i < 0 || i >= m_count)
            return;
        if (T** block = m_blocks[i / kBlockSize])
            block[i % kBlockSize] = p;
    }

    // Removes n entries from i on; a range running past the end removes only
    // what is there.
    void RemoveAt(int i, int n)
    {
        if (n <= 0 || i < 0 || i >= m_count)
            return;
        if (n > m_count - i)
            n = m_count - i;
        for (int k = i; k + n < m_count; ++k)
            SlotSet(k, GetAt(k + n));
        for (int k = m_count - n; k < m_count; ++k)
            SlotSet(k, nullptr);
        m_count -= n;
    }

    void FreeAll()
    {
        for (int b = 0; b < m_blockCount; ++b)
            std::free(m_blocks[b]);
        std::free(m_blocks);
        m_blocks = nullptr;
        m_blockCount = 0;
        m_count = 0;
        m_firstSize = 0;
    }

private:
    static constexpr int kMaxCount = 0x7fffffff - kBlockSize;

    void SlotSet(int i, T* p)
    {
        if (T** block = m_blocks[i / kBlockSize])
            block[i % kBlockSize] = p;
    }

    T*** m_blocks = nullptr;
    int m_blockCount = 0;
    int m_count = 0;
    int m_firstSize = 0;  // entries the first block has room for
};
