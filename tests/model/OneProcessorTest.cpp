// The binaries that use threads run twice, once as on one processor
// (support/OneProcessor.cpp); that run only means something while the
// switch reaches the count the pipelines go by.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "Pipeline.h"

TEST(OneProcessor, TheSwitchReachesTheProcessorCount)
{
    const char* before = std::getenv("TRIVEX_TEST_ONE_PROCESSOR");
    const std::string kept = before ? before : "";
    setenv("TRIVEX_TEST_ONE_PROCESSOR", "1", 1);
    EXPECT_EQ(UsableProcessors(), 1u);
    EXPECT_FALSE(HelperThreadPays(true));
    unsetenv("TRIVEX_TEST_ONE_PROCESSOR");
    // Without it, the processors of the kernel's own affinity mask.
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_GE(syscall(SYS_sched_getaffinity, 0, sizeof set, &set), 0);
    EXPECT_EQ(UsableProcessors(), static_cast<unsigned>(CPU_COUNT(&set)));
    EXPECT_EQ(HelperThreadPays(true), CPU_COUNT(&set) > 1);
    EXPECT_FALSE(HelperThreadPays(false));
    if (before)
        setenv("TRIVEX_TEST_ONE_PROCESSOR", kept.c_str(), 1);
}

// The count follows the process's affinity, not the machine's processors.
TEST(OneProcessor, TheCountFollowsTheAffinity)
{
    // Asked of the kernel itself: the test's stand-in may be holding the
    // count at one.
    cpu_set_t all;
    CPU_ZERO(&all);
    ASSERT_GE(syscall(SYS_sched_getaffinity, 0, sizeof all, &all), 0);
    int first = 0;
    while (!CPU_ISSET(first, &all))
        ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned held = UsableProcessors();
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(held, 1u);
}
