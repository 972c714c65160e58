#pragma once

#include <cstddef>
#include <cstdio>

// A read from a file failed: an error of the disk or the network, not the
// end of the file. Thrown where the bytes are read, on whichever thread reads
// them, and caught by the reader's frame, which fails the load: what came
// before the failure would pass for the whole model.
struct CReadError
{
};

// std::fread of `size` bytes that throws CReadError where the stream reports
// an error; fewer bytes than asked for otherwise mean the end of the file.
inline size_t ReadOrThrow(void* to, size_t size, FILE* fp)
{
    const size_t got = std::fread(to, 1, size, fp);
    if (got < size && std::ferror(fp))
        throw CReadError();
    return got;
}
