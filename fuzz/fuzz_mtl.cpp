#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzModel.h"

// The bytes up to the first NUL are an OBJ file, those after it the material
// file "m.mtl" beside it: the OBJ reader runs with its objects, libraries and
// materials as it does on a file opened by name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t objSize = nul ? static_cast<size_t>(nul - data) : size;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("trivex-fuzz-mtl-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        std::ofstream obj(folder / "model.obj", std::ios::binary | std::ios::trunc);
        obj.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(objSize));
        std::ofstream mtl(folder / "m.mtl", std::ios::binary | std::ios::trunc);
        if (nul)
            mtl.write(reinterpret_cast<const char*>(nul + 1), static_cast<std::streamsize>(size - objSize - 1));
    }
    CQuietModel model;
    ReadObjFile(model, (folder / "model.obj").c_str());
    return 0;
}
