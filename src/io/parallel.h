// The per-voxel passes on every core: a range of planes (or rows, or bins)
// cut into slabs, one thread each, the calling thread taking the first.
// Each slab writes only its own part of the output, so the result is the
// same byte for byte whatever the number of threads.
#ifndef GLIMRA_PARALLEL_H
#define GLIMRA_PARALLEL_H

#include <algorithm>
#include <thread>
#include <vector>

// Threads for a pass: threads when positive, else one per core.
inline int passThreads(int threads = 0)
{
    if (threads > 0)
        return threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? static_cast<int>(cores) : 1;
}

// Runs work(slab, begin, end) over [0, count) in at most passThreads(threads)
// slabs of at least minPerSlab items, slab 0 on the calling thread, and
// returns when every slab is done. A thread that cannot be started leaves
// its slab to the calling thread.
template <typename Work>
void forEachSlab(long count, Work work, int threads = 0, long minPerSlab = 1)
{
    if (count <= 0)
        return;
    long slabs = std::min<long>(passThreads(threads), std::max<long>(1, count / std::max<long>(1, minPerSlab)));
    const long per = (count + slabs - 1) / slabs;
    slabs = (count + per - 1) / per;
    std::vector<std::thread> workers;
    std::vector<long> leftover;
    for (long s = 1; s < slabs; ++s) {
        const long begin = s * per, end = std::min(count, begin + per);
        try {
            workers.emplace_back([&work, s, begin, end] { work(static_cast<int>(s), begin, end); });
        } catch (...) {
            leftover.push_back(s);
        }
    }
    work(0, 0, std::min(count, per));
    for (long s : leftover)
        work(static_cast<int>(s), s * per, std::min(count, s * per + per));
    for (std::thread& t : workers)
        t.join();
}

#endif
