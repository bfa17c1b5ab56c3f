// How a batch run went: which jobs failed, whether its last job ended and whether its log could
// be written. A command-line batch ends the process with the exit status this gives.
#pragma once

#include <cstdint>
#include <string>

// Exit statuses of a process started with a batch file.
constexpr int exit_batch_done = 0;          // every job loaded, ran and saved all it was asked to
constexpr int exit_batch_not_started = 1;   // the batch file could not be read or its log opened
constexpr int exit_batch_job_failed = 2;    // a job failed; the batch log names it
constexpr int exit_batch_log_unwritten = 3; // the jobs went well, but the batch log is incomplete
constexpr int exit_batch_stopped = 4;       // the window closed before the last job had ended

struct BatchOutcome {
    bool job_failed = false;      // the job being run went wrong somewhere
    std::string job_failure;      // why, where a cause is known first: "bone7.ply did not load"
    bool job_refused = false;     // the job being run cannot run as asked: it ends at once
    std::int64_t failed_jobs = 0; // jobs ended so far that went wrong
    bool finished = false;        // the last job has ended
    bool log_unwritten = false;   // a line of the batch log could not be written
};

// The status message of a job that asks for "Similarity + SSM" when no shape model was read.
extern const char unavailable_ssm_message[];

// The exit status for the outcome: stopped before the end, else a failed job, else an
// incomplete log, else done.
int batch_exit_status(const BatchOutcome& outcome);

// Marks the job being run as failed and keeps why, unless an earlier cause was kept.
void note_job_failure(BatchOutcome& outcome, const std::string& why);

// The line a command-line batch with failed jobs ends with on standard error: how many of its
// jobs failed and the log that names them ("2 of 5 jobs failed; see jobs_log.txt").
std::string failed_jobs_summary(std::int64_t failed_jobs, std::int64_t job_count,
                                const std::string& log_path);

// The log line of a failed job: its number counted from 1, the job count and its two surface
// names, then why it failed when that is known.
std::string failed_job_message(std::int64_t job, std::int64_t job_count, const std::string& lr,
                               const std::string& hr, const std::string& why = {});

// The last status and log line of a batch run that ends with "Start" released: every job done,
// how many of them failed, or the job (counted from 1) at which the run was stopped.
std::string batch_end_message(const BatchOutcome& outcome, std::int64_t job,
                              std::int64_t job_count);
