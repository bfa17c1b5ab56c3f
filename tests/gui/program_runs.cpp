#include "tests/gui/program_runs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A stalled program takes less than this much processor time over a whole stall window. The
// window is long enough for a program given a small share of a loaded machine's processors to
// take far more, and the sanitizers only make it take more.
constexpr std::chrono::seconds stall_window(30);
constexpr double stalled_seconds = 0.1;

// The processor time a process has taken (all its threads), in seconds; -1 when unknown.
double processor_seconds(pid_t process)
{
    std::ifstream file("/proc/" + std::to_string(process) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold blanks; user and system time are the 12th and 13th
    // fields after it.
    const std::size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos)
        return -1.0;
    std::istringstream fields(stat.substr(name_end + 1));
    std::string field;
    for (int i = 0; i < 11; ++i)
        fields >> field;
    double user = 0.0, system = 0.0;
    if (!(fields >> user >> system))
        return -1.0;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

ProgramRun::ProgramRun(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment, const std::string& error_file)
    : program_(arguments.empty() ? std::string() : arguments[0])
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        bool replaced = false;
        for (const std::string& added : environment)
            replaced = replaced ||
                       text.compare(0, added.find('=') + 1, added, 0, added.find('=') + 1) == 0;
        if (!replaced)
            envp.push_back(*entry);
    }
    for (const std::string& added : environment)
        envp.push_back(const_cast<char*>(added.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!error_file.empty())
        posix_spawn_file_actions_addopen(&actions, 2, error_file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    const int spawned = argv[0] == nullptr ? -1
                                           : posix_spawn(&child, argv[0], &actions, nullptr,
                                                         argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0) {
        child_ = child;
        window_end_ = std::chrono::steady_clock::now() + stall_window;
        window_start_seconds_ = processor_seconds(child_);
    }
}

ProgramRun::~ProgramRun()
{
    if (running()) {
        kill(child_, SIGKILL);
        waitpid(child_, &status_, 0);
    }
}

bool ProgramRun::running()
{
    if (child_ == -1 || ended_)
        return false;
    if (waitpid(child_, &status_, WNOHANG) != 0) {
        ended_ = true;
        return false;
    }
    // A program that keeps working without end is left to the test's own time-out.
    if (std::chrono::steady_clock::now() > window_end_) {
        const double seconds = processor_seconds(child_);
        if (seconds >= 0.0 && seconds - window_start_seconds_ < stalled_seconds) {
            kill(child_, SIGKILL);
            waitpid(child_, &status_, 0);
            ended_ = true;
            status_ = -1;
            ADD_FAILURE() << program_ << " stalled: it took " << seconds - window_start_seconds_
                          << " s of processor time in " << stall_window.count() << " s";
            return false;
        }
        window_start_seconds_ = seconds;
        window_end_ = std::chrono::steady_clock::now() + stall_window;
    }
    return true;
}

bool ProgramRun::wait_until(const std::function<bool()>& reached)
{
    while (running()) {
        if (reached())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int ProgramRun::exit_status()
{
    while (running())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return child_ != -1 && status_ != -1 && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int run_program(const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment, const std::string& error_file)
{
    return ProgramRun(arguments, environment, error_file).exit_status();
}
