#include "tests/gui/program_runs.h"

#include <gtest/gtest.h>

#include <thread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

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
    if (spawned == 0)
        child_ = child;
}

ProgramRun::~ProgramRun()
{
    if (child_ != -1 && !has_ended()) {
        kill(child_, SIGKILL);
        waitpid(child_, &status_, 0);
    }
}

bool ProgramRun::has_ended()
{
    if (!ended_ && waitpid(child_, &status_, WNOHANG) != 0)
        ended_ = true;
    return ended_;
}

bool ProgramRun::wait_until(const std::function<bool()>& reached, std::chrono::seconds limit)
{
    if (child_ == -1)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!has_ended() && std::chrono::steady_clock::now() <= deadline) {
        if (reached())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int ProgramRun::exit_status(std::chrono::seconds limit)
{
    if (child_ == -1)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!has_ended()) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child_, SIGKILL);
            waitpid(child_, &status_, 0);
            ended_ = true;
            ADD_FAILURE() << program_ << " still ran after " << limit.count() << " s";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int run_program(const std::vector<std::string>& arguments, std::chrono::seconds limit,
                const std::vector<std::string>& environment, const std::string& error_file)
{
    return ProgramRun(arguments, environment, error_file).exit_status(limit);
}
