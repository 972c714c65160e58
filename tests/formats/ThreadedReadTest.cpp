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
#include <string>
#include <system_error>
#include <thread>

#include "DxfReader.h"
#include "Pipeline.h"
#include "TestFiles.h"
#include "TextReaders.h"
#include "Writers.h"

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

// The OBJ writer's stretches, of a large group and a small one after it.
TEST(ThreadedWrite, StretchesComeOutInTheirOrder)
{
    std::string obj = testfiles::GridObj(300) + "g lid\nf 1 2 303\nf 303 302 1\n";
    CQuietModel alone(false, false), beside(false, true);
    ASSERT_EQ(ReadBytes(ReadObj, alone, obj), 1);
    ASSERT_EQ(ReadBytes(ReadObj, beside, obj), 1);
    ASSERT_EQ(alone.GetGroupCount(), 2);
    CThreadWatch aloneWatch;
    const std::string expected = testfiles::WriteToString(WriteObj, alone, 2.0);
    EXPECT_EQ(aloneWatch.Added(), 0) << "threads the write added where none was allowed";
    CThreadWatch watch;
    const std::string bytes = testfiles::WriteToString(WriteObj, beside, 2.0);
    EXPECT_EQ(watch.Added(), UsableProcessors() > 1 ? 1 : 0) << "threads the write added";
    ASSERT_GT(expected.size(), 4000000u);
    EXPECT_TRUE(bytes == expected);
    EXPECT_EQ(beside.errors, "");
}

}  // namespace
