// The program run from the command line with a batch file, as a separate process on this test's
// display: the example's three jobs run unattended, save their results, log every job and close
// the window; a second run appends to the same log; a job whose run stops early closes it too; a
// batch that cannot start ends with its reason; a log that cannot be written costs only the log;
// the exit status says whether every job went well, and closing the window stops the batch.
#include "app/program_version.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/landmarked_pair.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/program_runs.h"
#include "tests/gui/window_close.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

// The line of text that begins at `start`, with its line end.
std::string line_from(const std::string& text, std::size_t start)
{
    return text.substr(start, text.find('\n', start) + 1 - start);
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
    // The log begins with the program that wrote it, after the time of the line.
    const std::string version_line = std::string(": Kelvorand ") + program_version + "\n";
    EXPECT_NE(line_from(first_log, 0).find(version_line), std::string::npos) << first_log;
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
    EXPECT_NE(line_from(second_log, first_log.size()).find(version_line), std::string::npos);
    EXPECT_EQ(occurrences(second_log, "template_bone (LR) and target_bone (HR)\n"), 6u);
    EXPECT_EQ(logged_errors(second_log).size(), 160u);
}

TEST(BatchCommandLine, ManyJobsWhoseSurfacesDoNotLoadNeverStallTheRun)
{
    // Each refused job starts the next at once; without a request for the next idle event the
    // process slept in the event loop after a few of them (fewer jobs may pass by luck), and
    // a program asleep with its jobs left is killed as stalled. However long the jobs take,
    // all of them must have run: the failed ones and the good one after them.
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    std::string jobs = directory.path() + "/\n";
    for (int i = 0; i < 60; ++i)
        jobs += "missing_lr.ply missing_hr.ply n/a n/a 0 0 0 50 0 3 1 0 -1 0 0\n";
    jobs += "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n";
    const std::string batch = directory.write("refused.run", jobs);
    EXPECT_EQ(run_program({KELVORAND_PROGRAM, batch}), 2);
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
    ASSERT_EQ(run_program({KELVORAND_PROGRAM, batch}), 2);
    const std::string log = read_file(directory.file("tps_log.txt"));
    EXPECT_EQ(occurrences(log, "Repeated LR landmarks\n"), 1u);
    EXPECT_EQ(occurrences(log, "Job 1 of 1 failed: lr.ply (LR) and hr.ply (HR)\n"), 1u);
    EXPECT_EQ(occurrences(log, "Registration file saved"), 0u);
    EXPECT_EQ(file_size(directory.file("lr-hr.reg")), -1);
}

TEST(BatchCommandLine, TheExitStatusAndStandardErrorSayHowTheBatchWent)
{
    // What the README promises of a command-line batch: a batch that cannot start ends with
    // status 1 and its reason, one with a failed job with status 2 and a line saying where to
    // read more, a good one with 0 and nothing said.
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    const std::string prefix = directory.path() + "/\n";
    const std::string job = "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n";
    // A folder where the log would go.
    ASSERT_TRUE(std::filesystem::create_directory(directory.file("blocked_log.txt")));
    const struct {
        const char* why;
        std::string file; // "" = none is written
        std::string text;
        int status;
        std::string error; // said on standard error, {batch} and {log} standing for the paths
    } cases[] = {
        {"no such file", "missing.run", "", 1, "Could not open batch file: {batch}\n"},
        {"only a prefix line", "prefix.run", prefix, 1, "Could not parse batch file: {batch}\n"},
        {"a number that is none", "word.run", prefix + "lr.ply hr.ply n/a n/a 0 0 zero 50 0 3 1\n",
         1, "Could not parse batch file: {batch}\n"},
        {"a word in the optional rims column", "rims.run",
         prefix + "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0 yes\n", 1,
         "Could not parse batch file: {batch}\n"},
        {"a log that cannot be created", "blocked.run", prefix + job, 1,
         "Could not open batch log file: {batch}\n"},
        {"a job whose surfaces do not load", "failed.run",
         prefix + "missing.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n" + job, 2,
         "1 of 2 jobs failed; see {log}\n"},
        {"every job went well", "good.run", prefix + job + job, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string batch =
            c.text.empty() ? directory.file(c.file) : directory.write(c.file, c.text);
        const std::string errors = directory.file("stderr.txt");
        EXPECT_EQ(run_program({KELVORAND_PROGRAM, batch}, {}, errors), c.status);
        std::string expected = c.error;
        for (const auto& [name, path] :
             {std::pair<std::string, std::string>{"{batch}", batch},
              {"{log}", batch.substr(0, batch.size() - 4) + "_log.txt"}}) {
            const std::size_t at = expected.find(name);
            if (at != std::string::npos)
                expected.replace(at, name.size(), path);
        }
        // The toolkit may add warnings of its own.
        const std::string said = read_file(errors);
        if (expected.empty()) {
            EXPECT_EQ(occurrences(said, "Could not"), 0u) << said;
            EXPECT_EQ(occurrences(said, "failed"), 0u) << said;
        } else {
            EXPECT_EQ(occurrences(said, expected), 1u) << said;
        }
    }
}

TEST(BatchCommandLine, ALogOnAFullDeviceIsGivenUpAndTheJobsStillRun)
{
    // Every write to the log fails: the program says so once on standard error, goes on with
    // its jobs and tells by its exit status that the log is incomplete.
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    ASSERT_EQ(symlink("/dev/full", directory.file("full_log.txt").c_str()), 0);
    const std::string batch = directory.write(
        "full.run", directory.path() + "/\nlr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n");
    const std::string errors = directory.file("stderr.txt");
    EXPECT_EQ(run_program({KELVORAND_PROGRAM, batch}, {}, errors), 3);
    EXPECT_EQ(occurrences(read_file(errors), "Could not write batch log file"), 1u);
    EXPECT_GT(file_size(directory.file("lr-hr.reg")), 0);
}

TEST(BatchCommandLine, TheExitStatusSaysWhetherEveryJobWentWell)
{
    // Jobs that fail in different ways, each followed by the batch going on: a job asking for a
    // shape model that was refused, a job whose registration file cannot be written, then a good
    // job. The log names every failed job; the good one saves its results.
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    // The second pair has a folder where its registration would go.
    ASSERT_TRUE(std::filesystem::create_directories(directory.file("blocked/lr-hr.reg")));
    ASSERT_TRUE(write_landmarked_pair(directory.file("blocked"), false));
    directory.write("lr.ssm", std::string(12, '\0'));
    const std::string batch = directory.write(
        "jobs.run", directory.path() +
                        "/\n"
                        "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 11 1 -1 0 0\n"
                        "blocked/lr.ply blocked/hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n"
                        "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n");
    EXPECT_EQ(run_program({KELVORAND_PROGRAM, batch}), 2);
    const std::string log = read_file(directory.file("jobs_log.txt"));
    EXPECT_EQ(occurrences(log, "Could not read shape model file lr.ssm: it is not made for as "
                               "many vertices as the LR surface has\n"),
              2u);
    EXPECT_EQ(occurrences(log, "Similarity + SSM is not available without a shape model: job not "
                               "run\n"),
              1u);
    EXPECT_EQ(occurrences(log, "Job 1 of 3 failed: lr.ply (LR) and hr.ply (HR)\n"), 1u);
    EXPECT_EQ(occurrences(log, "Job 2 of 3 failed: blocked/lr.ply (LR) and blocked/hr.ply (HR)\n"),
              1u);
    EXPECT_EQ(occurrences(log, "Job 3 of 3 failed"), 0u);
    // The refused job saved nothing, under no other type's names either; the good job saved.
    EXPECT_EQ(logged_errors(log).size(), 6u);
    EXPECT_EQ(occurrences(log, "Registration file saved\n"), 1u);
    EXPECT_GT(file_size(directory.file("lr-hr.reg")), 0);
}

TEST(BatchCommandLine, AFailedJobLineSaysWhichFileFailedAndAJobMatchingNothingFails)
{
    // An HR surface of one triangle a hundredth of a millimetre wide (the search range follows
    // its size, so no LR vertex comes within it), an HR surface with one stray vertex, an HR
    // data file of the wrong size, then a good job.
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    Mesh tiny;
    tiny.positions = {{0, 0, 0}, {0.01, 0, 0}, {0, 0.01, 0}};
    tiny.triangles = {triangle(0, 1, 2)};
    ASSERT_TRUE(write_ply_file(directory.file("tiny.ply"), tiny));
    Mesh stray = octahedron(10.0);
    stray.positions[3].y = 1e38;
    ASSERT_TRUE(write_ply_file(directory.file("stray.ply"), stray));
    directory.write("hr_thickness.bin", std::string(24, '\0'));
    const std::string batch = directory.write(
        "jobs.run", directory.path() +
                        "/\n"
                        "lr.ply tiny.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n"
                        "lr.ply stray.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n"
                        "lr.ply hr.ply n/a hr_thickness.bin 0 0 0 50 0 3 1 0 -1 0 0\n"
                        "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0\n");
    EXPECT_EQ(run_program({KELVORAND_PROGRAM, batch}), 2);
    const std::string log = read_file(directory.file("jobs_log.txt"));
    EXPECT_EQ(occurrences(log, "No points within ICP distance threshold\n"), 1u);
    EXPECT_EQ(occurrences(log, "Job 1 of 4 failed: lr.ply (LR) and tiny.ply (HR): no points "
                               "within ICP distance threshold\n"),
              1u);
    // The job that matched nothing still saved what it asks for.
    EXPECT_GT(file_size(directory.file("lr-tiny.reg")), 0);
    EXPECT_EQ(occurrences(log, "Could not parse ply file: stray.ply: vertex 3: coordinate "
                               "9.99999968e+37 beyond 1e9\n"),
              1u);
    EXPECT_EQ(occurrences(log, "Job 2 of 4 failed: lr.ply (LR) and stray.ply (HR): stray.ply "
                               "did not load\n"),
              1u);
    EXPECT_EQ(file_size(directory.file("lr-stray.reg")), -1);
    EXPECT_EQ(occurrences(log, "Binary file does not match HR surface: hr_thickness.bin: 3 "
                               "values for 162 HR vertices\n"),
              1u);
    EXPECT_EQ(occurrences(log, "Job 3 of 4 failed: lr.ply (LR) and hr.ply (HR): "
                               "hr_thickness.bin did not load\n"),
              1u);
    EXPECT_EQ(occurrences(log, "Job 4 of 4 failed"), 0u);
    EXPECT_GT(file_size(directory.file("lr-hr.reg")), 0);
}

TEST(BatchCommandLine, AWindowClosedBeforeTheLastJobEndedEndsWithStatus4)
{
    // A user may close the window of a command-line batch: the program ends at once, without a
    // question, and its status says that not every job ran. Each review job turns the view 200
    // steps, far more than run before the window is asked to close.
    TempDirectory directory;
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    std::string jobs = directory.path() + "/\n";
    for (int i = 0; i < 50; ++i)
        jobs += "lr.ply hr.ply n/a n/a 0 0 0 50 0 200 1 0 -1 0 1\n";
    const std::string batch = directory.write("closed.run", jobs);
    const std::string log = directory.file("closed_log.txt");
    const std::string errors = directory.file("stderr.txt");
    const std::string job_started = "lr (LR) and hr (HR)\n";

    ProgramRun program({KELVORAND_PROGRAM, batch}, {}, errors);
    ASSERT_TRUE(program.wait_until([&] { return occurrences(read_file(log), job_started) > 0; }));
    EXPECT_EQ(ask_windows_to_close(program.pid()), 1);
    EXPECT_EQ(program.exit_status(), 4);
    EXPECT_LT(occurrences(read_file(log), job_started), 50u);
    EXPECT_EQ(occurrences(read_file(errors), "jobs failed"), 0u);
}

} // namespace
