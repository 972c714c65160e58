#pragma once

#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

// Allocates trivially destructible records in chunks; records never move and
// are released all at once, which is how the model drops its geometry.
template <typename T, int ChunkSize = 4096>
class CPool
{
    static_assert(std::is_trivially_destructible_v<T>, "pool records are released without destructors");

public:
    CPool() = default;
    CPool(const CPool&) = delete;
    CPool& operator=(const CPool&) = delete;
    ~CPool() { FreeAll(); }

    // Exchanges the records of two pools; none moves.
    void Swap(CPool& other) noexcept
    {
        std::swap(m_head, other.m_head);
        std::swap(m_used, other.m_used);
    }

    // A default-constructed record, or null when memory runs out.
    T* New()
    {
        if (!m_head || m_used == ChunkSize) {
            Chunk* chunk = static_cast<Chunk*>(std::malloc(sizeof(Chunk)));
            if (!chunk)
                return nullptr;
            chunk->next = m_head;
            m_head = chunk;
            m_used = 0;
        }
        T* slot = reinterpret_cast<T*>(m_head->storage) + m_used++;
        return new (slot) T();
    }

    void FreeAll()
    {
        while (m_head) {
            Chunk* next = m_head->next;
            std::free(m_head);
            m_head = next;
        }
        m_used = 0;
    }

private:
    struct Chunk
    {
        Chunk* next;
        alignas(T) unsigned char storage[sizeof(T) * ChunkSize];
    };
    Chunk* m_head = nullptr;
    int m_used = 0;
};
