// A read that fails in the middle of a file (a disk or network error, not its
// end) fails the load with a message, whichever reader and whichever thread
// meets it, instead of leaving the model that came before it.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DxfReader.h"
#include "Reader3ds.h"
#include "RecordingModel.h"
#include "TestFiles.h"
#include "TextReaders.h"
#include "Writers.h"

namespace {

// The bytes of a file; reads fail once `failAt` of them were handed out.
struct CFailingFile
{
    const std::string& bytes;
    size_t failAt;
    size_t at = 0;
};

ssize_t ReadFailing(void* cookie, char* to, size_t size)
{
    CFailingFile& file = *static_cast<CFailingFile*>(cookie);
    if (file.at >= file.failAt && file.at < file.bytes.size()) {
        errno = EIO;
        return -1;
    }
    const size_t end = std::min(file.bytes.size(), file.failAt);
    const size_t n = std::min(size, end > file.at ? end - file.at : 0);
    std::memcpy(to, file.bytes.data() + file.at, n);
    file.at += n;
    return static_cast<ssize_t>(n);
}

using Reader = int (*)(CModel&, FILE*);

int ReadFailingAt(Reader read, CModel& model, const std::string& bytes, size_t failAt)
{
    CFailingFile file{bytes, failAt};
    FILE* fp = fopencookie(&file, "r", {ReadFailing, nullptr, nullptr, nullptr});
    if (!fp) {
        ADD_FAILURE() << "fopencookie failed";
        return 0;
    }
    const int result = read(model, fp);
    std::fclose(fp);
    return result;
}

// The same grid as AOFF, which no writer makes: counts, points, polygons.
std::string GridAoff(int n)
{
    std::string text = std::to_string((n + 1) * (n + 1)) + " " + std::to_string(n * n) + "\n";
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            text += std::to_string(x) + " " + std::to_string(y) + " 0\n";
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int a = y * (n + 1) + x + 1;
            text += "4 " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + n + 2) + " " +
                    std::to_string(a + n + 1) + "\n";
        }
    return text;
}

// A 3D Studio file of one mesh: a strip of n triangles.
std::string Strip3ds(int n)
{
    auto u16 = [](std::string& s, unsigned v) {
        s += static_cast<char>(v & 0xff);
        s += static_cast<char>(v >> 8 & 0xff);
    };
    auto u32 = [&u16](std::string& s, uint32_t v) {
        u16(s, v & 0xffff);
        u16(s, v >> 16);
    };
    auto chunk = [&](unsigned id, const std::string& body) {
        std::string s;
        u16(s, id);
        u32(s, static_cast<uint32_t>(6 + body.size()));
        return s + body;
    };
    std::string points, faces;
    u16(points, static_cast<unsigned>(n + 2));
    for (int i = 0; i < n + 2; ++i)
        for (const float v : {static_cast<float>(i / 2), static_cast<float>(i % 2), 0.0f}) {
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            u32(points, bits);
        }
    u16(faces, static_cast<unsigned>(n));
    for (int i = 0; i < n; ++i)
        for (const int corner : {i, i + 1, i + 2, 0})
            u16(faces, static_cast<unsigned>(corner));
    const std::string mesh = chunk(0x4100, chunk(0x4110, points) + chunk(0x4120, faces));
    return chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, std::string("strip") + '\0' + mesh)));
}

struct CCase
{
    const char* name;
    Reader read;
    std::string bytes;
    const char* message;
};

TEST(ReadError, FailsTheLoadWhereverTheReadFails)
{
    CRecordingModel grid;
    ASSERT_EQ(ReadFailingAt(ReadObj, grid, testfiles::GridObj(120), SIZE_MAX), 1);
    auto written = [&grid](int (*write)(CModel&, FILE*, double)) {
        return testfiles::WriteToString(write, grid, 1.0);
    };
    const std::string obj = testfiles::GridObj(120), nff = written(WriteNff), dxf = written(WriteDxf);
    const CCase cases[] = {
        {"OBJ", ReadObj, obj, "Read error in the OBJ file"},
        {"OBJ in one stream", [](CModel& m, FILE* fp) { return ReadObjPieces(m, fp, 0); }, obj,
         "Read error in the OBJ file"},
        {"RAW", ReadRaw, written(WriteRaw), "Read error in the RAW file"},
        {"TPOLY", ReadTpoly, written(WriteTpoly), "Read error in the TPOLY file"},
        {"NFF", ReadNff, nff, "Read error in the NFF file"},
        {"NFF in pieces", [](CModel& m, FILE* fp) { return ReadNffPieces(m, fp, 4096); }, nff,
         "Read error in the NFF file"},
        {"AOFF", ReadAoff, GridAoff(120), "Read error in the AOFF file"},
        {"DXF", ReadDxfStream, dxf, "Read error in the DXF file"},
        {"DXF in small pieces", [](CModel& m, FILE* fp) { return ReadDxfPieces(m, fp, 4096); }, dxf,
         "Read error in the DXF file"},
        {"3DS", Read3ds, Strip3ds(3000), "Read error in the .3DS file"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t size = c.bytes.size();
        ASSERT_GT(size, 20000u);
        // Read whole, as a file that fails nowhere.
        CRecordingModel whole;
        ASSERT_EQ(ReadFailingAt(c.read, whole, c.bytes, SIZE_MAX), 1);
        EXPECT_TRUE(whole.errors.empty());
        ASSERT_GT(whole.GetPolygonCount(), 1000);
        // The first read, one in the middle of a buffer or a piece, and the
        // last byte alone.
        for (const size_t failAt : {size_t{0}, size_t{1}, size / 3 + 17, size / 2, size - 1}) {
            SCOPED_TRACE("failing at byte " + std::to_string(failAt) + " of " + std::to_string(size));
            CRecordingModel model;
            EXPECT_LE(ReadFailingAt(c.read, model, c.bytes, failAt), 0);
            EXPECT_EQ(model.errors, std::vector<std::string>{c.message});
            EXPECT_EQ(model.GetPolygonCount(), 0);
            EXPECT_EQ(model.waitDepth, 0);
        }
    }
}

}  // namespace
