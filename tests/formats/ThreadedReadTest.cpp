// Every reader that parses on a second thread, and every writer that makes
// its file on both processors, with a model large enough to pass every
// threshold at which the thread starts: the model or the file comes out as it
// does on one thread, and the second thread did run. Built with
// ThreadSanitizer (scripts/test.sh), this is the case that reaches each of
// the program's threads.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include "DxfReader.h"
#include "Pipeline.h"
#include "TestFiles.h"
#include "TextReaders.h"
#include "Writers.h"
#include "writers/GltfOutput.h"

namespace {

class CQuietModel : public CModel
{
public:
    CQuietModel(bool status, bool helperThread) : m_status(status), m_helperThread(helperThread) {}
    void ShowStatus(const char*) override {}
    void ShowError(const char* text) override { errors += text; }
    void ShowInfo(const char*) override {}
    void ShowWarning(const char* text) override { errors += text; }
    bool ShowsStatus() const override { return m_status; }
    bool MayUseHelperThread() const override { return m_helperThread; }
    std::string errors;

private:
    bool m_status;
    bool m_helperThread;
};

// The threads of this process.
int Threads()
{
    std::error_code ec;
    int count = 0;
    for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count;
}

// The most threads seen beside the ones there were when it began, counted
// on a thread of its own until it ends.
class CThreadWatch
{
public:
    CThreadWatch() : m_thread([this] { Watch(); })
    {
        while (!m_started.load())
            std::this_thread::yield();
    }
    ~CThreadWatch() { Stop(); }
    int Added()
    {
        Stop();
        return m_most - m_before;
    }

private:
    void Watch()
    {
        m_before = Threads();  // this one among them
        m_started.store(true);
        while (!m_stop.load()) {
            const int now = Threads();
            if (now > m_most)
                m_most = now;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    void Stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }

    std::atomic<bool> m_started{false};
    std::atomic<bool> m_stop{false};
    int m_before = 0;
    int m_most = 0;
    std::thread m_thread;
};

using Reader = int (*)(CModel&, FILE*);

int ReadBytes(Reader read, CModel& model, std::string& bytes)
{
    FILE* fp = fmemopen(bytes.data(), bytes.size(), "r");
    if (!fp) {
        ADD_FAILURE() << "fmemopen failed";
        return 0;
    }
    const int result = read(model, fp);
    std::fclose(fp);
    return result;
}

TEST(ThreadedRead, EveryPipelineGivesTheModelOfOneThread)
{
    std::string obj = testfiles::GridObj(300);
    CQuietModel grid(false, true);
    ASSERT_EQ(ReadBytes(ReadObj, grid, obj), 1);
    auto written = [&grid](int (*write)(CModel&, FILE*, double)) {
        return testfiles::WriteToString(write, grid, 1.0);
    };
    std::string nff = written(WriteNff), dxf = written(WriteDxf), tpoly = written(WriteTpoly);
    const struct
    {
        const char* name;
        Reader read;
        std::string& bytes;
        bool status;  // NFF reads in pieces only where no status texts are shown
    } cases[] = {
        {"OBJ in pieces", ReadObj, obj, false},
        {"NFF in pieces", ReadNff, nff, false},
        {"NFF read ahead", ReadNff, nff, true},
        {"DXF in pieces", ReadDxfStream, dxf, false},
        {"TPOLY read ahead", ReadTpoly, tpoly, true},
    };
    const bool twoProcessors = UsableProcessors() > 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CQuietModel alone(c.status, false);
        CThreadWatch aloneWatch;
        ASSERT_EQ(ReadBytes(c.read, alone, c.bytes), 1) << alone.errors;
        EXPECT_EQ(aloneWatch.Added(), 0) << "threads the read added where none was allowed";
        ASSERT_GE(alone.GetPolygonCount(), 90000);
        CQuietModel beside(c.status, true);
        CThreadWatch watch;
        ASSERT_EQ(ReadBytes(c.read, beside, c.bytes), 1) << beside.errors;
        const int added = watch.Added();
        EXPECT_EQ(beside.GetVertexCount(), alone.GetVertexCount());
        EXPECT_EQ(beside.GetPolygonCount(), alone.GetPolygonCount());
        EXPECT_EQ(beside.errors, alone.errors);
        EXPECT_EQ(added, twoProcessors ? 1 : 0) << "threads the read added";
    }
}

// The triangles of a .glb's meshes, each as its corners' coordinates.
std::vector<std::vector<double>> GlbTriangles(const std::string& bytes)
{
    const gltfoutput::CGltf file = gltfoutput::ParseGlb(bytes);
    std::vector<std::vector<double>> triangles;
    for (const auto& mesh : file.doc.value("meshes", gltfoutput::json::array())) {
        const auto& primitive = mesh["primitives"][0];
        const std::vector<double> points = gltfoutput::AccessorValues(file, primitive["attributes"]["POSITION"]);
        const std::vector<double> indices = gltfoutput::AccessorValues(file, primitive["indices"]);
        for (size_t i = 0; i + 2 < indices.size(); i += 3) {
            std::vector<double> corners;
            for (size_t c = 0; c < 3; ++c)
                for (size_t k = 0; k < 3; ++k)
                    corners.push_back(points.at(3 * static_cast<size_t>(indices[i + c]) + k));
            triangles.push_back(corners);
        }
    }
    return triangles;
}

// The writers that make their file in pieces on both processors, with a
// large smooth group, faces it must leave out spread over its pieces, and a
// small group after it: the file is the one a single thread makes, and the
// glTF triangles are the model's, in order, wound counter-clockwise.
TEST(ThreadedWrite, PiecesComeOutInTheirOrder)
{
    std::istringstream grid(testfiles::GridObj(300));
    std::string obj;
    int faces = 0;
    for (std::string line; std::getline(grid, line);) {
        obj += line + "\n";
        if (line[0] == 'f' && ++faces % 7000 == 0)
            obj += "f 5 5 6\nf 7 8 7 9\n";
    }
    obj += "g lid\nf 1 2 303\nf 303 302 1\n";
    CQuietModel alone(false, false), beside(false, true);
    for (CQuietModel* model : {&alone, &beside}) {
        ASSERT_EQ(ReadBytes(ReadObj, *model, obj), 1);
        ASSERT_EQ(model->GetGroupCount(), 2);
        model->GetGroup(0)->smooth = 1;
        model->CalculateNormals();
    }
    std::string glb;
    for (auto write : {WriteObj, WriteGlb}) {
        CThreadWatch aloneWatch;
        const std::string expected = testfiles::WriteToString(write, alone, 2.0);
        EXPECT_EQ(aloneWatch.Added(), 0) << "threads the write added where none was allowed";
        CThreadWatch watch;
        const std::string bytes = testfiles::WriteToString(write, beside, 2.0);
        EXPECT_EQ(watch.Added(), UsableProcessors() > 1 ? 1 : 0) << "threads the write added";
        ASSERT_GT(expected.size(), 2000000u);
        EXPECT_TRUE(bytes == expected);
        EXPECT_EQ(beside.errors, "");
        glb = bytes;
    }
    std::vector<std::vector<double>> triangles;
    int leftOut = 0;
    for (int g = 0; g < beside.GetGroupCount(); ++g) {
        const CGroup* group = beside.GetGroup(g);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon& face = *group->polygons.GetAt(p);
            for (int k = 2; k < face.count; ++k) {
                const int corners[3] = {0, beside.m_normalOrder ? k : k - 1, beside.m_normalOrder ? k - 1 : k};
                std::vector<double> triangle;
                for (int c : corners)
                    for (float v : {face.GetVertex(c)->x, face.GetVertex(c)->y, face.GetVertex(c)->z})
                        triangle.push_back(2.0 * v);
                if (face.index[0] != face.index[k - 1] && face.index[k - 1] != face.index[k] &&
                    face.index[k] != face.index[0])
                    triangles.push_back(triangle);
                else
                    ++leftOut;
            }
        }
    }
    ASSERT_EQ(triangles.size(), 2u * 300 * 300 + 2);
    EXPECT_EQ(leftOut, 3 * (300 * 300 / 7000));
    EXPECT_TRUE(GlbTriangles(glb) == triangles);
}

}  // namespace
