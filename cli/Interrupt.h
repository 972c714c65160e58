#pragma once

#include <atomic>
#include <csignal>
#include <thread>

#include "SafeOutput.h"

// Stops a batch cleanly on SIGINT or SIGTERM: the signals are blocked in every
// thread and taken by a watcher thread, which removes the temporary files of
// the saves under way and ends the program. Targets already renamed into place
// are complete; the others are as they were before the batch.
class CInterruptWatch
{
public:
    // Blocks the signals; start it before any other thread so that they
    // inherit the mask.
    CInterruptWatch();
    CInterruptWatch(const CInterruptWatch&) = delete;
    CInterruptWatch& operator=(const CInterruptWatch&) = delete;
    ~CInterruptWatch();

    CTemporaryFiles& Temporaries() { return m_temporaries; }

private:
    void Watch();

    CTemporaryFiles m_temporaries;
    sigset_t m_signals;
    sigset_t m_previous;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
