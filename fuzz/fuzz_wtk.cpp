#include "FuzzModel.h"
#include "WtkNff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return FuzzReader(ReadWtkNff, data, size);
}
