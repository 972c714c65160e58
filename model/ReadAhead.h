#pragma once

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

// The processors this process may run on (its affinity, which taskset and
// container cpusets narrow), at least 1: a second thread on a process held to
// one processor only takes turns with the first. The machine's count
// (hardware_concurrency) would overcount a process held to fewer.
inline unsigned UsableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

// Whether a pipeline may start its second thread: the caller allows it (a
// batch that keeps every processor busy with a file each does not, see
// CModel::MayUseHelperThread) and there is a processor for it.
inline bool HelperThreadPays(bool allowed)
{
    return allowed && UsableProcessors() > 1;
}

// Where one thread waits for another to change what they share (atomics
// that the waiter's `ready` reads) and is woken when it has. A thread that
// has gone to sleep takes long to wake on a virtual machine, longer than a
// batch takes to fill; so the other side is waited for awake first, and
// asleep only after that. The awake wait gives the processor up every few
// microseconds: where both threads share one core (a process held to one
// processor), the other gets on only while this one yields, and a wait
// without yielding made reading five times slower there.
class CHandOver
{
public:
    template <typename Ready>
    void Await(Ready ready)
    {
        for (int spin = 1; spin <= 20480; ++spin) {
            if (ready())
                return;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
            if (spin % 256 == 0)
                std::this_thread::yield();
        }
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, ready);
    }

    // After a change the other side may be waiting for.
    void Wake()
    {
        // Taking the lock orders this after a sleeper's last look.
        { std::lock_guard<std::mutex> lock(m_lock); }
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
};

// Reading done ahead on a second thread: the thread fills batches in order
// while the caller builds the model from the ones before. Parsing text is
// half the work of loading a large file, and the two halves overlap.
//
// `fill(batch)` empties and fills one batch and says whether more may
// follow; it runs on the thread and must touch nothing the caller uses
// meanwhile. An exception it throws (running out of memory) ends the
// batches: what the batch held by then is handed out, and the exception
// reaches the caller where the next batch would have, as if it had read
// in step. Where no thread can be started the batches are filled by Next
// itself, in the same order; so they are where `threadAllowed` is false or
// the process has one processor. Either way an empty batch is filled again,
// not handed out.
// Batch needs `bool Empty() const`.
template <typename Batch>
class CReadAhead
{
public:
    CReadAhead(std::function<bool(Batch&)> fill, bool threadAllowed)
        : m_fill(std::move(fill)), m_threadAllowed(threadAllowed)
    {
    }
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;
    ~CReadAhead()
    {
        if (!m_thread.joinable())
            return;
        m_stop.store(true);
        m_handOver.Wake();
        m_thread.join();
    }

    // The next batch, which stays as it is until Next is called again (that
    // call hands it back to be filled); null once the batches have ended.
    const Batch* Next()
    {
        if (m_ended)
            return nullptr;
        if (!m_started) {
            m_started = true;
            // With one processor the thread would only take turns with this
            // one, and the batches are filled here instead; so they are too
            // where no thread can be started.
            if (HelperThreadPays(m_threadAllowed)) {
                try {
                    m_thread = std::thread([this] { Run(); });
                } catch (const std::system_error&) {
                }
            }
        }
        if (!m_thread.joinable()) {
            Batch& batch = m_batches[0].batch;
            while (!m_fillEnded) {
                try {
                    m_fillEnded = !m_fill(batch);
                } catch (...) {
                    m_failure = std::current_exception();
                    m_fillEnded = true;
                }
                if (!batch.Empty())
                    return &batch;
            }
            m_ended = true;
            if (m_failure)
                std::rethrow_exception(m_failure);
            return nullptr;
        }
        if (m_taken > 0) {
            m_released.store(m_taken);
            m_handOver.Wake();
        }
        m_handOver.Await([this] { return m_filled.load() > m_taken || m_done.load(); });
        // The thread counts a batch as filled before it says it is done.
        if (m_filled.load() == m_taken) {
            m_ended = true;
            if (m_failure)
                std::rethrow_exception(m_failure);
            return nullptr;
        }
        return &m_batches[m_taken++ % kBatches].batch;
    }

private:
    static constexpr unsigned kBatches = 4;

    void Run()
    {
        unsigned filled = 0;
        for (;;) {
            m_handOver.Await([this, filled] { return filled - m_released.load() < kBatches || m_stop.load(); });
            if (m_stop.load())
                return;
            Batch& batch = m_batches[filled % kBatches].batch;
            bool more = false;
            try {
                more = m_fill(batch);
            } catch (...) {
                m_failure = std::current_exception();
            }
            if (!batch.Empty())
                m_filled.store(++filled);
            if (!more)
                break;
            m_handOver.Wake();
        }
        m_done.store(true);
        m_handOver.Wake();
    }

    // Each batch on cache lines of its own, as the thread fills one while
    // the caller reads another.
    struct alignas(64) CSlot
    {
        Batch batch;
    };

    std::function<bool(Batch&)> m_fill;
    const bool m_threadAllowed;
    CSlot m_batches[kBatches];
    // The caller's.
    alignas(64) unsigned m_taken = 0;  // batches taken so far
    bool m_started = false;
    bool m_ended = false;
    bool m_fillEnded = false;
    std::thread m_thread;
    // Shared, each counter on a cache line of its own. m_failure is written
    // before m_done is set.
    alignas(64) std::atomic<unsigned> m_filled{0};
    alignas(64) std::atomic<unsigned> m_released{0};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stop{false};
    std::exception_ptr m_failure;
    CHandOver m_handOver;
};
