#include "surface/thread_pool.h"

#include "tests/fixtures/thread_count.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <time.h>

namespace {

// How often each index of 0..count - 1 was handed to a body, and whether the ranges were of
// at least chunk items (but the last).
std::vector<int> coverage(std::size_t count, std::size_t chunk, bool& chunks_long_enough)
{
    std::vector<std::atomic<int>> seen(count);
    std::atomic<bool> long_enough{true};
    parallel_for(count, chunk, [&](std::size_t begin, std::size_t end) {
        if (end - begin < chunk && end != count)
            long_enough = false;
        for (std::size_t i = begin; i < end; ++i)
            ++seen[i];
    });
    chunks_long_enough = long_enough;
    std::vector<int> result;
    for (const std::atomic<int>& s : seen)
        result.push_back(s.load());
    return result;
}

double process_cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

TEST(ParallelFor, EveryIndexIsHandedOutExactlyOnce)
{
    struct Case {
        int threads;
        std::size_t count;
        std::size_t chunk;
    };
    const Case cases[] = {
        {1, 1000, 10},   // one thread: a single range on the caller
        {8, 0, 10},      // nothing to do
        {8, 1, 1},       // one item
        {8, 10, 100},    // fewer items than a chunk: on the caller
        {8, 1000, 0},    // a chunk of 0 counts as 1
        {8, 1001, 7},    // a short last chunk
        {3, 100000, 64}, // many chunks per thread
        {256, 50, 1},    // more threads than items
    };
    for (const Case& c : cases) {
        const ThreadCount threads(c.threads);
        bool long_enough = false;
        const std::vector<int> seen = coverage(c.count, c.chunk, long_enough);
        EXPECT_EQ(seen, std::vector<int>(c.count, 1)) << c.threads << " threads, " << c.count;
        EXPECT_TRUE(long_enough) << c.threads << " threads, " << c.count;
    }
}

TEST(ParallelFor, ALoopWithinALoopRunsOnItsCaller)
{
    const ThreadCount threads(4);
    std::vector<std::atomic<int>> seen(64 * 64);
    parallel_for(64, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            parallel_for(64, 1, [&](std::size_t inner_begin, std::size_t inner_end) {
                EXPECT_EQ(inner_begin, 0u);
                EXPECT_EQ(inner_end, 64u);
                for (std::size_t j = inner_begin; j < inner_end; ++j)
                    ++seen[64 * i + j];
            });
    });
    for (const std::atomic<int>& s : seen)
        ASSERT_EQ(s.load(), 1);
}

TEST(ParallelFor, AnExceptionReachesTheCallerAfterEveryRangeHasEnded)
{
    const ThreadCount threads(8);
    std::atomic<int> running{0};
    std::atomic<int> done{0};
    EXPECT_THROW(parallel_for(64, 1,
                              [&](std::size_t begin, std::size_t) {
                                  ++running;
                                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                  --running;
                                  ++done;
                                  if (begin == 5)
                                      throw std::runtime_error("range 5");
                              }),
                 std::runtime_error);
    EXPECT_EQ(running.load(), 0);
    EXPECT_EQ(done.load(), 64);
    bool long_enough = false;
    EXPECT_EQ(coverage(1000, 1, long_enough), std::vector<int>(1000, 1)) << "the pool goes on";
}

TEST(ParallelFor, IdleWorkersSleep)
{
    // Between loops the workers wait on a condition variable: while the caller sleeps, seven
    // spinning workers would burn about 0.7 s of processor time in 0.1 s.
    const ThreadCount threads(8);
    bool long_enough = false;
    coverage(100000, 1, long_enough);
    const double before = process_cpu_seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LT(process_cpu_seconds() - before, 0.05);
}

TEST(ThreadCount, OnlyAWholeNumberFrom1To256IsTaken)
{
    struct Case {
        const char* text;
        int count;
    };
    const Case cases[] = {{"1", 1},   {"8", 8},           {"256", 256}, {"0", 0},
                          {"257", 0}, {"-2", 0},          {"4x", 0},    {" 4", 0},
                          {"", 0},    {"99999999999", 0}, {"2.5", 0}};
    for (const Case& c : cases)
        EXPECT_EQ(parse_thread_count(c.text), c.count) << '"' << c.text << '"';
    EXPECT_EQ(parse_thread_count(nullptr), 0);

    const ThreadCount threads(1000);
    EXPECT_EQ(worker_thread_count(), 256) << "a set count is clamped";
}

} // namespace
