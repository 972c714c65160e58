#include <cstring>

#include "FuzzModel.h"
#include "WtkNff.h"

// The bytes up to the first NUL are the file; those after it are the material
// table that any "mtable" in the file names. Without a NUL there is no table.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    if (!nul)
        return FuzzReader(ReadWtkNff, data, size);
    const size_t fileSize = static_cast<size_t>(nul - data);
    const uint8_t* table = nul + 1;
    const size_t tableSize = size - fileSize - 1;
    auto openTable = [table, tableSize](const std::string&) -> FILE* {
        return tableSize ? fmemopen(const_cast<uint8_t*>(table), tableSize, "r") : nullptr;
    };
    static const uint8_t kNothing[1] = {0};
    FILE* fp = fmemopen(const_cast<uint8_t*>(fileSize ? data : kNothing), fileSize ? fileSize : 1, "rb");
    if (!fp)
        return 0;
    if (!fileSize)
        std::fgetc(fp);
    CQuietModel model;
    ReadWtkNff(model, fp, openTable);
    std::fclose(fp);
    return 0;
}
