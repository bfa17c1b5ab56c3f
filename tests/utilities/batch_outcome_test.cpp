// The exit status of a command-line batch: each cause alone, and which one wins when several
// hold at once (whether every job ran at all comes first, then whether each went well).
#include "utilities/batch_outcome.h"

#include <gtest/gtest.h>

namespace {

TEST(BatchOutcome, TheExitStatusTellsTheGravestCause)
{
    const struct {
        const char* why;
        bool finished;
        std::int64_t failed_jobs;
        bool log_unwritten;
        int status; // as the README lists them
    } cases[] = {
        {"every job ran and went well", true, 0, false, 0},
        {"a job failed", true, 1, false, 2},
        {"only the log is incomplete", true, 0, true, 3},
        {"a failed job outweighs the incomplete log", true, 2, true, 2},
        {"stopped before the last job ended", false, 0, false, 4},
        {"stopping outweighs failed jobs and the log", false, 3, true, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        BatchOutcome outcome;
        outcome.finished = c.finished;
        outcome.failed_jobs = c.failed_jobs;
        outcome.log_unwritten = c.log_unwritten;
        EXPECT_EQ(batch_exit_status(outcome), c.status);
    }
}

} // namespace
