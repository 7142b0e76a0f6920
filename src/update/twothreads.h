#ifndef TWOTHREADS_H
#define TWOTHREADS_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>

// Runs work(i) for every i below count on a second thread, while this one
// runs `beside` and then helps with what is left. Each thread takes `run`
// neighbours at a time: neighbours in a file list mostly share a directory,
// whose lock two threads writing there would contend for.
template <typename Beside, typename Work>
void besideOnTwoThreads(const Beside& beside, size_t count, const Work& work, size_t run = 1)
{
    std::atomic<size_t> next { 0 };
    const auto share = [&] {
        for (size_t first = next.fetch_add(run); first < count; first = next.fetch_add(run)) {
            for (size_t i = first; i < std::min(count, first + run); ++i)
                work(i);
        }
    };
    // A thread costs more than a few small files take.
    if (count < 8) {
        beside();
        share();
        return;
    }
    std::thread helper(share);
    beside();
    share();
    helper.join();
}

// Runs work(i) for every i below count, on this thread and one more.
template <typename Work> void onTwoThreads(size_t count, const Work& work, size_t run = 1)
{
    besideOnTwoThreads([] {}, count, work, run);
}

#endif
