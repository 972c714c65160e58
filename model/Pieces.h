#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "ReadAhead.h"

// A file read in pieces that both processors parse while the caller builds
// the model from them in file order: a second thread reads and parses
// pieces in order, and the caller parses the next one itself whenever the
// one it needs is not ready yet. Where parsing is most of reading, the
// second thread alone could not keep up. At most kPieces are read and not
// yet built.
//
// The cutter reads the pieces' text from the file, one piece after the
// other: `bool Next(Piece&)` first empties the piece, then fills its text;
// false at the end of the file. It may throw std::bad_alloc, which the
// caller then meets at that piece. A piece holds `bool last` (the cutter
// sets it on the file's last piece), `std::exception_ptr failure`,
// `std::atomic<bool> parsed` and `void Parse()`, which parses its text into
// the piece and must not throw.
template <typename Piece, typename Cutter>
class CPieces
{
public:
    static constexpr unsigned kPieces = 6;

    template <typename... Args>
    explicit CPieces(Args&&... cutter) : m_cutter(std::forward<Args>(cutter)...)
    {
    }
    CPieces(const CPieces&) = delete;
    CPieces& operator=(const CPieces&) = delete;
    ~CPieces()
    {
        if (!m_thread.joinable())
            return;
        m_stop.store(true);
        m_handOver.Wake();
        m_thread.join();
    }

    // Before the first Take only.
    Cutter& GetCutter() { return m_cutter; }
    Piece& GetPiece(unsigned i) { return m_pieces[i]; }

    // The next piece, parsed; null after the last. It stays the caller's
    // until Release.
    Piece* Take()
    {
        const unsigned k = m_taken;
        for (;;) {
            if (k < m_claimed.load()) {
                Piece& piece = m_pieces[k % kPieces];
                if (piece.parsed.load())
                    break;
                // Being parsed on the thread: parse one further on meanwhile.
                if (ClaimAndParse())
                    continue;
                m_handOver.Await([&piece] { return piece.parsed.load(); });
                break;
            }
            // Not read yet: read and parse it here, unless the thread has
            // claimed it (or found the end of the file) meanwhile.
            if (!ClaimAndParse() && k >= m_claimed.load() && m_noMore.load())
                return nullptr;
        }
        ++m_taken;
        return &m_pieces[k % kPieces];
    }

    // Hands the piece Take gave back, to be filled again.
    void Release()
    {
        m_pieces[(m_taken - 1) % kPieces].parsed.store(false);
        m_built.store(m_taken);
        m_handOver.Wake();
    }

private:
    // The next piece read from the file, not yet parsed; null when the file
    // has no more or kPieces are out.
    Piece* Claim()
    {
        std::lock_guard<std::mutex> lock(m_claimLock);
        const unsigned claimed = m_claimed.load();
        if (m_noMore.load() || claimed - m_built.load() >= kPieces)
            return nullptr;
        Piece& piece = m_pieces[claimed % kPieces];
        piece.failure = nullptr;
        try {
            if (!m_cutter.Next(piece)) {
                m_noMore.store(true);
                return nullptr;
            }
        } catch (...) {
            // Reading stops here; the caller meets the failure in its turn.
            piece.failure = std::current_exception();
            m_noMore.store(true);
        }
        m_claimed.store(claimed + 1);
        return &piece;
    }

    void Parse(Piece& piece)
    {
        if (!piece.failure)
            piece.Parse();
        piece.parsed.store(true);
        m_handOver.Wake();
    }

    // The caller's: parses the next piece, if one is left and there is room
    // for it. A file of more than one piece gets the second thread.
    bool ClaimAndParse()
    {
        Piece* piece = Claim();
        if (!piece)
            return false;
        Parse(*piece);
        if (!m_started && !piece->last) {
            m_started = true;
            if (std::thread::hardware_concurrency() != 1) {
                try {
                    m_thread = std::thread([this] { Run(); });
                } catch (const std::system_error&) {
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
            if (Piece* piece = Claim())
                Parse(*piece);
            else if (m_noMore.load())
                return;
        }
    }

    Piece m_pieces[kPieces];
    std::mutex m_claimLock;  // over the cutter and the claiming of pieces
    Cutter m_cutter;
    alignas(64) std::atomic<unsigned> m_claimed{0};  // pieces read from the file
    std::atomic<bool> m_noMore{false};
    alignas(64) std::atomic<unsigned> m_built{0};  // pieces the caller has released
    std::atomic<bool> m_stop{false};
    alignas(64) unsigned m_taken = 0;  // the caller's: pieces taken
    bool m_started = false;
    std::thread m_thread;
    CHandOver m_handOver;
};
