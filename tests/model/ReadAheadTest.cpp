// The read-ahead thread hands batches over in the order it fills them, ends
// where its filling ends, and passes an exception on after what was filled
// before it. Run as on one processor (the test's .OneProcessor run), the
// batches are filled in step and come alike.

#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "ReadAhead.h"

namespace {

struct CNumbers
{
    std::vector<int> values;
    bool Empty() const { return values.empty(); }
};

// Batches of up to `size` consecutive numbers from 0 to `count`; with
// `failAt` at or below `count`, filling that number throws instead.
struct CCase
{
    int count;
    int size;
    int failAt;
    int taken;  // numbers the caller takes before it stops; -1: all
    int emptyEvery;  // every so many fills give nothing, yet more follows; 0: none
};

TEST(ReadAhead, BatchesArriveInOrderUntilTheEndOrTheFailure)
{
    const CCase cases[] = {
        {0, 7, -1, -1, 0},        // nothing at all
        {10000, 7, -1, -1, 0},    // many batches, the last one short
        {10000, 100, -1, -1, 0},  // the last one full
        {10000, 7, 5003, -1, 0},  // out of memory in the middle of a batch
        {10000, 7, 0, -1, 0},     // in the first
        {100000, 3, -1, 50, 0},   // the caller stops early; the thread must end
        {10000, 7, -1, -1, 3},    // empty batches between full ones
        {10000, 7, 5003, -1, 2},  // and a failure among them
    };
    for (const bool threadAllowed : {true, false}) {
        for (const CCase& c : cases) {
            SCOPED_TRACE(threadAllowed ? "on a thread" : "in step");
            int next = 0;
            int fills = 0;
            CReadAhead<CNumbers> batches([&c, &next, &fills](CNumbers& batch) {
                batch.values.clear();
                if (c.emptyEvery && ++fills % c.emptyEvery == 0)
                    return true;
                while (static_cast<int>(batch.values.size()) < c.size && next < c.count) {
                    if (next == c.failAt)
                        throw std::bad_alloc();
                    batch.values.push_back(next++);
                }
                return next < c.count;
            }, threadAllowed);
            std::vector<int> seen;
            bool threw = false;
            try {
                while (const CNumbers* batch = batches.Next()) {
                    seen.insert(seen.end(), batch->values.begin(), batch->values.end());
                    if (c.taken >= 0 && static_cast<int>(seen.size()) >= c.taken)
                        break;
                }
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            const int expected = c.taken >= 0 ? static_cast<int>(seen.size()) : c.failAt >= 0 ? c.failAt : c.count;
            ASSERT_EQ(static_cast<int>(seen.size()), expected) << c.count << " " << c.failAt;
            for (int i = 0; i < expected; ++i) {
                ASSERT_EQ(seen[i], i);
            }
            EXPECT_EQ(threw, c.failAt >= 0);
            if (c.taken < 0 && !threw) {
                EXPECT_EQ(batches.Next(), nullptr);  // and stays ended
            }
        }
    }
}

}  // namespace
