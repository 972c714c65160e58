#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "Model.h"
#include "TextReaders.h"

// A model whose notifications go nowhere, so that fuzzing spends its time in
// the readers rather than on standard output.
class CQuietModel : public CModel
{
public:
    void StatusMessage(const char*, ...) override {}
    void ErrorMessage(const char*, ...) override {}
    void InfoMessage(const char*, ...) override {}
    void WarningMessage(const char*, ...) override {}
};

// Feeds the bytes to a reader through an in-memory stream.
inline int FuzzReader(int (*reader)(CModel&, FILE*), const uint8_t* data, size_t size)
{
    // An empty input is worth reading too; fmemopen wants at least one byte.
    static const uint8_t kNothing[1] = {0};
    FILE* fp = fmemopen(const_cast<uint8_t*>(size ? data : kNothing), size ? size : 1, "rb");
    if (!fp)
        return 0;
    if (!size)
        std::fgetc(fp);  // leaves the stream at its end
    CQuietModel model;
    reader(model, fp);
    std::fclose(fp);
    return 0;
}
