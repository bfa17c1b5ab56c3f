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
//
// Waits on it never depend on wall time alone: a program that works takes processor time,
// however slow the machine, while one asleep in its event loop with work left takes none. One
// that took almost none over a while is killed as stalled, and the test fails.
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

    // Waits until `reached` holds while the program runs. False when the program ended or
    // stalled first.
    bool wait_until(const std::function<bool()>& reached);

    // Waits for the program to end and returns its exit status; -1 when it could not be started,
    // did not exit normally, or stalled.
    int exit_status();

private:
    // False once the program has ended (reaped, its status kept) or was killed as stalled.
    bool running();
    std::string program_;
    pid_t child_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::chrono::steady_clock::time_point window_end_;
    double window_start_seconds_ = 0.0;
};

// Runs a program as ProgramRun does and returns its exit status.
int run_program(const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment = {},
                const std::string& error_file = "");
