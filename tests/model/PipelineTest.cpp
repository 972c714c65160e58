// The pipeline hands pieces over in the order they were read, ends where
// reading ends, and passes a failure of reading or parsing on in place of
// the piece it struck. Run as on one processor (the test's .OneProcessor
// run), everything happens on the caller's thread and comes alike.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "Pipeline.h"

namespace {

struct CNumbers
{
    std::vector<int> values;
    int parseFailAt = -1;
    bool Empty() const { return values.empty(); }
    // Runs on either thread.
    void Parse()
    {
        for (int value : values)
            if (value == parseFailAt)
                throw std::runtime_error("parse");
    }
};

// The same without a parse step: reading is all the work, and the caller
// leaves it to the thread.
struct CReadNumbers
{
    std::vector<int> values;
    int parseFailAt = -1;
    bool Empty() const { return values.empty(); }
};

// Batches of up to `size` consecutive numbers from 0 to `count`; with
// `failAt` at or below `count`, reading that number throws instead, and
// with `parseFailAt`, parsing the batch that holds it.
struct CCase
{
    int count;
    int size;
    int failAt;
    int parseFailAt;
    int taken;       // numbers the caller takes before it stops; -1: all
    int emptyEvery;  // every so many fills give nothing, yet more follows; 0: none
};

template <typename Piece>
void PiecesArriveInOrder()
{
    const CCase cases[] = {
        {0, 7, -1, -1, -1, 0},        // nothing at all
        {10000, 7, -1, -1, -1, 0},    // many pieces, the last one short
        {10000, 100, -1, -1, -1, 0},  // the last one full
        {10000, 7, 5003, -1, -1, 0},  // reading fails in the middle
        {10000, 7, 0, -1, -1, 0},     // in the first piece
        {10000, 7, -1, 5003, -1, 0},  // parsing fails
        {100000, 3, -1, -1, 50, 0},   // the caller stops early; the thread must end
        {10000, 7, -1, -1, -1, 3},    // empty batches between full ones
        {10000, 7, 5003, -1, -1, 2},  // and a failure among them
    };
    constexpr bool kParses = std::is_same_v<Piece, CNumbers>;
    for (const bool threadAllowed : {true, false}) {
        for (const CCase& c : cases) {
            if (!kParses && c.parseFailAt >= 0)
                continue;
            SCOPED_TRACE(threadAllowed ? "on a thread" : "in step");
            int next = 0;
            int fills = 0;
            CPipeline<Piece> pieces(BatchReader<Piece>([&c, &next, &fills](Piece& batch) {
                                           batch.values.clear();
                                           batch.parseFailAt = c.parseFailAt;
                                           if (c.emptyEvery && ++fills % c.emptyEvery == 0)
                                               return true;
                                           while (static_cast<int>(batch.values.size()) < c.size && next < c.count) {
                                               if (next == c.failAt)
                                                   throw std::bad_alloc();
                                               batch.values.push_back(next++);
                                           }
                                           return next < c.count;
                                       }),
                                       threadAllowed);
            std::vector<int> seen;
            bool threw = false;
            try {
                while (const Piece* piece = pieces.Take()) {
                    seen.insert(seen.end(), piece->values.begin(), piece->values.end());
                    if (c.taken >= 0 && static_cast<int>(seen.size()) >= c.taken)
                        break;
                }
            } catch (const std::bad_alloc&) {
                threw = c.failAt >= 0;
            } catch (const std::runtime_error&) {
                threw = c.parseFailAt >= 0;
            }
            // A failure takes its whole piece with it.
            const int failAt = c.failAt >= 0 ? c.failAt : c.parseFailAt;
            const int expected = c.taken >= 0 ? static_cast<int>(seen.size())
                                 : failAt >= 0 ? failAt - failAt % c.size
                                               : c.count;
            ASSERT_EQ(static_cast<int>(seen.size()), expected) << c.count << " " << failAt;
            for (int i = 0; i < expected; ++i) {
                ASSERT_EQ(seen[i], i);
            }
            EXPECT_EQ(threw, failAt >= 0);
            if (c.taken < 0 && !threw) {
                EXPECT_EQ(pieces.Take(), nullptr);  // and stays ended
            }
        }
    }
}

TEST(Pipeline, PiecesArriveInOrderUntilTheEndOrTheFailure)
{
    PiecesArriveInOrder<CNumbers>();
    PiecesArriveInOrder<CReadNumbers>();
}

}  // namespace
