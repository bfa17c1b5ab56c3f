// The program run from the command line on a table of batch jobs once on one thread and once on
// eight (KELVORAND_THREADS): every file the jobs write, the picture included, and every line of
// the batch log come out the same.
#include "tests/fixtures/batch_job_table.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/program_runs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

namespace {

// The log without the time stamp before each line's first ": ".
std::string log_without_times(const std::string& log)
{
    std::istringstream lines(log);
    std::string line, result;
    while (std::getline(lines, line)) {
        const std::size_t stamp = line.find(": ");
        result += (stamp == std::string::npos ? line : line.substr(stamp + 2)) + "\n";
    }
    return result;
}

// Every file of directory by name, the batch file left out (it names the directory).
std::map<std::string, std::string> files_of(const std::string& directory)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name == "jobs.run")
            continue;
        const std::string bytes = read_file(entry.path().string());
        files[name] = name == "jobs_log.txt" ? log_without_times(bytes) : bytes;
    }
    return files;
}

TEST(ThreadCountBatch, EveryFileOfTheJobTableIsTheSameOnOneThreadAndOnEight)
{
    std::map<std::string, std::string> results[2];
    const char* const threads[2] = {"1", "8"};
    for (int run = 0; run < 2; ++run) {
        TempDirectory directory;
        ASSERT_TRUE(write_batch_job_table(directory.path()));
        ASSERT_EQ(run_program({KELVORAND_PROGRAM, directory.file("jobs.run")},
                              {std::string("KELVORAND_THREADS=") + threads[run]}),
                  0);
        results[run] = files_of(directory.path());
    }

    // The jobs did their work: every registration saved, the LAD, thin-plate spline and shape
    // model ones among them, and the review job's picture.
    const std::string& log = results[0]["jobs_log.txt"];
    EXPECT_EQ(occurrences(log, "Registration file saved\n"), 12u);
    EXPECT_EQ(occurrences(log, "No points within ICP distance threshold"), 0u);
    for (const char* name :
         {"small_sim_lad-small_target-sim_lad.breg", "small_aff_lad-small_target-aff_lad.breg",
          "lr-hr-sim_tps.breg", "small_ssm-small_target-sim_ssm.breg",
          "proximal_femur_sim-proximal_femur_target.png", "bone_sim_ffd-bone_target-sim_ffd.csv",
          "bone_aff_ffd-bone_target-aff_ffd.csv", "bone_target-resaved.ply",
          "bone_affine_mapped_with_bone_hr_1HR_1LR.bin"})
        EXPECT_EQ(results[0].count(name), 1u) << name;

    ASSERT_EQ(results[0].size(), results[1].size());
    for (const auto& [name, bytes] : results[0]) {
        const auto other = results[1].find(name);
        ASSERT_NE(other, results[1].end()) << name << " is missing on eight threads";
        EXPECT_TRUE(other->second == bytes) << name << " differs on eight threads";
    }
}

} // namespace
