#include "surface/whole_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Closes a descriptor on every path out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    // Closes now; false when the close reports an error (a delayed write failure among them).
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies everything fd can still give into out; false on a read or write error.
bool copy_all(int fd, int out)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!write_all(out, buffer, static_cast<std::size_t>(got)))
            return false;
    }
}

// The file that the bytes for path really replace: a symbolic link is followed, so that the
// link itself stays. A path that does not exist yet stays as it is.
std::string resolved_target(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string target(real);
    std::free(real);
    return target;
}

// What a temporary's name holds after the target's name: the program, the process that writes
// it (so that a later save can tell a crashed writer's leftover from a save still going on) and
// a random tag (so that two writers of one process never meet).
const char temporary_marker[] = ".kelvorand-";
const char temporary_ending[] = ".tmp";
constexpr std::size_t tag_length = 6;
// The marker, at most 10 digits of a process id, "-", the tag and the ending.
constexpr std::size_t temporary_extra =
    sizeof temporary_marker - 1 + 10 + 1 + tag_length + sizeof temporary_ending - 1;

std::string random_tag()
{
    thread_local std::mt19937_64 generator(std::random_device{}() ^
                                           static_cast<std::uint64_t>(::getpid()));
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tag(tag_length, 'a');
    for (char& c : tag)
        c = letters[generator() % (sizeof letters - 1)];
    return tag;
}

// The directory part of target (with its slash, "" for none) and the name the temporaries of
// target start with: its file name, or a short one of their own for a name near the file
// system's limit.
void temporary_base(const std::string& target, std::string& directory, std::string& base)
{
    const std::size_t slash = target.rfind('/');
    directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    base = name.size() + temporary_extra <= NAME_MAX ? name : ".kelvorand";
}

// The process id in a temporary's name of base: base, the marker, digits, "-", the tag, the
// ending; 0 when name is no such temporary.
pid_t temporary_writer(const std::string& name, const std::string& base)
{
    const std::string prefix = base + temporary_marker;
    const std::size_t tail = 1 + tag_length + sizeof temporary_ending - 1;
    if (name.size() <= prefix.size() + tail || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - (sizeof temporary_ending - 1), std::string::npos,
                     temporary_ending) != 0 ||
        name[name.size() - tail] != '-')
        return 0;
    const std::string digits = name.substr(prefix.size(), name.size() - tail - prefix.size());
    if (digits.empty() || digits.size() > 10 || digits[0] == '0')
        return 0;
    long long pid = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// Whether no process with this id exists (a process of another user still exists).
bool process_is_gone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Removes the temporaries of target that a process left which no longer exists: it was killed
// or crashed during a save, and nothing else would ever remove them. Only regular files go;
// failures are left to the save itself to meet.
void remove_stale_temporaries(const std::string& directory, const std::string& base)
{
    DIR* listing = ::opendir(directory.empty() ? "." : directory.c_str());
    if (listing == nullptr)
        return;
    const pid_t own = ::getpid();
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        const pid_t writer = temporary_writer(name, base);
        struct stat status {};
        if (writer == 0 || writer == own || !process_is_gone(writer) ||
            ::fstatat(::dirfd(listing), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode))
            continue;
        ::unlinkat(::dirfd(listing), name.c_str(), 0);
    }
    ::closedir(listing);
}

// Creates a new temporary file beside target, mode 0666 before the umask, after removing the
// leftovers of earlier writers of target that are gone; -1 when that fails.
int create_temporary(const std::string& target, std::string& temporary)
{
    std::string directory, base;
    temporary_base(target, directory, base);
    remove_stale_temporaries(directory, base);
    const std::string start =
        directory + base + temporary_marker + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = start + random_tag() + temporary_ending;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// A target that exists and is no regular file (a device, a FIFO) takes the bytes in place:
// renaming over it would replace the device rather than write to it. Never blocks on a FIFO
// without a reader.
bool write_in_place(const std::string& target, const std::string& bytes, bool append)
{
    Descriptor fd(
        ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : O_TRUNC)));
    if (fd.get() < 0)
        return false;
    const bool written = write_all(fd.get(), bytes.data(), bytes.size());
    return fd.close() && written;
}

// Writes the old content of target (when keep_old) and bytes into a temporary beside it and
// renames that over target.
bool replace_file(const std::string& path, const std::string& bytes, bool keep_old)
{
    const std::string target = resolved_target(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return write_in_place(target, bytes, keep_old);
    const bool copy_old = exists && keep_old;
    const Descriptor old(copy_old ? ::open(target.c_str(), O_RDONLY | O_CLOEXEC) : -1);
    if (copy_old && old.get() < 0)
        return false;
    std::string temporary;
    Descriptor out(create_temporary(target, temporary));
    if (out.get() < 0)
        return false;
    bool good = true;
    if (exists)
        good = ::fchmod(out.get(), existing.st_mode & 07777) == 0;
    if (good && old.get() >= 0)
        good = copy_all(old.get(), out.get());
    good = good && write_all(out.get(), bytes.data(), bytes.size());
    good = good && ::fsync(out.get()) == 0;
    good = out.close() && good;
    good = good && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!good)
        ::unlink(temporary.c_str());
    return good;
}

} // namespace

FilePointer open_regular_file(const std::string& path)
{
    // Opening without blocking: a FIFO without a writer would otherwise wait for ever.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return nullptr;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return nullptr;
    FilePointer file(::fdopen(fd.get(), "rb"));
    if (file)
        fd.release();
    return file;
}

WholeFileRead read_whole_file(const std::string& path, std::uint64_t limit, std::string& bytes)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return WholeFileRead::not_a_file;
    const FilePointer file = open_regular_file(path);
    if (!file)
        return WholeFileRead::not_opened;
    if (::fstat(::fileno(file.get()), &status) == 0 &&
        static_cast<std::uint64_t>(status.st_size) > limit)
        return WholeFileRead::too_large;
    std::string read;
    read.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[64 * 1024];
    // The size is checked again while reading: the file may grow meanwhile.
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        if (read.size() + got > limit)
            return WholeFileRead::too_large;
        read.append(buffer, got);
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(file.get()))
        return WholeFileRead::not_opened;
    bytes = std::move(read);
    return WholeFileRead::read;
}

bool write_whole_file(const std::string& path, const std::string& bytes)
{
    return replace_file(path, bytes, false);
}

bool append_to_whole_file(const std::string& path, const std::string& bytes)
{
    return replace_file(path, bytes, true);
}
