#pragma once

#include <cstddef>
#include <system_error>
#include <thread>

// Runs work(first, last) on [0, count) in two halves at once, the second on
// another thread, where the count is large enough to pay for the thread;
// else, with one processor, or where no thread can be started, in one go
// here. The halves must write nothing in common, and work must not throw.
template <typename Work>
void InHalves(size_t count, Work&& work)
{
    constexpr size_t kWorthIt = 1u << 16;
    std::thread second;
    if (count >= kWorthIt && std::thread::hardware_concurrency() != 1) {
        try {
            second = std::thread([&work, count] { work(count / 2, count); });
        } catch (const std::system_error&) {
        }
    }
    if (!second.joinable()) {
        work(size_t{0}, count);
        return;
    }
    work(size_t{0}, count / 2);
    second.join();
}

// Runs first() here and second() on another thread at once, where worthIt
// and there is a second processor and a thread can be started; else first()
// and then second(), here. The two must write nothing in common, and neither
// may throw.
template <typename First, typename Second>
void AtOnce(bool worthIt, First&& first, Second&& second)
{
    std::thread other;
    if (worthIt && std::thread::hardware_concurrency() != 1) {
        try {
            other = std::thread([&second] { second(); });
        } catch (const std::system_error&) {
        }
    }
    first();
    if (other.joinable())
        other.join();
    else
        second();
}
