// Reading batch files: what each kind of line must store, and the lines that stop a parse.
#include "utilities/batch_file.h"

#include "app/working_state.h"
#include "registration/registration_type.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Names = std::array<std::string, batch_name_count>;
using Values = std::array<std::int32_t, batch_value_count>;

struct LineCase {
    const char* why;
    std::vector<std::string> lines;
    std::string prefix;
    Names names;
    Values values;
};

const Names plain_names = {"lr.ply", "hr.ply", "n/a", "hr_thick.bin"};

const LineCase line_cases[] = {
    {"blanks between all 13 integers",
     {"/data/", "lr.ply hr.ply n/a hr_thick.bin 1 2 3 40 5 60 7 1 -1 0 0 2 1"},
     "/data/",
     plain_names,
     {1, 2, 3, 40, 5, 60, 7, 1, -1, 0, 0, 2, 1}},
    {"commas and tabs read as blanks",
     {"/data/", "lr.ply,hr.ply\tn/a , hr_thick.bin,1,2,3,40,5\t60 ,7,1,-1,0,0,2,1"},
     "/data/",
     plain_names,
     {1, 2, 3, 40, 5, 60, 7, 1, -1, 0, 0, 2, 1}},
    {"comments and empty lines anywhere, also after leading blanks",
     {"# a batch", "", "   ", "/data/", "  # not a job", "\t",
      "lr.ply hr.ply n/a hr_thick.bin 0 0 0 999 0 20 1 1 -1 0 0 1 0", "# the end"},
     "/data/",
     plain_names,
     {0, 0, 0, 999, 0, 20, 1, 1, -1, 0, 0, 1, 0}},
    {"quoted names may hold blanks and the other quote",
     {"\"/my data/\" trailing words",
      "\"lr bone.ply\" 'hr \"7\".ply' n/a n/a 0 0 0 5 0 1 0 0 -1 0 0"},
     "/my data/",
     {"lr bone.ply", "hr \"7\".ply", "n/a", "n/a"},
     {0, 0, 0, 5, 0, 1, 0, 0, -1, 0, 0, 1, 0}},
    {"a comma or tab inside quotes is a blank too",
     {"p/", "\"a,b.ply\" 'c\td.ply' n/a n/a 0 0 0 5 0 1 0 0 -1 0 0"},
     "p/",
     {"a b.ply", "c d.ply", "n/a", "n/a"},
     {0, 0, 0, 5, 0, 1, 0, 0, -1, 0, 0, 1, 0}},
    {"an unquoted prefix ends at its first blank; trailing blanks go",
     {"  /data/ ignored   ", "a.ply b.ply n/a n/a 0 0 0 5 0 1 0 0 -1 0 0"},
     "/data/",
     {"a.ply", "b.ply", "n/a", "n/a"},
     {0, 0, 0, 5, 0, 1, 0, 0, -1, 0, 0, 1, 0}},
    {"a single quote then a double quote makes the double quote the delimiter",
     {"'\"/a b/\"", "x.ply y.ply n/a n/a 0 0 0 5 0 1 0 0 -1 0 0"},
     "/a b/",
     {"x.ply", "y.ply", "n/a", "n/a"},
     {0, 0, 0, 5, 0, 1, 0, 0, -1, 0, 0, 1, 0}},
    {"11 integers: rims 1 and save HR 0",
     {"p/", "lr.ply hr.ply n/a n/a 0 0 0 50 10 20 7 1 -1 0 0"},
     "p/",
     {"lr.ply", "hr.ply", "n/a", "n/a"},
     {0, 0, 0, 50, 10, 20, 7, 1, -1, 0, 0, 1, 0}},
    {"negative range without rims: no rim matching and the range made positive",
     {"p/", "lr.ply hr.ply n/a n/a 0 0 0 -50 10 20 7 1 -1 0 0"},
     "p/",
     {"lr.ply", "hr.ply", "n/a", "n/a"},
     {0, 0, 0, 50, 10, 20, 7, 1, -1, 0, 0, 0, 0}},
    {"negative range with rims: the range stays negative",
     {"p/", "lr.ply hr.ply n/a n/a 0 0 0 -50 10 20 7 1 -1 0 0 2"},
     "p/",
     {"lr.ply", "hr.ply", "n/a", "n/a"},
     {0, 0, 0, -50, 10, 20, 7, 1, -1, 0, 0, 2, 0}},
    {"anything after the 13th integer is ignored",
     {"p/", "lr.ply hr.ply n/a n/a 0 0 0 -50 10 20 7 1 -1 0 0 2 1 99 junk"},
     "p/",
     {"lr.ply", "hr.ply", "n/a", "n/a"},
     {0, 0, 0, -50, 10, 20, 7, 1, -1, 0, 0, 2, 1}},
    {"blanks after the 11th integer leave the optional columns out",
     {"p/", "lr.ply hr.ply n/a n/a 0 0 0 -50 10 20 7 1 -1 0 0 \t  "},
     "p/",
     {"lr.ply", "hr.ply", "n/a", "n/a"},
     {0, 0, 0, 50, 10, 20, 7, 1, -1, 0, 0, 0, 0}},
    {"explicit sign, and 64-bit values keep their low 32 bits",
     {"p/", "lr.ply hr.ply n/a n/a +1 4294967297 -4294967297 -9223372036854775808 "
            "9223372036854775807 0 -3 0 2 0 -2 0 1"},
     "p/",
     {"lr.ply", "hr.ply", "n/a", "n/a"},
     {1, 1, -1, 0, -1, 0, -3, 0, 2, 0, -2, 0, 1}},
    {"the most negative 32-bit range without rims stays in range when made positive",
     {"p/", "lr.ply hr.ply n/a n/a 0 0 0 -2147483648 0 0 0 0 -1 0 0"},
     "p/",
     {"lr.ply", "hr.ply", "n/a", "n/a"},
     {0, 0, 0, 2147483647, 0, 0, 0, 0, -1, 0, 0, 0, 0}},
};

TEST(BatchFile, EachKindOfLineStoresItsJob)
{
    for (const LineCase& c : line_cases) {
        SCOPED_TRACE(c.why);
        BatchFile batch;
        ASSERT_TRUE(parse_batch_lines(c.lines, batch));
        EXPECT_EQ(batch.prefix, c.prefix);
        ASSERT_EQ(batch.jobs.size(), 1u);
        EXPECT_EQ(batch.jobs[0].names, c.names);
        EXPECT_EQ(batch.jobs[0].values, c.values);
    }
}

TEST(BatchFile, BadLinesStopTheParse)
{
    const struct {
        const char* why;
        std::vector<std::string> lines;
    } cases[] = {
        {"no lines at all", {}},
        {"only a prefix line", {"# jobs", "/data/"}},
        {"a letter in a required integer", {"p/", "a b c d 0 0 0 5x 0 1 0 0 -1 0 0"}},
        {"a sign without digits", {"p/", "a b c d 0 0 0 - 0 1 0 0 -1 0 0"}},
        {"a decimal point", {"p/", "a b c d 0 0 0 5.0 0 1 0 0 -1 0 0"}},
        {"beyond the 64-bit range", {"p/", "a b c d 0 0 0 9223372036854775808 0 1 0 0 -1 0 0"}},
        {"only 10 integers", {"p/", "a b c d 0 0 0 5 0 1 0 0 -1 0"}},
        {"missing names eat the integers", {"p/", "a b 0 0 0 5 0 1 0 0 -1 0 0"}},
        // An optional column may be left out, but a token there is read as in any other
        // column: a mistyped "rims" must not quietly run a job with rim matching.
        {"a word in the rims column", {"p/", "a b c d 0 0 0 5 0 1 0 0 -1 0 0 yes"}},
        {"a word in the save HR column", {"p/", "a b c d 0 0 0 5 0 1 0 0 -1 0 0 0 x"}},
        {"a bad job after a good one",
         {"p/", "a b c d 0 0 0 5 0 1 0 0 -1 0 0", "a b c d 0 0 0 5 0 1 0 0 -1 0 zero"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        BatchFile batch;
        EXPECT_FALSE(parse_batch_lines(c.lines, batch));
    }
}

TEST(BatchFile, JobsAreStoredInOrderAndReadBackByColumn)
{
    BatchFile batch;
    ASSERT_TRUE(parse_batch_lines({"/d/", "a1 b1 n/a n/a 0 1 2 3 4 5 6 7 8 9 10 11 12",
                                   "a2 b2 la hb 1 0 0 999 -1 0 3 0 -1 1 -2"},
                                  batch));
    WorkingState state;
    state.batch_job_count = 7; // whatever a previous batch left
    store_batch_jobs(batch, state);
    EXPECT_EQ(state.batch_prefix, "/d/");
    EXPECT_EQ(state.batch_job_count, 2);
    EXPECT_EQ(state.batch_job_names.size(), 8u);
    EXPECT_EQ(state.batch_job_values.size(), 26u);
    EXPECT_EQ(batch_job_name(state, 1, batch_lr_surface), "a2");
    EXPECT_EQ(batch_job_name(state, 1, batch_hr_data), "hb");
    EXPECT_EQ(batch_job_value(state, 0, batch_save_hr), 12);
    EXPECT_EQ(batch_job_value(state, 1, batch_fussy), -1);
    EXPECT_EQ(batch_job_value(state, 1, batch_rims), 1);
    // Jobs that are not stored read as empty.
    EXPECT_EQ(batch_job_name(state, 2, batch_lr_surface), "");
    EXPECT_EQ(batch_job_value(state, -1, batch_range), 0);

    state.batch_job_index = 1;
    EXPECT_FALSE(current_job_is_review(state)); // no batch running
    state.batch_running = true;
    EXPECT_TRUE(current_job_is_review(state));
    state.batch_job_index = 0;
    EXPECT_TRUE(current_job_is_review(state)); // review 10
}

TEST(BatchFile, LogLivesBesideTheBatchFile)
{
    EXPECT_EQ(batch_log_path("/work/jobs.run"), "/work/jobs_log.txt");
    EXPECT_EQ(batch_log_path("jobs.run"), "jobs_log.txt");
    EXPECT_EQ(batch_log_path("/a.b/jobs"), "/a.b/jobs_log.txt");
}

TEST(BatchFile, TextLinesLoseTheirLineEndsWhateverTheirKind)
{
    char directory[] = "/tmp/kelvorand_batch_XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string path = std::string(directory) + "/jobs.run";
    {
        std::ofstream out(path, std::ios::binary);
        out << "\xEF\xBB\xBF/d/\r\n\r\nb\xC3\xB8ne.ply x.ply n/a n/a 0 0 0 5 0 1 0 0 -1 0 0\r\n";
    }
    std::vector<std::string> lines;
    ASSERT_TRUE(read_text_lines(path, lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "/d/");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2].substr(0, 9), "b\xC3\xB8ne.ply");

    // UTF-16 big-endian with a lone surrogate in a comment: decoded, the bad unit as U+FFFD.
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const std::string units[] = {"#", "\xD8\x01", "\n", "b", "\xF8", "\r", "\n"};
        out << "\xFE\xFF";
        for (const std::string& unit : units)
            out << (unit.size() == 2 ? unit : std::string(1, '\0') + unit);
    }
    ASSERT_TRUE(read_text_lines(path, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"#\xEF\xBF\xBD", "b\xC3\xB8"}));

    std::remove(path.c_str());
    EXPECT_FALSE(read_text_lines(path, lines));
    EXPECT_FALSE(read_text_lines("/dev/zero", lines)) << "an endless device is no batch file";
    EXPECT_FALSE(read_text_lines(directory, lines));
    rmdir(directory);
}

TEST(BatchFile, JobColumnsChooseTheControls)
{
    const struct {
        std::int32_t value;
        int items;
        bool convert;
        int item;
        bool available = true;
    } types[] = {
        {7, 11, false, 7},
        {0, 11, false, 0},
        {12, 11, false, 10},
        {11, 12, false, 11},
        {99, 12, false, 11},
        {-3, 11, true, 3},
        {-7, 11, true, 7},
        {-2147483647 - 1, 11, true, 10},
        // "Similarity + SSM" asked for without a shape model: no other type stands in for it.
        {11, 11, false, 10, false},
        {-11, 11, true, 10, false},
    };
    for (const auto& t : types) {
        const JobRegistrationType type = job_registration_type(t.value, t.items);
        EXPECT_EQ(type.aspect_to_similarity, t.convert) << t.value;
        EXPECT_EQ(type.item, t.item) << t.value;
        EXPECT_EQ(type.available, t.available) << t.value;
    }
    EXPECT_EQ(job_rim_mode(0), rims_no);
    EXPECT_EQ(job_rim_mode(1), rims_yes);
    EXPECT_EQ(job_rim_mode(2), rims_to_rims);
    EXPECT_EQ(job_rim_mode(-1), rims_yes);
    EXPECT_EQ(job_rim_mode(3), rims_yes);
}

TEST(BatchFile, ReflectMakesEveryFamilyTransformAgree)
{
    WorkingState state;
    set_identity(state.lr_surface->mirror);
    state.lr_surface->mirror[0] = -1.0; // mirror in x
    Matrix4 reflected = identity_matrix();
    reflected[5] = -1.0;
    Matrix4 flat = identity_matrix();
    flat[10] = 0.0;

    const auto reset = [&] {
        state.rigid_transform = identity_matrix();
        state.similarity_transform = reflected;
        state.affine_transform = flat;
        state.aspect_transform = identity_matrix();
        state.registration_unsaved = false;
    };
    reset();
    apply_batch_reflection(state, true);
    EXPECT_LT(linear_determinant(state.rigid_transform), 0.0);
    EXPECT_EQ(state.similarity_transform.m, reflected.m); // already a reflection
    EXPECT_EQ(state.affine_transform.m, flat.m);          // zero determinant: left alone
    EXPECT_LT(linear_determinant(state.aspect_transform), 0.0);
    EXPECT_EQ(state.rigid_transform[0], -1.0); // composed with the mirror, not negated anyhow
    EXPECT_TRUE(state.registration_unsaved);

    reset();
    apply_batch_reflection(state, false);
    EXPECT_EQ(state.rigid_transform.m, identity_matrix().m);
    EXPECT_GT(linear_determinant(state.similarity_transform), 0.0);
    EXPECT_TRUE(state.registration_unsaved);

    // Nothing to change: the registration stays saved.
    state.similarity_transform = identity_matrix();
    state.registration_unsaved = false;
    apply_batch_reflection(state, false);
    EXPECT_FALSE(state.registration_unsaved);
}

} // namespace
