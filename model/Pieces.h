#pragma once

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ReadAhead.h"
#include "ReadError.h"

// The text of a piece and its place in the file; each reader's piece adds
// what it parses.
struct CPieceText
{
    std::vector<unsigned char> text;
    // Where the last piece goes on when the file could not be cut: it is
    // parsed as the model is built from it, since parsed ahead whole it
    // could hold as much as the file.
    FILE* rest = nullptr;
    bool first = false;  // starts the file
    bool last = false;   // ends it
    std::exception_ptr failure;
    std::atomic<bool> parsed{false};
};

// Reads a file into the text of pieces, in order, each about `size` bytes
// or more: after every `size` bytes read, `cut` may end the piece. Before a
// piece's first read cut.Start(text) sees what the piece starts with; after
// each read, cut(text, from) gives where the piece ends, 0 to read on, with
// the bytes from `from` on just read. Without a cut in `most` bytes the
// rest of the file is left to be parsed from the file (CPieceText::rest);
// with `most` 0 the piece grows until a cut comes.
template <typename Cut>
class CPieceCutter
{
public:
    CPieceCutter(FILE* fp, size_t size, size_t most) : m_fp(fp), m_size(size), m_most(most) {}

    // The file's bytes read before the first piece start it.
    std::vector<unsigned char>& Carry() { return m_carry; }

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

private:
    FILE* m_fp;
    const size_t m_size;
    const size_t m_most;
    Cut m_cut;
    std::vector<unsigned char> m_carry;
    bool m_first = true;
    bool m_ended = false;
};

// A file read in pieces that both processors parse while the caller builds
// the model from them in file order: a second thread reads and parses
// pieces in order, and the caller parses the next one itself whenever the
// one it needs is not ready yet. Where parsing is most of reading, the
// second thread alone could not keep up. At most kPieces are read and not
// yet built.
//
// A piece is a CPieceText with `void Forget()`, which empties what it
// parsed, and `void Parse()`, which parses its text into it and must not
// throw; a piece that goes on in the file (`rest`) is left to the caller.
// The pieces are cut as CPieceCutter<Cut> cuts them. Reading may throw
// std::bad_alloc or CReadError; the caller then meets the failure at that
// piece.
template <typename Piece, typename Cut>
class CPieces
{
public:
    static constexpr unsigned kPieces = 6;

    // Pieces of about `size` bytes, the rest of the file left to the caller
    // after `most` bytes without a cut (0: never). Without `threadAllowed`
    // the caller parses every piece itself.
    CPieces(FILE* fp, size_t size, size_t most, bool threadAllowed)
        : m_cutter(fp, size, most), m_threadAllowed(threadAllowed)
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
    CPieceCutter<Cut>& GetCutter() { return m_cutter; }
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
        piece.Forget();
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
        if (!piece.failure && !piece.rest)
            piece.Parse();
        piece.parsed.store(true);
        m_handOver.Wake();
    }

    // The caller's: parses the next piece, if one is left and there is room
    // for it. A file of more than one piece gets the second thread, where
    // it is allowed and has a processor of its own.
    bool ClaimAndParse()
    {
        Piece* piece = Claim();
        if (!piece)
            return false;
        Parse(*piece);
        if (!m_started && !piece->last) {
            m_started = true;
            if (HelperThreadPays(m_threadAllowed)) {
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
    CPieceCutter<Cut> m_cutter;
    alignas(64) std::atomic<unsigned> m_claimed{0};  // pieces read from the file
    std::atomic<bool> m_noMore{false};
    alignas(64) std::atomic<unsigned> m_built{0};  // pieces the caller has released
    std::atomic<bool> m_stop{false};
    alignas(64) unsigned m_taken = 0;  // the caller's: pieces taken
    bool m_started = false;
    const bool m_threadAllowed;
    std::thread m_thread;
    CHandOver m_handOver;
};
