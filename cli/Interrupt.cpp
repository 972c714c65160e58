#include "Interrupt.h"

#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

CInterruptWatch::CInterruptWatch()
{
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
    m_thread = std::thread([this] { Watch(); });
}

CInterruptWatch::~CInterruptWatch()
{
    m_stop = true;
    // Wakes the watcher now rather than at its next tick, which would hold
    // every run of the converter up by as much. The signal goes to the
    // watcher's thread alone and, with m_stop set, only ends its wait: the
    // work is all done, so a real interrupt now has nothing left to undo.
    pthread_kill(m_thread.native_handle(), SIGTERM);
    m_thread.join();
    // A signal that arrived after the watcher stopped is delivered now, with
    // nothing left half-written.
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

void CInterruptWatch::Watch()
{
    // Waking now and then to see whether the batch is over keeps the watcher
    // free of any signal of its own.
    const timespec tick = {0, 50 * 1000 * 1000};
    while (!m_stop) {
        int sig = sigtimedwait(&m_signals, nullptr, &tick);
        if (m_stop)
            break;
        if (sig != SIGINT && sig != SIGTERM)
            continue;
        // The lock is never released: no save may complete once the
        // temporaries are gone.
        m_temporaries.Lock().lock();
        m_temporaries.RemoveAllLocked();
        const char* what = sig == SIGINT ? "trivex-convert: interrupted\n" : "trivex-convert: terminated\n";
        ssize_t written = ::write(2, what, std::strlen(what));
        (void)written;
        ::_exit(128 + sig);
    }
}
