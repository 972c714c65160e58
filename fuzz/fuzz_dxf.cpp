#include "DxfReader.h"
#include "FuzzModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return FuzzReader(ReadDxfStream, data, size);
}
