#pragma once

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ReadError.h"

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
// that the waiter's `ready` reads) and is woken when it has. A plain wait:
// spinning awake first, which paid while four thread schemes handed work
// over, no longer measures faster.
class CHandOver
{
public:
    template <typename Ready>
    void Await(Ready ready)
    {
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

// What reading a piece gave.
enum class CPieceRead
{
    kEnd,       // nothing: the input had ended
    kPiece,     // a piece, and more may follow
    kLastPiece  // a piece, the last
};

// The one way the readers use a second thread: the input is read in pieces
// in order, the pieces are parsed on both processors, and the caller builds
// the model from them in order. A second thread reads and parses pieces
// ahead, and the caller reads and parses the next one itself whenever the
// one it needs is not ready yet; where parsing is most of the work, the
// second thread alone could not keep up. At most kPieces are read and not
// yet built.
//
// `read(piece)` fills a piece with the input's next stretch; it runs on
// either thread, one call at a time and in input order. Piece::Parse(), if
// the piece has one, then parses it with nothing shared. Either may throw
// (std::bad_alloc, CReadError): the exception reaches the caller from Take,
// in place of that piece, never a thread's end. Without `threadAllowed`, or
// with one processor, everything runs on the caller's thread in the same
// order.
template <typename Piece>
class CPipeline
{
public:
    static constexpr unsigned kPieces = 6;

    CPipeline(std::function<CPieceRead(Piece&)> read, bool threadAllowed)
        : m_read(std::move(read)), m_threadAllowed(threadAllowed)
    {
    }
    CPipeline(const CPipeline&) = delete;
    CPipeline& operator=(const CPipeline&) = delete;
    ~CPipeline()
    {
        if (!m_thread.joinable())
            return;
        m_stop.store(true);
        m_handOver.Wake();
        m_thread.join();
    }

    // Before the first Take only, to set the pieces' room up.
    Piece& GetPiece(unsigned i) { return m_slots[i].piece; }

    // The next piece, parsed; null after the last. It stays the caller's
    // until the next Take, which hands it back to be filled again.
    Piece* Take()
    {
        if (m_holding) {
            m_holding = false;
            m_slots[(m_taken - 1) % kPieces].parsed.store(false);
            m_built.store(m_taken);
            m_handOver.Wake();
        }
        const unsigned k = m_taken;
        for (;;) {
            if (k < m_claimed.load()) {
                CSlot& slot = m_slots[k % kPieces];
                if (!slot.parsed.load()) {
                    // Being parsed on the thread: parse one further on
                    // meanwhile, or wait.
                    if (ClaimAndParse())
                        continue;
                    m_handOver.Await([&slot] { return slot.parsed.load(); });
                }
                if (slot.failure)
                    std::rethrow_exception(slot.failure);
                break;
            }
            // Not read yet. Where reading is all the work, it is left to
            // the thread once that runs: taking turns at one parser would
            // move its state from processor to processor.
            if constexpr (!kParses) {
                if (m_thread.joinable() && !m_noMore.load()) {
                    m_handOver.Await([this, k] { return k < m_claimed.load() || m_noMore.load(); });
                    continue;
                }
            }
            // Read and parse it here, unless the thread has claimed it (or
            // found the end of the input) meanwhile.
            if (!ClaimAndParse() && k >= m_claimed.load() && m_noMore.load())
                return nullptr;
        }
        ++m_taken;
        m_holding = true;
        return &m_slots[k % kPieces].piece;
    }

private:
    static constexpr bool kParses = requires(Piece& piece) { piece.Parse(); };

    // Each piece on cache lines of its own, as one thread fills one while
    // the other reads another.
    struct alignas(64) CSlot
    {
        Piece piece;
        std::exception_ptr failure;
        std::atomic<bool> parsed{false};
    };

    // The next piece read, not yet parsed; null when the input has no more
    // or kPieces are out.
    CSlot* Claim()
    {
        std::lock_guard<std::mutex> lock(m_claimLock);
        const unsigned claimed = m_claimed.load();
        if (m_noMore.load() || claimed - m_built.load() >= kPieces)
            return nullptr;
        CSlot& slot = m_slots[claimed % kPieces];
        slot.failure = nullptr;
        try {
            switch (m_read(slot.piece)) {
            case CPieceRead::kEnd:
                m_noMore.store(true);
                return nullptr;
            case CPieceRead::kLastPiece:
                m_noMore.store(true);
                break;
            case CPieceRead::kPiece:
                break;
            }
        } catch (...) {
            // Reading stops here; the caller meets the failure in its turn.
            slot.failure = std::current_exception();
            m_noMore.store(true);
        }
        m_claimed.store(claimed + 1);
        return &slot;
    }

    void Parse(CSlot& slot)
    {
        if constexpr (kParses) {
            if (!slot.failure) {
                try {
                    slot.piece.Parse();
                } catch (...) {
                    slot.failure = std::current_exception();
                }
            }
        }
        slot.parsed.store(true);
        m_handOver.Wake();
    }

    // Parses the next piece, if one is left and there is room for it. Input
    // of more than one piece gets the second thread, where it is allowed
    // and has a processor of its own.
    bool ClaimAndParse()
    {
        CSlot* slot = Claim();
        if (!slot)
            return false;
        Parse(*slot);
        if (!m_started && !m_noMore.load()) {
            m_started = true;
            if (HelperThreadPays(m_threadAllowed)) {
                try {
                    m_thread = std::thread([this] { Run(); });
                } catch (const std::system_error&) {
                    // Then the caller does it all.
                }
            }
        }
        return true;
    }

    // The second thread: parses pieces while there is room for them.
    void Run()
    {
        for (;;) {
            m_handOver.Await([this] {
                return m_stop.load() || m_noMore.load() || m_claimed.load() - m_built.load() < kPieces;
            });
            if (m_stop.load())
                return;
            if (CSlot* slot = Claim()) {
                Parse(*slot);
            } else if (m_noMore.load()) {
                m_handOver.Wake();  // a caller waiting for a piece learns there is none
                return;
            }
        }
    }

    std::function<CPieceRead(Piece&)> m_read;
    CSlot m_slots[kPieces];
    std::mutex m_claimLock;  // over reading and the claiming of pieces
    alignas(64) std::atomic<unsigned> m_claimed{0};  // pieces read
    std::atomic<bool> m_noMore{false};
    alignas(64) std::atomic<unsigned> m_built{0};  // pieces the caller has released
    std::atomic<bool> m_stop{false};
    alignas(64) unsigned m_taken = 0;  // the caller's: pieces taken
    bool m_holding = false;            // the last one taken is still the caller's
    bool m_started = false;
    const bool m_threadAllowed;
    std::thread m_thread;
    CHandOver m_handOver;
};

// The reading half of a pipeline whose parser reads on through its input
// itself, a batch at a time: fill(batch) empties and fills a batch and says
// whether more may follow. The parsing then runs ahead on the second
// thread. Empty batches are filled again, not handed on.
template <typename Batch, typename Fill>
std::function<CPieceRead(Batch&)> BatchReader(Fill fill)
{
    return [fill, more = true](Batch& batch) mutable {
        while (more) {
            more = fill(batch);
            if (!batch.Empty())
                return more ? CPieceRead::kPiece : CPieceRead::kLastPiece;
        }
        return CPieceRead::kEnd;
    };
}

// The text of a piece of a file and its place in the file; each reader's
// piece adds what it parses.
struct CPieceText
{
    std::vector<unsigned char> text;
    // Where the last piece goes on when the file could not be cut: it is
    // parsed as the model is built from it, since parsed ahead whole it
    // could hold as much as the file.
    FILE* rest = nullptr;
    bool first = false;  // starts the file
    bool last = false;   // ends it
};

// Reads a file into the text of pieces, in order, each about `size` bytes
// or more: after every `size` bytes read, `cut` may end the piece. Before a
// piece's first read cut.Start(text) sees what the piece starts with; after
// each read, cut(text, from) gives where the piece ends, 0 to read on, with
// the bytes from `from` on just read. Without a cut in `most` bytes the
// rest of the file is left to be parsed from the file (CPieceText::rest);
// with `most` 0 the piece grows until a cut comes. The reading half of a
// pipeline: Read(piece) empties the piece (Forget) and fills its text.
template <typename Cut>
class CPieceCutter
{
public:
    CPieceCutter(FILE* fp, size_t size, size_t most) : m_fp(fp), m_size(size), m_most(most) {}

    // The file's bytes read before the first piece start it.
    std::vector<unsigned char>& Carry() { return m_carry; }

    template <typename Piece>
    CPieceRead Read(Piece& piece)
    {
        piece.Forget();
        if (!Next(piece))
            return CPieceRead::kEnd;
        return piece.last ? CPieceRead::kLastPiece : CPieceRead::kPiece;
    }

private:
    // False at the end of the file. May throw std::bad_alloc, and
    // CReadError where reading fails.
    bool Next(CPieceText& piece)
    {
        if (m_ended)
            return false;
        std::vector<unsigned char>& text = piece.text;
        text.swap(m_carry);  // what followed the last cut, in a buffer used before
        m_carry.clear();
        piece.first = m_first;
        piece.last = false;
        piece.rest = nullptr;
        m_first = false;
        m_cut.Start(text);
        for (;;) {
            const size_t from = text.size();
            text.resize(from + m_size);
            const size_t got = ReadOrThrow(text.data() + from, m_size, m_fp);
            text.resize(from + got);
            if (got < m_size) {
                m_ended = true;
                piece.last = true;
                return !text.empty() || piece.first;
            }
            if (const size_t cut = m_cut(text, from)) {
                m_carry.assign(text.begin() + static_cast<std::ptrdiff_t>(cut), text.end());
                text.resize(cut);
                return true;
            }
            if (m_most && text.size() >= m_most) {
                m_ended = true;
                piece.last = true;
                piece.rest = m_fp;
                return true;
            }
        }
    }

    FILE* m_fp;
    const size_t m_size;
    const size_t m_most;
    Cut m_cut;
    std::vector<unsigned char> m_carry;
    bool m_first = true;
    bool m_ended = false;
};

// A file cut into pieces (see CPieceCutter) that go through a pipeline.
template <typename Piece, typename Cut>
class CFilePieces
{
public:
    static constexpr unsigned kPieces = CPipeline<Piece>::kPieces;

    CFilePieces(FILE* fp, size_t size, size_t most, bool threadAllowed)
        : m_cutter(fp, size, most), m_pipeline([this](Piece& piece) { return m_cutter.Read(piece); }, threadAllowed)
    {
    }

    // Before the first Take only.
    std::vector<unsigned char>& Carry() { return m_cutter.Carry(); }
    Piece& GetPiece(unsigned i) { return m_pipeline.GetPiece(i); }

    Piece* Take() { return m_pipeline.Take(); }

private:
    CPieceCutter<Cut> m_cutter;
    CPipeline<Piece> m_pipeline;  // after the cutter, so that its thread has stopped before the cutter goes
};
