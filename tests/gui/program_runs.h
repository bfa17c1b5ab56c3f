// The program itself run as a separate process on the test's display.
#pragma once

#include <string>
#include <vector>

// Runs a program with its arguments, its environment this process's plus the entries of
// environment ("NAME=value", replacing an entry of the same name), and returns its exit status;
// -1 when it could not be started, did not exit normally, or stalled: a program that works
// takes processor time, however slow the machine, while one asleep in its event loop with
// work left takes none. One that took almost none over a while is killed, and the test fails.
// With error_file, its standard error goes to that file.
int run_program(const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment = {},
                const std::string& error_file = "");
