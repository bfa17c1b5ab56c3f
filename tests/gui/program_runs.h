// The program itself run as a separate process on the test's display.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

// A program started with its arguments, its environment this process's plus the entries of
// environment ("NAME=value", replacing an entry of the same name); with error_file, its standard
// error goes to that file. A program still running when this ends is killed.
class ProgramRun {
public:
    explicit ProgramRun(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {},
                        const std::string& error_file = "");
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // The process id; -1 when it could not be started.
    pid_t pid() const { return child_; }

    // Waits until `reached` holds while the program runs. False when the program ended first or
    // was still short of it after the time limit.
    bool wait_until(const std::function<bool()>& reached, std::chrono::seconds limit);

    // Waits for the program to end and returns its exit status; -1 when it could not be started,
    // did not exit normally, or was still running after the time limit (it is killed, and the
    // test fails).
    int exit_status(std::chrono::seconds limit);

private:
    bool has_ended(); // reaps the program once it has ended, keeping its status
    std::string program_;
    pid_t child_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

// Runs a program as ProgramRun does and returns its exit status.
int run_program(const std::vector<std::string>& arguments,
                std::chrono::seconds limit = std::chrono::seconds(120),
                const std::vector<std::string>& environment = {},
                const std::string& error_file = "");
