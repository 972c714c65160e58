#include "FuzzModel.h"
#include "GltfReader.h"

// JSON and binary files alike: the reader tells them apart by their first
// bytes. Without a folder every buffer file is refused, so the input is all
// the reader sees.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CQuietModel model;
    ReadGltfBytes(model, data, size, "");
    return 0;
}
