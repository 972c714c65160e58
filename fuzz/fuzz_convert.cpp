// The converter's whole path: the first byte picks a reader, the second a
// writer, the rest is the file. Whatever a reader accepts must also write.
#include <unistd.h>

#include <string>
#include <vector>

#include "Formats.h"
#include "FuzzModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::vector<const CFormat*> readers, writers;
    for (int i = 0; i < FormatCount(); ++i) {
        if (FormatAt(i).CanRead())
            readers.push_back(&FormatAt(i));
        if (FormatAt(i).CanWrite())
            writers.push_back(&FormatAt(i));
    }
    const CFormat& in = *readers[data[0] % readers.size()];
    const CFormat& out = *writers[data[1] % writers.size()];

    std::string path = "/tmp/trivex-fuzz-convert-" + std::to_string(::getpid()) + "." + in.extension;
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        return 0;
    std::fwrite(data + 2, 1, size - 2, fp);
    std::fclose(fp);
    CQuietModel model;
    if (ReadModelFile(model, in, path) && model.GetPolygonCount() > 0)
        WriteModelFile(model, out, "/dev/null");
    ::unlink(path.c_str());
    return 0;
}
