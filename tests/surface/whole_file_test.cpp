// What a save killed midway leaves beside its target, and which leftovers a later save removes.
#include "surface/whole_file.h"

#include "tests/fixtures/temp_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<std::string> names_in(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs saves of bytes to target in a child process until a temporary of it is seen, then kills
// the child; returns the child's id and leaves what it left. A kill may fall between two saves,
// leaving nothing: then it is tried again.
pid_t kill_a_save(const std::string& directory, const std::string& target, const std::string& bytes)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (;;)
                write_whole_file(target, bytes);
        }
        if (child < 0)
            return -1;
        while (names_in(directory).size() < 2) {
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child)
                return -1; // the child should save for ever
            ::usleep(100);
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (names_in(directory).size() == 2)
            return child;
    }
    return -1;
}

TEST(WholeFile, ALeftoverOfAGoneProcessIsRemovedByTheNextSaveOfItsTarget)
{
    TempDirectory directory;
    const std::string old = "the surface before the save\n";
    const std::string target = directory.write("surface.ply", old);
    const std::string bytes(8 << 20, 'x');
    const pid_t killed = kill_a_save(directory.path(), target, bytes);
    ASSERT_GT(killed, 0);

    // The leftover says whose it is; the target is one whole version.
    const std::vector<std::string> left = names_in(directory.path());
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], "surface.ply");
    EXPECT_TRUE(std::regex_match(
        left[1],
        std::regex("surface\\.ply\\.kelvorand-" + std::to_string(killed) + "-[a-z0-9]{6}\\.tmp")))
        << left[1];
    const std::string before = read_file(target);
    EXPECT_TRUE(before == old || before == bytes);

    const std::string gone = std::to_string(killed);
    const std::string own = std::to_string(::getpid());
    const std::vector<std::string> kept = {
        "surface.ply.kelvorand-" + own + "-abcdef.tmp", // a save of this process may be going on
        "surface.ply.kelvorand-1-abcdef.tmp",           // a process that exists
        "other.ply.kelvorand-" + gone + "-abcdef.tmp",  // another target's
        "surface.ply.abcdef.tmp",                       // no writer named
        "surface.ply.kelvorand-" + gone + "-abc.tmp",   // no tag of the program's
        "surface.ply.kelvorand-0" + gone + "-abcdef.tmp",
        "surface.ply.kelvorand-" + gone + "-abcdef.tmp.bak",
        "surface.ply.kelvorand-" + gone + "-dirdir.tmp", // a directory, made below
    };
    for (std::size_t i = 0; i + 1 < kept.size(); ++i)
        directory.write(kept[i], "someone's\n");
    ASSERT_EQ(::mkdir(directory.file(kept.back()).c_str(), 0755), 0);

    ASSERT_TRUE(write_whole_file(target, "the surface after\n"));
    EXPECT_EQ(read_file(target), "the surface after\n");
    std::vector<std::string> expected = kept;
    expected.push_back("surface.ply");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names_in(directory.path()), expected);

    // A name near the file system's limit has temporaries of a short name of their own.
    const std::string long_name(240, 'n');
    const std::string long_leftover = ".kelvorand.kelvorand-" + gone + "-abcdef.tmp";
    directory.write(long_leftover, "someone's\n");
    ASSERT_TRUE(write_whole_file(directory.file(long_name), "long\n"));
    EXPECT_EQ(read_file(directory.file(long_name)), "long\n");
    EXPECT_FALSE(std::filesystem::exists(directory.file(long_leftover)));
}

} // namespace
