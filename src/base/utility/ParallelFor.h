// Work on the files of a package on several threads. Much of a file call's
// cost is waiting for the answer: another thread asks its question meanwhile,
// so file work gains from more threads than cores.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <optional>
#include <thread>

#include "HelperThread.h"

namespace Base {
namespace Utility {

// body(i) for every i below n, in order of i on each thread; on threads - 1
// helpers too from parallelFrom items on a machine with more than one core.
// After the first failure no further index is started. Returns the lowest
// failed index, or n: every index below it was done, some above it may have
// been.
template <class F>
size_t ParallelFor(size_t n, size_t parallelFrom, F body, unsigned threads = 2)
{
    std::atomic<size_t> next{0};
    std::atomic<size_t> failed{n};
    auto work = [&] {
        for (size_t i; failed.load() == n && (i = next++) < n;) {
            if (body(i)) continue;
            for (size_t seen = failed.load(); i < seen && !failed.compare_exchange_weak(seen, i);) {
            }
        }
    };
    std::optional<CHelperThread> helpers[8];
    if (n >= std::max<size_t>(parallelFrom, 2) && std::thread::hardware_concurrency() > 1)
        for (unsigned k = 0; k + 1 < threads && k < 8; ++k) helpers[k].emplace(work);
    work();
    for (auto& helper : helpers)
        if (helper) helper->Join();
    return failed.load();
}

}  // namespace Utility
}  // namespace Base
