#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Model.h"

namespace testfiles {

inline std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A flat grid of n by n quads, as OBJ.
inline std::string GridObj(int n)
{
    std::string text;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            text += "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string((x * y) % 7) + "\n";
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int a = y * (n + 1) + x + 1;
            text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + n + 2) + " " +
                    std::to_string(a + n + 1) + "\n";
        }
    return text;
}

// Runs a writer on a temporary stream and returns what it wrote.
template <typename Writer>
std::string WriteToString(Writer writer, CModel& model, double scale, int* result = nullptr)
{
    FILE* fp = std::tmpfile();
    if (!fp) {
        ADD_FAILURE() << "tmpfile failed";
        return {};
    }
    int r = writer(model, fp, scale);
    if (result)
        *result = r;
    std::fflush(fp);
    std::string bytes;
    long size = std::ftell(fp);
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        std::rewind(fp);
        size_t got = std::fread(bytes.data(), 1, bytes.size(), fp);
        bytes.resize(got);
    }
    std::fclose(fp);
    return bytes;
}

// The model's group names in their stored order.
inline std::vector<std::string> GroupNames(const CModel& model)
{
    std::vector<std::string> names;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        names.push_back(model.GetGroup(g)->name);
    return names;
}

// Opens a stream on an in-memory copy of `text`, for feeding readers.
inline FILE* OpenText(const std::string& text)
{
    FILE* fp = std::tmpfile();
    if (fp) {
        std::fwrite(text.data(), 1, text.size(), fp);
        std::rewind(fp);
    }
    return fp;
}

// The value of TRIVEX_UPDATE_GOLDEN with which scripts/regen-golden.sh asks
// the golden tests to rewrite their files. Any other value, empty included,
// leaves the tests comparing: a stray setting must not turn every golden test
// into a pass.
inline constexpr char kRegenerateGolden[] = "regenerate";

inline bool RegeneratingGolden()
{
    const char* value = std::getenv("TRIVEX_UPDATE_GOLDEN");
    return value && std::string(value) == kRegenerateGolden;
}

// Compares bytes with the checked-in file tests/data/golden/<name>. While the
// regeneration script runs, writes the file instead, so a reviewer reads the
// change as a diff.
inline void ExpectGolden(const std::string& name, const std::string& bytes)
{
    std::filesystem::path path = std::filesystem::path(TRIVEX_TEST_DATA) / "golden" / name;
    if (RegeneratingGolden()) {
        WriteAll(path, bytes);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << "missing golden file " << name
                                               << "; run scripts/regen-golden.sh";
    std::string expected = ReadAll(path);
    EXPECT_EQ(expected, bytes) << "output differs from golden file " << name;
}

// The shared sample corpus lives beside the clone; tests that need it skip
// when it is absent.
inline std::filesystem::path CorpusDir(const std::string& sub)
{
    return std::filesystem::path(TRIVEX_CORPUS_DIR) / sub;
}

#define TRIVEX_REQUIRE_CORPUS(sub)                                                              \
    do {                                                                                        \
        if (!std::filesystem::is_directory(testfiles::CorpusDir(sub)))                          \
            GTEST_SKIP() << "sample corpus not found at " << testfiles::CorpusDir(sub).string(); \
    } while (0)

// Runs a shell command, capturing standard output and standard error together.
inline int RunCommand(const std::string& command, std::string* output = nullptr)
{
    std::string full = command + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveTool(const std::string& name)
{
    return RunCommand("command -v " + name + " >/dev/null") == 0;
}

}  // namespace testfiles
