#pragma once

#include <vector>

// What a text reader's parser hands its model builder through a pipeline
// (see CPipeline): items in file order, each a kind and a number, and the
// coordinates they use, in the same order.
template <typename Kind>
struct CParsedBatch
{
    struct CItem
    {
        Kind kind;
        long value;
    };
    std::vector<CItem> items;
    std::vector<float> coordinates;
    bool Empty() const { return items.empty(); }
};
