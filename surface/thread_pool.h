// Loops whose items are independent, spread over a small pool of worker threads.
//
// Why a pool of our own rather than OpenMP or TBB: the loops here are short (a few
// milliseconds per matching pass or residual evaluation) and come in long runs, so the threads
// must stay alive between them, and they must sleep between them rather than spin: a spinning
// wait costs the other programs of a loaded machine, and our own next loop, most of the time the
// cores are supposed to be idle. With OpenMP that depends on the wait policy in the user's
// environment, and TBB's workers spin for a while before they sleep. Here a worker waits on a
// condition variable and the caller, once its own share is done, waits on another; nobody
// polls.
//
// The items of a loop are handed out in chunks of consecutive indices; which thread runs which
// chunk is left to chance, so a loop body must not depend on it: each item writes only its own
// outputs, and sums over items are left to the caller, in index order, so that every thread
// count gives the very same bits.
//
// The number of threads (the caller included) is KELVORAND_THREADS from the environment, a
// whole number from 1 to 256, else the processor count. 1 runs every loop on the caller.
#pragma once

#include <cstddef>
#include <type_traits>

// The number of threads a loop may use, the calling one included; at least 1.
int worker_thread_count();

// Sets the number of threads for the loops that follow (clamped to 1..256); the pool grows or
// shrinks at the next loop. For tests and tools; the program takes the environment's choice.
void set_worker_thread_count(int count);

// The thread count that the text of KELVORAND_THREADS asks for, or 0 when it is not a whole
// number from 1 to 256.
int parse_thread_count(const char* text);

// Chunks per thread a loop is cut into when its items are many: enough that a thread held up by
// the machine's other work leaves its share to the others, few enough that handing them out
// costs nothing to speak of. A loop whose items differ much in cost may ask for more.
constexpr std::size_t default_chunks_per_thread = 8;

namespace thread_pool_detail {
using ChunkBody = void (*)(void* body, std::size_t begin, std::size_t end);
void run_chunks(std::size_t count, std::size_t chunk, std::size_t chunks_per_thread, ChunkBody call,
                void* body);
} // namespace thread_pool_detail

// Calls body(begin, end) for consecutive ranges that together cover 0..count - 1 exactly once,
// each of at least `chunk` items (the last may be shorter) and about chunks_per_thread of them
// per thread when the items are many, and returns when all are done. The ranges run on the
// pool's threads and on the caller; with one thread, with a count of at most one chunk, or from
// within another loop's body, body(0, count) runs on the caller. An exception thrown by body is
// rethrown here once every range has ended.
template <typename Body>
void parallel_for(std::size_t count, std::size_t chunk, Body&& body,
                  std::size_t chunks_per_thread = default_chunks_per_thread)
{
    if (count == 0)
        return;
    using Plain = std::remove_reference_t<Body>;
    thread_pool_detail::run_chunks(
        count, chunk, chunks_per_thread,
        [](void* b, std::size_t begin, std::size_t end) { (*static_cast<Plain*>(b))(begin, end); },
        const_cast<void*>(static_cast<const void*>(&body)));
}

// Calls item(i) for every i of 0..count - 1, spread over the threads as parallel_for spreads
// its ranges.
template <typename Item>
void parallel_for_each(std::size_t count, std::size_t chunk, Item&& item,
                       std::size_t chunks_per_thread = default_chunks_per_thread)
{
    parallel_for(
        count, chunk,
        [&item](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
                item(i);
        },
        chunks_per_thread);
}
