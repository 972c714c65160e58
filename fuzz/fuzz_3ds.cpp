#include "FuzzModel.h"
#include "Reader3ds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return FuzzReader(Read3ds, data, size);
}
