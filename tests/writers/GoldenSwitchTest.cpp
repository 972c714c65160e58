#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestFiles.h"

namespace {

// Sets an environment variable for one scope and restores it after.
class CScopedEnv
{
public:
    CScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        ::setenv(name, value, 1);
    }
    ~CScopedEnv()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

}  // namespace

// Only the regeneration script's own value may rewrite golden files; any
// other setting still compares, so wrong output still fails.
TEST(GoldenFiles, OnlyTheScriptsValueRewrites)
{
    const std::string name = "asc_tetrahedron.asc";
    const auto path = std::filesystem::path(TRIVEX_TEST_DATA) / "golden" / name;
    const std::string kept = testfiles::ReadAll(path);
    ASSERT_FALSE(kept.empty());
    for (const char* value : {"1", "0", "", "yes", "regenerate "}) {
        CScopedEnv env("TRIVEX_UPDATE_GOLDEN", value);
        SCOPED_TRACE(std::string("TRIVEX_UPDATE_GOLDEN=\"") + value + "\"");
        EXPECT_NONFATAL_FAILURE(testfiles::ExpectGolden(name, "not the writer's output"), "differs from golden file");
        const bool unchanged = testfiles::ReadAll(path) == kept;
        EXPECT_TRUE(unchanged) << "TRIVEX_UPDATE_GOLDEN=\"" << value << "\" rewrote " << name;
        if (!unchanged)
            testfiles::WriteAll(path, kept);
    }
}
