#include <cstdio>

#include "FuzzModel.h"
#include "StlReader.h"

// A pipe and a regular file are read differently (the one as far as the
// count asks, the other by its size), and must give the same model and
// messages.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto fromStream = [](CModel& model, FILE* fp) { return ReadStl(model, fp, "fuzz.stl"); };
    const auto fromFile = [data, size](CModel& model, FILE*) {
        FILE* file = std::tmpfile();
        if (!file)
            __builtin_trap();
        if (size && std::fwrite(data, 1, size, file) != size)
            __builtin_trap();
        std::rewind(file);
        const int result = ReadStl(model, file, "fuzz.stl");
        std::fclose(file);
        return result;
    };
    return FuzzBothWays(fromStream, fromFile, data, size);
}
