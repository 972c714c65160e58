#include <cstring>

#include "FuzzModel.h"
#include "WtkNff.h"

// The bytes are the file. Those after its first NUL are also the material
// table that any "mtable" in it names: the scanner stops at the NUL, so the
// file's own part is read whole, and the table's part gets fuzzed with it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const uint8_t* table = nul ? nul + 1 : nullptr;
    const size_t tableSize = nul ? size - static_cast<size_t>(table - data) : 0;
    auto openTable = [table, tableSize](const std::string&) -> FILE* {
        return tableSize ? fmemopen(const_cast<uint8_t*>(table), tableSize, "r") : nullptr;
    };
    return FuzzReader([&openTable](CModel& model, FILE* fp) { return ReadWtkNff(model, fp, openTable); }, data,
                      size);
}
