#include "surface/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <sched.h>

namespace {

constexpr int most_threads = 256;
// The processors this process may run on.
int processor_count()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int thread_count_from_environment()
{
    const int processors = std::min(processor_count(), most_threads);
    const char* text = std::getenv("KELVORAND_THREADS");
    if (text == nullptr || *text == '\0')
        return processors;
    const int count = parse_thread_count(text);
    if (count > 0)
        return count;
    std::cerr << "KELVORAND_THREADS is not a whole number from 1 to " << most_threads << "; using "
              << processors << " threads\n";
    return processors;
}

std::atomic<int>& requested_threads()
{
    static std::atomic<int> count{thread_count_from_environment()};
    return count;
}

// Set while a thread runs a loop's body, so that a loop started from within one runs inline
// instead of waiting for threads that are busy with the outer loop.
thread_local bool inside_loop = false;

struct Job {
    std::size_t count = 0;
    std::size_t chunk = 0;
    std::size_t chunks = 0;
    thread_pool_detail::ChunkBody call = nullptr;
    void* body = nullptr;
    std::atomic<std::size_t> next{0};
    std::size_t done = 0; // chunks ended; guarded by the pool's mutex
    std::exception_ptr error;
};

class Pool {
public:
    ~Pool() { resize(0); }

    // Runs job on the workers and the caller; returns when every chunk has ended.
    void run(const std::shared_ptr<Job>& job, int threads)
    {
        const std::lock_guard<std::mutex> one_loop_at_a_time(loop_mutex_);
        if (threads != threads_) {
            resize(threads - 1);
            threads_ = threads;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            current_ = job;
            ++generation_;
        }
        wake_.notify_all();
        const std::size_t finished = work(*job);
        std::unique_lock<std::mutex> lock(mutex_);
        job->done += finished;
        ended_.wait(lock, [&] { return job->done == job->chunks; });
        current_.reset();
        if (job->error)
            std::rethrow_exception(job->error);
    }

private:
    // Takes chunks until none is left; returns how many this thread ran.
    std::size_t work(Job& job)
    {
        std::size_t finished = 0;
        inside_loop = true;
        for (;;) {
            const std::size_t c = job.next.fetch_add(1, std::memory_order_relaxed);
            if (c >= job.chunks)
                break;
            const std::size_t begin = c * job.chunk;
            const std::size_t end = std::min(job.count, begin + job.chunk);
            try {
                job.call(job.body, begin, end);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(mutex_);
                if (!job.error)
                    job.error = std::current_exception();
            }
            ++finished;
        }
        inside_loop = false;
        return finished;
    }

    void serve()
    {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || (generation_ != seen && current_); });
            if (stop_)
                return;
            seen = generation_;
            const std::shared_ptr<Job> job = current_;
            lock.unlock();
            const std::size_t finished = work(*job);
            lock.lock();
            job->done += finished;
            if (job->done == job->chunks)
                ended_.notify_all();
        }
    }

    void resize(int workers)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
        workers_.clear();
        stop_ = false;
        // A worker that cannot be started leaves its share to the others.
        for (int w = 0; w < workers; ++w) {
            try {
                workers_.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    std::mutex loop_mutex_;         // held by the caller of a loop for its whole length
    std::mutex mutex_;              // guards what follows
    std::condition_variable wake_;  // a new loop, or the end
    std::condition_variable ended_; // a loop's last chunk ended
    std::shared_ptr<Job> current_;
    std::uint64_t generation_ = 0;
    bool stop_ = false;
    std::vector<std::thread> workers_;
    int threads_ = 1; // the thread count the workers were started for
};

Pool& pool()
{
    static Pool the_pool;
    return the_pool;
}

} // namespace

int parse_thread_count(const char* text)
{
    if (text == nullptr)
        return 0;
    const char* end = text + std::strlen(text);
    int count = 0;
    const auto [stop, error] = std::from_chars(text, end, count);
    if (error != std::errc() || stop != end || count < 1 || count > most_threads)
        return 0;
    return count;
}

int worker_thread_count() { return requested_threads().load(); }

void set_worker_thread_count(int count)
{
    requested_threads().store(std::clamp(count, 1, most_threads));
}

namespace thread_pool_detail {

void run_chunks(std::size_t count, std::size_t chunk, std::size_t chunks_per_thread, ChunkBody call,
                void* body)
{
    const int threads = worker_thread_count();
    const std::size_t smallest = std::max<std::size_t>(chunk, 1);
    const std::size_t pieces = threads * std::max<std::size_t>(chunks_per_thread, 1);
    const std::size_t share = (count + pieces - 1) / pieces;
    const std::size_t size = std::max(smallest, share);
    const std::size_t chunks = (count + size - 1) / size;
    if (threads <= 1 || chunks <= 1 || inside_loop) {
        call(body, 0, count);
        return;
    }
    auto job = std::make_shared<Job>();
    job->count = count;
    job->chunk = size;
    job->chunks = chunks;
    job->call = call;
    job->body = body;
    pool().run(job, threads);
}

} // namespace thread_pool_detail
