#include "utilities/batch_outcome.h"

const char unavailable_ssm_message[] =
    "Similarity + SSM is not available without a shape model: job not run";

namespace {

// "2 of 5 jobs failed", as the end of a run says it in the log and on standard error.
std::string failed_jobs_text(std::int64_t failed_jobs, std::int64_t job_count)
{
    return std::to_string(failed_jobs) + " of " + std::to_string(job_count) + " jobs failed";
}

} // namespace

int batch_exit_status(const BatchOutcome& outcome)
{
    if (!outcome.finished)
        return exit_batch_stopped;
    if (outcome.failed_jobs > 0)
        return exit_batch_job_failed;
    return outcome.log_unwritten ? exit_batch_log_unwritten : exit_batch_done;
}

void note_job_failure(BatchOutcome& outcome, const std::string& why)
{
    if (!outcome.job_failed || outcome.job_failure.empty())
        outcome.job_failure = why;
    outcome.job_failed = true;
}

std::string failed_job_message(std::int64_t job, std::int64_t job_count, const std::string& lr,
                               const std::string& hr, const std::string& why)
{
    return "Job " + std::to_string(job + 1) + " of " + std::to_string(job_count) +
           " failed: " + lr + " (LR) and " + hr + " (HR)" + (why.empty() ? "" : ": " + why);
}

std::string failed_jobs_summary(std::int64_t failed_jobs, std::int64_t job_count,
                                const std::string& log_path)
{
    return failed_jobs_text(failed_jobs, job_count) + "; see " + log_path;
}

std::string batch_end_message(const BatchOutcome& outcome, std::int64_t job, std::int64_t job_count)
{
    if (!outcome.finished)
        return "Batch stopped at job " + std::to_string(job + 1) + " of " +
               std::to_string(job_count);
    if (outcome.failed_jobs > 0)
        return "Batch finished: " + failed_jobs_text(outcome.failed_jobs, job_count);
    return "Batch finished: every job done";
}
