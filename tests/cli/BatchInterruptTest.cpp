#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

class BatchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("trivex-batch-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "in");
        fs::create_directories(m_dir / "out");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    pid_t Start(std::vector<std::string> args)
    {
        args.insert(args.begin(), std::string(TRIVEX_BIN_DIR) + "/trivex-convert");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        // Under AddressSanitizer freed memory waits in a quarantine of up to
        // 256 MiB, which would hide whether memory is really given back.
        std::vector<std::string> env;
        std::string asan = "ASAN_OPTIONS=quarantine_size_mb=1";
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("ASAN_OPTIONS=", 0) == 0)
                asan = entry + ":quarantine_size_mb=1";
            else
                env.push_back(entry);
        }
        env.push_back(asan);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // Waits for the child; its exit status, or 128 + the signal that ended it,
    // and its peak resident memory in KiB.
    static int Wait(pid_t pid, long* peakKiB = nullptr)
    {
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) != pid)
            return -1;
        if (peakKiB)
            *peakKiB = usage.ru_maxrss;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::vector<std::string> Inputs(int count, const std::string& text)
    {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            fs::path name = m_dir / "in" / ("m" + std::to_string(i) + ".obj");
            testfiles::WriteAll(name, text);
            names.push_back(name.string());
        }
        return names;
    }

    fs::path m_dir;
};

TEST_F(BatchTest, InterruptLeavesEveryTargetWholeOrAsItWas)
{
    const int kFiles = 24;
    std::vector<std::string> inputs = Inputs(kFiles, testfiles::GridObj(150));
    // What one complete conversion writes.
    std::string reference = (m_dir / "reference.obj").string();
    ASSERT_EQ(Wait(Start({"-q", inputs[0], reference})), 0);
    const std::string whole = testfiles::ReadAll(reference);
    ASSERT_GT(whole.size(), 100000u);
    for (int i = 0; i < kFiles; ++i)
        testfiles::WriteAll(m_dir / "out" / ("m" + std::to_string(i) + ".obj"), "old\n");

    std::vector<std::string> args = {"-q", "-o", (m_dir / "out").string(), "--to", "obj", "-j", "2"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    pid_t pid = Start(args);
    // Interrupt while a target is being written, after some were replaced.
    auto replaced = [&] {
        int n = 0;
        for (int i = 0; i < kFiles; ++i)
            n += testfiles::ReadAll(m_dir / "out" / ("m" + std::to_string(i) + ".obj")) != "old\n";
        return n;
    };
    auto writing = [&] {
        for (const fs::directory_entry& entry : fs::directory_iterator(m_dir / "out"))
            if (entry.path().filename().string().find(".tmp-") != std::string::npos)
                return true;
        return false;
    };
    bool caught = false;
    for (int wait = 0; wait < 60000 && !caught; ++wait) {
        caught = replaced() > 0 && writing();
        if (!caught)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(caught) << "never saw a save under way after a replaced target";
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    EXPECT_EQ(Wait(pid), 128 + SIGINT);

    int finished = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_dir / "out")) {
        std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "temporary file left behind: " << name;
        std::string bytes = testfiles::ReadAll(entry.path());
        EXPECT_TRUE(bytes == "old\n" || bytes == whole) << name << " is half-written";
        finished += bytes == whole;
    }
    EXPECT_LT(finished, kFiles) << "the batch ended before the signal; nothing was interrupted";
}

// Each conversion releases its model, so a long batch needs no more memory
// than a short one.
TEST_F(BatchTest, MemoryDoesNotGrowWithTheBatch)
{
    std::vector<std::string> inputs = Inputs(1000, testfiles::GridObj(6));
    auto run = [&](size_t count) {
        std::vector<std::string> args = {"-q", "-o", (m_dir / "out").string(), "--to", "pov", "-j", "2"};
        args.insert(args.end(), inputs.begin(), inputs.begin() + static_cast<long>(count));
        long peak = 0;
        EXPECT_EQ(Wait(Start(args), &peak), 0);
        return peak;
    };
    long small = run(50);
    long large = run(1000);
    size_t written = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_dir / "out"))
        written += entry.path().extension() == ".pov";
    EXPECT_EQ(written, 1000u);
    // Allocator caches and the sanitizers' bookkeeping vary a little; a leak
    // of the models would add megabytes.
    EXPECT_LT(large, small + small / 4 + 4096) << "peak KiB: 50 files " << small << ", 1000 files " << large;
}

// The conversions of a batch and their readers share the processors the
// converter may use: on two, one conversion reads with a second thread
// (which it does not on one), while -j 2 runs two conversions and no reader
// threads beside them.
TEST_F(BatchTest, ReaderThreadsShareTheProcessorsWithTheBatch)
{
    cpu_set_t all;
    CPU_ZERO(&all);
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t one, two;
    CPU_ZERO(&one);
    CPU_ZERO(&two);
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < 2; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            if (taken++ == 0)
                CPU_SET(cpu, &one);
            CPU_SET(cpu, &two);
        }
    if (CPU_COUNT(&two) < 2)
        GTEST_SKIP() << "needs two processors";
    std::vector<std::string> inputs = Inputs(2, testfiles::GridObj(300));
    // The most threads the converter ran at once, held to `cpus` (which it
    // inherits from the thread that starts it).
    auto peak = [&](const cpu_set_t& cpus, std::vector<std::string> args) {
        EXPECT_EQ(sched_setaffinity(0, sizeof cpus, &cpus), 0);
        const pid_t pid = Start(std::move(args));
        EXPECT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
        const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
        int most = 0;
        // Until it ends, left for Wait to collect.
        for (;;) {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0)
                break;
            std::error_code ec;
            int count = 0;
            for (fs::directory_iterator it(tasks, ec), end; !ec && it != end; it.increment(ec))
                ++count;
            most = std::max(most, count);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        EXPECT_EQ(Wait(pid), 0);
        return most;
    };
    const std::string single = (m_dir / "single.raw").string();
    const int onOne = peak(one, {"-q", inputs[0], single});
    const int onTwo = peak(two, {"-q", inputs[0], single});
    std::vector<std::string> batchArgs = {"-q", "-o", (m_dir / "out").string(), "--to", "raw", "-j", "2"};
    batchArgs.insert(batchArgs.end(), inputs.begin(), inputs.end());
    const int batch = peak(two, batchArgs);
    EXPECT_EQ(onTwo, onOne + 1) << "one conversion on two processors reads with a second thread";
    EXPECT_EQ(batch, onTwo) << "-j 2 on two processors: a second conversion, no reader threads";
}

}  // namespace
