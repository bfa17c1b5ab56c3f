// The program itself run as a separate process on the test's display.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// Runs a program with its arguments, its environment this process's plus the entries of
// environment ("NAME=value", replacing an entry of the same name), and returns its exit status;
// -1 when it could not be started, did not exit normally, or was still running after the time
// limit (it is killed, and the test fails). With error_file, its standard error goes to that file.
int run_program(const std::vector<std::string>& arguments,
                std::chrono::seconds limit = std::chrono::seconds(120),
                const std::vector<std::string>& environment = {},
                const std::string& error_file = "");
