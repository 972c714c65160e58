// The binaries that use threads run twice, once as on one processor
// (support/OneProcessor.cpp); that run only means something while the
// switch reaches the standard library.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

TEST(OneProcessor, TheSwitchReachesTheStandardLibrary)
{
    const char* before = std::getenv("TRIVEX_TEST_ONE_PROCESSOR");
    const std::string kept = before ? before : "";
    setenv("TRIVEX_TEST_ONE_PROCESSOR", "1", 1);
    EXPECT_EQ(std::thread::hardware_concurrency(), 1u);
    unsetenv("TRIVEX_TEST_ONE_PROCESSOR");
    EXPECT_EQ(std::thread::hardware_concurrency(), static_cast<unsigned>(sysconf(_SC_NPROCESSORS_ONLN)));
    if (before)
        setenv("TRIVEX_TEST_ONE_PROCESSOR", kept.c_str(), 1);
}
