#include "surface/pair_read_ahead.h"

#include "analysis/surface_geometry.h"
#include "state/working_state.h"
#include "surface/file_refusal.h"
#include "surface/load_surfaces.h"
#include "surface/status_log.h"
#include "utilities/batch_file.h"

#include <array>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <malloc.h>
#include <sys/stat.h>

namespace {

// What a file's status says about its contents: the same file, unchanged, has the same.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::array<long long, 4> times{}; // modification and status change, seconds and nanoseconds

    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               times == other.times;
    }
};

bool identify(const std::string& path, FileIdentity& identity)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return false;
    identity = {status.st_dev,
                status.st_ino,
                status.st_size,
                {status.st_mtim.tv_sec, status.st_mtim.tv_nsec, status.st_ctim.tv_sec,
                 status.st_ctim.tv_nsec}};
    return true;
}

struct PairReadAhead {
    std::array<std::string, 2> paths;
    std::array<std::string, 2> names;
    std::array<FileIdentity, 2> identities;
    // The pair as a load leaves it, in records of their own; none when it did not read whole.
    std::unique_ptr<WorkingState> read;
};

struct ReadAhead {
    ReadAhead() = default;
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    // The last resort of a way out that did not finish the reading: a thread still joinable
    // here would end the process.
    ~ReadAhead()
    {
        if (reader.joinable())
            reader.join();
    }

    std::mutex mutex; // guards what follows
    std::thread reader;
    PairReadAhead pair;
};

ReadAhead& read_ahead()
{
    static ReadAhead ahead;
    return ahead;
}

// On the reader thread: the pair read and analysed as the load does it.
void read_pair(PairReadAhead& pair)
{
    std::vector<std::string> dropped;
    const HeldStatus held(dropped);
    try {
        std::array<FileIdentity, 2> before;
        if (!identify(pair.paths[0], before[0]) || !identify(pair.paths[1], before[1]))
            return;
        auto state = std::make_unique<WorkingState>();
        if (!parse_surface_pair(*state, pair.paths[0], pair.paths[1], pair.names[0],
                                pair.names[1], true))
            return;
        analyse_surface_geometry(*state->lr_surface);
        analyse_surface_geometry(*state->hr_surface);
        pair.identities = before;
        pair.read = std::move(state);
        // The working data of the reading and the analysis came from this thread's own heaps,
        // which the main thread's allocations do not reuse: what they freed goes back now.
        malloc_trim(0);
    } catch (...) {
        // Whatever went wrong here goes wrong again in the load, which reports it.
        pair.read.reset();
    }
}

void join_reader(ReadAhead& ahead)
{
    if (ahead.reader.joinable())
        ahead.reader.join();
}

} // namespace

void start_reading_ahead(const std::string& batch_path, long long least_bytes)
{
    std::vector<std::string> lines;
    BatchFile batch;
    if (!read_text_lines(batch_path, lines) || !parse_batch_lines(lines, batch) ||
        batch.jobs.empty())
        return;
    ReadAhead& ahead = read_ahead();
    const std::lock_guard<std::mutex> lock(ahead.mutex);
    if (ahead.reader.joinable())
        return;
    PairReadAhead& pair = ahead.pair;
    long long bytes = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        pair.paths[i] = batch.prefix + batch.jobs.front().names[i];
        pair.names[i] = file_name_part(pair.paths[i]);
        FileIdentity identity;
        if (!identify(pair.paths[i], identity))
            return;
        bytes += static_cast<long long>(identity.size);
    }
    if (bytes < least_bytes)
        return;
    try {
        ahead.reader = std::thread(read_pair, std::ref(pair));
    } catch (const std::system_error&) {
        // No thread to be had: the load reads the pair itself.
    }
}

bool take_pair_read_ahead(WorkingState& state, const std::string& path1, const std::string& path2,
                          const std::string& name1, const std::string& name2)
{
    ReadAhead& ahead = read_ahead();
    const std::lock_guard<std::mutex> lock(ahead.mutex);
    join_reader(ahead);
    const std::unique_ptr<WorkingState> read = std::move(ahead.pair.read);
    if (!read || ahead.pair.paths != std::array<std::string, 2>{path1, path2} ||
        ahead.pair.names != std::array<std::string, 2>{name1, name2})
        return false;
    for (std::size_t i = 0; i < 2; ++i) {
        FileIdentity now;
        if (!identify(ahead.pair.paths[i], now) || !(now == ahead.pair.identities[i]))
            return false;
    }
    state.unread_surface_name.clear();
    log_status("Parsing first surface");
    log_status("Parsing second surface");
    state.surfaces[0] = std::move(read->surfaces[0]);
    state.surfaces[1] = std::move(read->surfaces[1]);
    state.lr_surface = &state.surfaces[0];
    state.hr_surface = &state.surfaces[1];
    return true;
}

void finish_reading_ahead()
{
    ReadAhead& ahead = read_ahead();
    const std::lock_guard<std::mutex> lock(ahead.mutex);
    join_reader(ahead);
    ahead.pair.read.reset();
}
