// Runs reads and saves with every one of the model's own allocations failing
// in turn. The binary is linked with malloc, calloc and realloc wrapped (see
// tests/CMakeLists.txt), so the allocations of the code under test pass
// through the wrappers below; the C++ runtime's own do not.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ExportSamples.h"
#include "ReaderTestSupport.h"
#include "SampleModels.h"
#include "StlReader.h"
#include "TestFiles.h"
#include "Writers.h"

namespace {

// Allocations still allowed before every further one fails; negative for no
// limit. Per thread, so that nothing else running is affected.
thread_local long t_allowed = -1;
thread_local bool t_refused = false;

bool Refuse()
{
    if (t_allowed == 0) {
        t_refused = true;
        return true;
    }
    if (t_allowed > 0)
        --t_allowed;
    return false;
}

// Lets `allowed` allocations through, then fails the rest while it lives.
class CAllocationLimit
{
public:
    explicit CAllocationLimit(long allowed)
    {
        t_allowed = allowed;
        t_refused = false;
    }
    ~CAllocationLimit() { t_allowed = -1; }
    bool Refused() const { return t_refused; }
};

}  // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* p, size_t size);

void* __wrap_malloc(size_t size)
{
    return Refuse() ? nullptr : __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size)
{
    return Refuse() ? nullptr : __real_calloc(count, size);
}
void* __wrap_realloc(void* p, size_t size)
{
    return Refuse() ? nullptr : __real_realloc(p, size);
}
}

namespace {

// Gives up on a loop that never reaches the end (an allocation retried forever).
constexpr long kMaxAllocations = 10000;

bool IsOutOfMemory(const std::string& text)
{
    return text.find("Out of Memory") != std::string::npos;
}

}  // namespace

// A save either writes exactly what it writes with memory to spare, or fails
// with the model's out-of-memory message and leaves the document modified.
TEST(AllocationFailure, SaveFailsOrIsComplete)
{
    using Writer = int (*)(CModel&, FILE*, double);
    const struct
    {
        const char* name;
        Writer write;
    } writers[] = {{"pov", WritePovScene}, {"obj", WriteObj},   {"nff", WriteNff},  {"wtk", WriteWtkNff},
                   {"asc", WriteAsc},      {"wrl", WriteVrml},  {"cob", WriteCob},  {"dxf", WriteDxf},
                   {"stl", WriteStl},
                   {"stl ascii", [](CModel& m, FILE* fp, double s) {
                        m.m_stlAscii = 1;
                        return WriteStl(m, fp, s);
                    }}};
    for (const auto& w : writers) {
        CRecordingModel model;
        samples::Assembly(model);
        const std::string complete = testfiles::WriteToString(w.write, model, 1.0);
        long allowed = 0;
        for (; allowed < kMaxAllocations; ++allowed) {
            CRecordingModel doc;
            samples::Assembly(doc);
            doc.modified = true;
            doc.status.clear();
            int result = -1;
            std::string text;
            bool refused;
            {
                CAllocationLimit limit(allowed);
                text = testfiles::WriteToString(w.write, doc, 1.0, &result);
                refused = limit.Refused();
            }
            SCOPED_TRACE(std::string(w.name) + " with " + std::to_string(allowed) + " allocations");
            EXPECT_EQ(0, doc.waitDepth);
            if (!refused) {
                EXPECT_EQ(1, result);
                EXPECT_EQ(complete, text);
                break;
            }
            EXPECT_EQ(0, result);
            ASSERT_EQ(1u, doc.errors.size());
            EXPECT_TRUE(IsOutOfMemory(doc.errors[0])) << doc.errors[0];
            EXPECT_FALSE(doc.HasStatus("File Saved"));
            EXPECT_TRUE(doc.modified);
        }
        EXPECT_LT(allowed, kMaxAllocations) << w.name;
    }
}

// A load either reads every point and face, or fails with the model's
// out-of-memory message and an empty model.
TEST(AllocationFailure, LoadFailsOrIsComplete)
{
    // 200 triangles in each format, none sharing all its corners with another.
    std::string aoff = "300 100 0\n", raw, tpoly, nff, obj, stl = "solid s\n";
    for (int i = 0; i < 300; ++i)
        aoff += std::to_string(i % 17) + " " + std::to_string(i / 17) + " " + std::to_string(i % 5) + "\n";
    for (int i = 0; i < 100; ++i)
        aoff += "4 " + std::to_string(3 * i + 1) + " " + std::to_string(3 * i + 2) + " " + std::to_string(3 * i + 3) +
                " " + std::to_string((3 * i + 4) % 300 + 1) + "\n";
    for (int i = 0; i < 200; ++i) {
        const std::string a = std::to_string(i), b = std::to_string(i + 1);
        const std::string corners = a + " 0 0 " + b + " 0 0 " + a + " 1 0";
        raw += corners + "\n";
        tpoly += "3 " + corners + "\n";
        nff += "p 3\n" + a + " 0 0\n" + b + " 0 0\n" + a + " 1 0\n";
        obj += "v " + a + " 0 0\nv " + b + " 0 0\nv " + a + " 1 0\nf -3 -2 -1\n";
        stl += "facet normal 0 0 1 outer loop vertex " + a + " 0 0 vertex " + b + " 0 0 vertex " + a +
               " 1 0 endloop endfacet\n";
    }
    const struct
    {
        const char* name;
        readertest::Reader read;
        const std::string& text;
    } readers[] = {{"aoff", ReadAoff, aoff},
                   {"raw", ReadRaw, raw},
                   {"tpoly", ReadTpoly, tpoly},
                   {"nff", ReadNff, nff},
                   {"nff in pieces", [](CModel& m, FILE* fp) { return ReadNffPieces(m, fp, 64); }, nff},
                   {"obj", ReadObj, obj},
                   {"stl", [](CModel& m, FILE* fp) { return ReadStl(m, fp, "s.stl"); }, stl}};
    for (const auto& r : readers) {
        long allowed = 0;
        for (; allowed < kMaxAllocations; ++allowed) {
            CRecordingModel model;
            int result;
            bool refused;
            {
                CAllocationLimit limit(allowed);
                result = readertest::ReadText(r.read, model, r.text);
                refused = limit.Refused();
            }
            SCOPED_TRACE(std::string(r.name) + " with " + std::to_string(allowed) + " allocations");
            if (result == 1) {
                // Running short after the faces were read only loses what the
                // load derives from them (normals, cross references).
                EXPECT_EQ(200, model.GetPolygonCount());
                if (!refused)
                    break;
            } else {
                EXPECT_TRUE(refused);
                ASSERT_FALSE(model.errors.empty());
                EXPECT_TRUE(IsOutOfMemory(model.errors[0])) << model.errors[0];
            }
        }
        EXPECT_LT(allowed, kMaxAllocations) << r.name;
    }
}
