// The program run from the command line with a batch file, as a separate process on this test's
// display: the example's three jobs run unattended, save their results, log every job and close
// the window; a second run appends to the same log; a job whose run stops early closes it too.
#include "tests/fixtures/landmarked_pair.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/program_runs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

long file_size(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

// The alignment errors the log reports, in order.
std::vector<double> logged_errors(const std::string& log)
{
    static const std::regex iteration("Iteration [0-9]+, error is ([0-9.]+) mm per point");
    std::vector<double> errors;
    for (std::sregex_iterator it(log.begin(), log.end(), iteration), end; it != end; ++it)
        errors.push_back(std::strtod((*it)[1].str().c_str(), nullptr));
    return errors;
}

TEST(BatchCommandLine, TheExampleRunsUnattendedAndEachRunAppendsToItsLog)
{
    TempDirectory directory;
    ASSERT_EQ(run_program({KELVORAND_EXAMPLE_TOOL, directory.path()}), 0);
    const std::string batch = directory.file("bones.run");
    const std::string log_path = directory.file("bones_log.txt");

    // Exit status 0: the window closed by itself after the last job.
    ASSERT_EQ(run_program({KELVORAND_PROGRAM, batch}), 0);
    const std::string first_log = read_file(log_path);
    EXPECT_EQ(occurrences(first_log, "template_bone (LR) and target_bone (HR)\n"), 3u);
    EXPECT_EQ(occurrences(first_log, "Registration file saved\n"), 2u);
    EXPECT_EQ(occurrences(first_log, "Wrote LR data\n"), 1u);
    EXPECT_EQ(occurrences(first_log, "Saved LR-HR vertex and data map\n"), 1u);

    // 60 iterations of the first job and 20 of the second, numbers with a decimal point
    // whatever the locale; the registration brings the template onto the target.
    const std::vector<double> errors = logged_errors(first_log);
    ASSERT_EQ(errors.size(), 80u);
    EXPECT_GT(errors.front(), 2.0 * errors[59]);
    EXPECT_LT(errors[59], 3.0);

    // What the jobs saved: the registration, the mapped data (one double per template vertex,
    // like the target's data of the same size), the LR-HR map and the review job's picture.
    EXPECT_GT(file_size(directory.file("template_bone-target_bone.reg")), 0);
    EXPECT_EQ(file_size(directory.file("template_bone_mapped_with_target_bone_2HR_thickness.bin")),
              file_size(directory.file("target_bone_thickness.bin")));
    EXPECT_GT(file_size(directory.file(
                  "template_bone_mapped_with_target_bone_thickness_2HR-target_bone_thickness_2HR-"
                  "sim.csv")),
              0);
    EXPECT_EQ(read_file(directory.file("template_bone-target_bone.png")).substr(0, 8),
              "\x89PNG\r\n\x1a\n");

    // The second run starts from the saved registration and appends its lines.
    ASSERT_EQ(run_program({KELVORAND_PROGRAM, batch}), 0);
    const std::string second_log = read_file(log_path);
    EXPECT_EQ(second_log.substr(0, first_log.size()), first_log);
    EXPECT_EQ(occurrences(second_log, "template_bone (LR) and target_bone (HR)\n"), 6u);
    EXPECT_EQ(logged_errors(second_log).size(), 160u);
}

TEST(BatchCommandLine, ManyJobsWhoseSurfacesDoNotLoadNeverStallTheRun)
{
    // Each refused job starts the next at once; without a request for the next idle event the
    // process slept in the event loop after a few of them (fewer jobs may pass by luck).
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    std::string jobs = directory.path() + "/\n";
    for (int i = 0; i < 60; ++i)
        jobs += "missing_lr.ply missing_hr.ply n/a n/a 0 0 0 50 0 3 1 0 -1 0 0\n";
    jobs += "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n";
    const std::string batch = directory.write("refused.run", jobs);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(run_program({KELVORAND_PROGRAM, batch}, std::chrono::seconds(60)), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    const std::string log = read_file(directory.file("refused_log.txt"));
    EXPECT_EQ(occurrences(log, "No surfaces to register\n"), 60u);
    EXPECT_EQ(logged_errors(log).size(), 3u);
    EXPECT_EQ(occurrences(log, "Registration file saved\n"), 1u);
}

TEST(BatchCommandLine, AThinPlateSplineJobThatCannotRegisterStillEndsTheProgram)
{
    // The one job's landmarks repeat, so its first "Similarity + TPS" step stops the run: the
    // unattended program must close as after a finished job, not wait for a press of Start.
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), true));
    const std::string batch = directory.write(
        "tps.run", directory.path() + "/\nlr.ply hr.ply n/a n/a 0 0 0 50 0 5 10 1 -1 0 0\n");
    ASSERT_EQ(run_program({KELVORAND_PROGRAM, batch}, std::chrono::seconds(60)), 0);
    const std::string log = read_file(directory.file("tps_log.txt"));
    EXPECT_EQ(occurrences(log, "Repeated LR landmarks\n"), 1u);
    EXPECT_EQ(occurrences(log, "Registration file saved"), 0u);
    EXPECT_EQ(file_size(directory.file("lr-hr.reg")), -1);
}

} // namespace
