// Lets a test binary run as it would on a machine with one processor: with
// TRIVEX_TEST_ONE_PROCESSOR set, the process may run on one processor only
// as far as the code under test can tell (this definition stands in for the
// C library's sched_getaffinity, which UsableProcessors asks), and the
// readers and the model take the paths they take there.

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern "C" int sched_getaffinity(pid_t pid, size_t size, cpu_set_t* set)
{
    // The system call fills only the bytes of the kernel's own mask; the C
    // library clears the rest, and so does this.
    const long filled = syscall(SYS_sched_getaffinity, pid, size, set);
    if (filled < 0)
        return -1;
    std::memset(reinterpret_cast<char*>(set) + filled, 0, size - static_cast<size_t>(filled));
    if (std::getenv("TRIVEX_TEST_ONE_PROCESSOR")) {
        // The first processor of the real set, alone.
        for (size_t cpu = 0; cpu < 8 * size; ++cpu)
            if (CPU_ISSET_S(cpu, size, set)) {
                CPU_ZERO_S(size, set);
                CPU_SET_S(cpu, size, set);
                break;
            }
    }
    return 0;
}
