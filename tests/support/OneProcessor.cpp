// Lets a test binary run as it would on a machine with one processor: with
// TRIVEX_TEST_ONE_PROCESSOR set, the count of processors the standard
// library reports (std::thread::hardware_concurrency asks the C library's
// get_nprocs, which this definition stands in for) is 1, and the readers
// and the model take the paths they take there.

#include <unistd.h>

#include <cstdlib>

extern "C" int get_nprocs(void)
{
    if (std::getenv("TRIVEX_TEST_ONE_PROCESSOR"))
        return 1;
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}
