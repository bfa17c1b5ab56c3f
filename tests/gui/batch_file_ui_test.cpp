// Batch runs through the main window: what a job line sets, the batch log, reopening a batch
// while one runs, and the failures that must neither hang nor open a dialog.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "surface/surface_data_file.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/landmarked_pair.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/proximal_femur.h"
#include "tests/fixtures/temp_files.h"
#include "tests/gui/gui_test_support.h"
#include "utilities/batch_file.h"
#include "utilities/batch_writer.h"
#include "view/gl_canvas.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/tglbtn.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include <sys/stat.h>

using gui_test::frame;
using gui_test::run_idle_binding_count;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class BatchRun : public gui_test::FrameTest {
protected:
    // A batch file whose prefix is the test's directory.
    std::string write_batch(const std::string& name, const std::string& jobs) const
    {
        return directory.write(name, "# test batch\n" + directory.path() + "/\n" + jobs);
    }

    TempDirectory directory;
};

// Notes whether the view painted a batch job ready to run (iteration counter 0) while it lives.
struct JobPaintWatch {
    JobPaintWatch() { gui_test::canvas().Bind(wxEVT_PAINT, &JobPaintWatch::on_paint, this); }
    ~JobPaintWatch() { gui_test::canvas().Unbind(wxEVT_PAINT, &JobPaintWatch::on_paint, this); }
    JobPaintWatch(const JobPaintWatch&) = delete;
    JobPaintWatch& operator=(const JobPaintWatch&) = delete;

    void on_paint(wxPaintEvent& event)
    {
        ready_job_painted = ready_job_painted || frame().iteration_counter == 0;
        event.Skip();
    }

    bool ready_job_painted = false;
};

TEST_F(BatchRun, JobLinesSetTheControlsThroughTheirHandlers)
{
    MyFrame& f = frame();
    const struct {
        const char* why;
        const char* line;
        int iterations;
        int type;
        bool auto_sequence;
        int fussy; // -1: not set by the job
        int range; // -1: the slider's maximum, -2: not set by the job
        int rims;
        bool show_hr;
    } cases[] = {
        {"plain values; a type past the last item selects the last",
         "a.ply b.ply n/a n/a 0 0 0 40 7 33 12 0 -1 0 0 0", 33, 10, false, 7, 40, rims_no, true},
        {"fussy -1 ticks the auto sequence and ignores the range; -3 is Similarity + LAD",
         "a.ply b.ply n/a n/a 0 0 0 5 -1 5 -3 0 -1 0 -1 2", 5, similarity_lad, true, -1, -2,
         rims_to_rims, false},
        {"values beyond the sliders give their limits",
         "a.ply b.ply n/a n/a 0 0 0 999 250 250 4 0 -1 0 1", 200, affine, false, 100, -1, rims_yes,
         true},
        {"a negative range with an explicit rims column shows the slider's minimum",
         "a.ply b.ply n/a n/a 0 0 0 -30 10 20 1 0 -1 0 0 1", 20, similarity, false, 10, 0, rims_yes,
         true},
    };
    JobPaintWatch watch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        watch.ready_job_painted = false;
        gui_test::canvas().redraw_pending = false;
        f.control_notebook->SetSelection(1); // a job shows the "Registration" page
        f.auto_sequence_checkbox->SetValue(!c.auto_sequence);
        f.fussy_slider->SetValue(50);
        f.search_range_slider->SetValue(50);
        BatchFile batch;
        ASSERT_TRUE(parse_batch_lines({"p/", c.line}, batch));
        store_batch_jobs(batch, f);
        f.batch_running = true;
        f.batch_job_index = 0;
        f.start_next_batch_job();

        EXPECT_EQ(f.control_notebook->GetSelection(), 0);
        EXPECT_EQ(f.iterations_slider->GetValue(), c.iterations);
        EXPECT_EQ(f.registration_choice->GetSelection(), c.type);
        EXPECT_EQ(f.auto_sequence_checkbox->GetValue(), c.auto_sequence);
        if (c.fussy >= 0) {
            EXPECT_EQ(f.fussy_slider->GetValue(), c.fussy);
        }
        if (c.range == -1) {
            EXPECT_EQ(f.search_range_slider->GetValue(), f.search_range_slider->GetMax());
        } else if (c.range >= 0) {
            EXPECT_EQ(f.search_range_slider->GetValue(), c.range);
        }
        EXPECT_EQ(f.rims_radiobox->GetSelection(), c.rims);
        EXPECT_EQ(f.hr_checkbox->GetValue(), c.show_hr);
        EXPECT_EQ(f.hr_surface_checkbox->GetValue(), c.show_hr); // through OnShowHR
        EXPECT_EQ(f.iteration_counter, 0);
        // Its first idle step waits for its picture: the view owes that paint, or has made it.
        EXPECT_TRUE(gui_test::canvas().redraw_pending || watch.ready_job_painted);
        f.batch_running = false;
    }
}

TEST_F(BatchRun, OpeningABatchWhileOneRunsStopsItFirst)
{
    MyFrame& f = frame();
    const std::string job = "missing_lr.ply missing_hr.ply n/a n/a 0 0 0 50 0 20 1 0 -1 0 0\n";
    const std::string first = write_batch("first.run", job);
    const std::string second = write_batch("second.run", job + job);

    parse_batch_file(f, wxString::FromUTF8(first));
    ASSERT_TRUE(f.batch_running);
    EXPECT_EQ(run_idle_binding_count(), 1);

    // The second batch replaces the first: one binding, one log target, the new log.
    parse_batch_file(f, wxString::FromUTF8(second));
    EXPECT_TRUE(f.batch_running);
    EXPECT_EQ(f.batch_job_count, 2);
    EXPECT_EQ(run_idle_binding_count(), 1);
    wxLogStatus("after reopening");
    EXPECT_TRUE(contains(read_file(directory.file("second_log.txt")), "after reopening"));
    EXPECT_FALSE(contains(read_file(directory.file("first_log.txt")), "after reopening"));

    // The same batch again, and a batch that fails to parse, while the log is open: neither
    // reopens an open file.
    parse_batch_file(f, wxString::FromUTF8(second));
    EXPECT_EQ(run_idle_binding_count(), 1);
    parse_batch_file(f, wxString::FromUTF8(write_batch("bad.run", "a b c d 0 0 0 x\n")));
    EXPECT_FALSE(f.run_active());
    EXPECT_EQ(run_idle_binding_count(), 0);
    EXPECT_EQ(gui_test::status_text(), "Could not parse batch file");
    parse_batch_file(f, wxString::FromUTF8(first));
    EXPECT_TRUE(f.batch_running);
    EXPECT_EQ(run_idle_binding_count(), 1);
}

TEST_F(BatchRun, TheMenuStopsARunningBatchBeforeItsDialogShows)
{
    // The dialog's event loop would otherwise go on running the batch underneath it; a
    // cancelled dialog leaves the batch stopped.
    MyFrame& f = frame();
    parse_batch_file(f, wxString::FromUTF8(write_batch(
                            "jobs.run", "lr.ply hr.ply n/a n/a 0 0 0 50 0 20 1 0 -1 0 0\n")));
    ASSERT_TRUE(f.batch_running);
    wxCommandEvent open(wxEVT_MENU, id_load_batch);
    wxTEST_DIALOG(f.OnBatchOpen(open), wxExpectModal<wxFileDialog>("", wxID_CANCEL));
    EXPECT_FALSE(f.batch_running);
    EXPECT_EQ(run_idle_binding_count(), 0);
    EXPECT_FALSE(f.batch_log.IsOpened());
}

TEST_F(BatchRun, ErrorsDuringABatchGoToTheStatusLineAndTheLogNotToADialog)
{
    MyFrame& f = frame();
    const std::string batch =
        write_batch("jobs.run", "missing_lr.ply missing_hr.ply n/a n/a 0 0 0 50 0 20 1 0 -1 0 0\n");
    parse_batch_file(f, wxString::FromUTF8(batch));
    ASSERT_TRUE(f.batch_running);
    wxLogError("Disk full");
    wxLogWarning("Something odd");
    wxLog::FlushActive(); // the on-screen log would show its dialog now
    EXPECT_EQ(gui_test::status_text(), "Something odd");
    const std::string log = read_file(directory.file("jobs_log.txt"));
    EXPECT_TRUE(contains(log, "Disk full\n"));
    EXPECT_TRUE(contains(log, "Something odd\n"));

    // Stopping restores the on-screen log: the batch log hears nothing more.
    f.press_start(false);
    EXPECT_FALSE(f.batch_log.IsOpened());
    wxLogStatus("after the batch");
    EXPECT_FALSE(contains(read_file(directory.file("jobs_log.txt")), "after the batch"));
}

TEST_F(BatchRun, DataFilesOfSurfacesThatFailedToLoadAreSkipped)
{
    MyFrame& f = frame();
    directory.write("hr_thickness.bin", std::string(8 * 12, '\0'));
    const std::string batch = write_batch(
        "jobs.run",
        "missing_lr.ply missing_hr.ply n/a hr_thickness.bin 0 0 -4 50 0 20 1 0 -1 0 0\n");
    parse_batch_file(f, wxString::FromUTF8(batch));
    ASSERT_TRUE(f.batch_running);
    EXPECT_EQ(f.hr_surface->vertex_count, 0);
    EXPECT_EQ(f.hr_data_name, "");
    EXPECT_FALSE(contains(read_file(directory.file("jobs_log.txt")), "Binary file"));
}

TEST_F(BatchRun, SmoothingCountsOfAJobSmoothOnlyWhenPositive)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write_ply_file(directory.file("lr.ply"), icosphere(1, 10.0))); // 42 vertices
    ASSERT_TRUE(write_ply_file(directory.file("hr.ply"), icosphere(2, 10.0))); // 162 vertices
    ASSERT_TRUE(
        write_data_values(directory.file("lr_thickness.bin"), std::vector<double>(42, 2.0)));
    ASSERT_TRUE(
        write_data_values(directory.file("hr_thickness.bin"), std::vector<double>(162, 3.0)));
    const struct {
        const char* smoothing; // "smth LR" and "smth HR"
        std::int64_t lr_passes;
        std::int64_t hr_passes;
    } cases[] = {
        {"-3 -2", 0, 0}, // negative counts do nothing
        {"2 1", 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.smoothing);
        parse_batch_file(f, wxString::FromUTF8(write_batch(
                                "jobs.run", std::string("lr.ply hr.ply lr_thickness.bin "
                                                        "hr_thickness.bin 0 ") +
                                                c.smoothing + " 50 0 0 1 0 -1 0 0\n")));
        ASSERT_TRUE(f.batch_running);
        ASSERT_EQ(f.lr_surface->vertex_count, 42);
        EXPECT_TRUE(f.lr_data_loaded);
        EXPECT_EQ(f.lr_surface->smoothing_steps, c.lr_passes);
        EXPECT_EQ(f.hr_surface->smoothing_steps, c.hr_passes);
        EXPECT_EQ(f.lr_surface->data[0], 2.0); // constant data stay constant either way
        EXPECT_EQ(f.hr_surface->data[0], 3.0);
    }
}

TEST_F(BatchRun, AReviewJobTurnsTheViewAndNeverRegisters)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write_ply_file(directory.file("lr.ply"), icosphere(1, 10.0)));
    ASSERT_TRUE(write_ply_file(directory.file("hr.ply"), icosphere(2, 12.0)));
    for (const int turns : {3, 90}) {
        SCOPED_TRACE(turns);
        parse_batch_file(f, wxString::FromUTF8(write_batch(
                                "jobs.run", "lr.ply hr.ply n/a n/a 0 0 0 50 0 " +
                                                std::to_string(turns) + " 1 0 -1 0 2\n")));
        ASSERT_TRUE(f.batch_running);
        const Matrix4 start = gui_test::canvas().view_rotation;
        const Matrix4 pose = f.similarity_transform;
        ASSERT_TRUE(gui_test::pump_until([&f] { return !f.batch_running; }));

        // 4 degrees about the vertical axis per step, each applied before the previous view.
        Matrix4 turn;
        make_transform(turn, 0, 0, 0, 0, 4.0 * turns, 0);
        const Matrix4 expected = product(turn, start);
        for (int k = 0; k < 16; ++k)
            EXPECT_NEAR(gui_test::canvas().view_rotation[k], expected[k], 1e-9) << k;
        EXPECT_EQ(f.similarity_transform.m, pose.m);
        EXPECT_EQ(run_idle_binding_count(), 0);
    }
}

TEST_F(BatchRun, FilesThatCannotBeOpenedOrParsedStartNothing)
{
    MyFrame& f = frame();
    const struct {
        const char* why;
        std::string path;
        const char* message;
    } cases[] = {
        {"missing batch file", directory.file("missing.run"), "Could not open batch file"},
        {"only a prefix line", write_batch("empty.run", ""), "Could not parse batch file"},
        {"a bad integer", write_batch("bad.run", "a b c d 0 0 0 5 0 1 0 0 -1 zero\n"),
         "Could not parse batch file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        parse_batch_file(f, wxString::FromUTF8(c.path));
        EXPECT_EQ(gui_test::status_text(), c.message);
        EXPECT_FALSE(f.batch_running);
        EXPECT_FALSE(f.run_active());
        EXPECT_EQ(f.batch_job_count, 0);
    }

    // A log that cannot be created beside the batch file.
    ASSERT_EQ(mkdir(directory.file("jobs_log.txt").c_str(), 0755), 0);
    parse_batch_file(f, wxString::FromUTF8(write_batch(
                            "jobs.run", "a.ply b.ply n/a n/a 0 0 0 5 0 1 0 0 -1 0 0\n")));
    EXPECT_EQ(gui_test::status_text(), "Could not open batch log file");
    EXPECT_FALSE(f.batch_running);
}

TEST_F(BatchRun, WriteTakesTheRegistrationSettingsFromTheControls)
{
    MyFrame& f = frame();
    directory.write("template.ply", "");
    directory.write("target.ply", "");
    fill_surface(*f.lr_surface, tetrahedron());
    f.lr_surface->name = "template";
    f.lr_surface->file_type = ".ply";
    f.lr_surface->path_stem = directory.file("template");

    const struct {
        int range; // slider position; 100 is its maximum
        bool auto_sequence;
        int fussy;
        int iterations;
        int type;
        int rims;
        BatchPreset written; // the custom file's job for target.ply
    } cases[] = {
        {100, true, 30, 50, affine, rims_to_rims, {0, 0, 0, 999, -1, 50, 4, 1, -1, 0, 0, 2, 0}},
        {40, false, 7, 0, similarity_tps, rims_no, {0, 0, 0, 40, 7, 0, 10, 1, -1, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        f.defaults_checkbox->SetValue(false);
        f.search_range_slider->SetValue(c.range);
        f.auto_sequence_checkbox->SetValue(c.auto_sequence);
        f.fussy_slider->SetValue(c.fussy);
        f.iterations_slider->SetValue(c.iterations);
        f.registration_choice->SetSelection(c.type);
        f.rims_radiobox->SetSelection(c.rims);
        wxCommandEvent press(wxEVT_BUTTON, id_batch_write);
        f.OnBFWriter(press);
        EXPECT_EQ(gui_test::status_text(), "Wrote batch files");

        std::vector<std::string> lines;
        ASSERT_TRUE(read_text_lines(directory.file("auto_register_custom.run"), lines));
        BatchFile batch;
        ASSERT_TRUE(parse_batch_lines(lines, batch));
        ASSERT_EQ(batch.jobs.size(), 2u);
        EXPECT_EQ(batch.jobs[0].names[batch_hr_surface], "target.ply");
        EXPECT_EQ(batch.jobs[0].values, c.written);
    }
    f.defaults_checkbox->SetValue(true);
}

TEST_F(BatchRun, ATpsJobStoppedByItsLandmarksEndsUnsavedAndTheBatchGoesOn)
{
    MyFrame& f = frame();
    ASSERT_EQ(mkdir(directory.file("repeated").c_str(), 0755), 0);
    ASSERT_TRUE(write_landmarked_pair(directory.file("repeated"), true));
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    const std::string job = " n/a n/a 0 0 0 50 0 3 10 1 -1 0 0\n";
    parse_batch_file(f,
                     wxString::FromUTF8(write_batch("jobs.run", "repeated/lr.ply repeated/hr.ply" +
                                                                    job + "lr.ply hr.ply" + job)));
    ASSERT_TRUE(f.batch_running);
    ASSERT_TRUE(gui_test::pump_until([&f] { return !f.batch_running; }));

    const std::string log = read_file(directory.file("jobs_log.txt"));
    EXPECT_EQ(occurrences(log, "lr (LR) and hr (HR)\n"), 2u);
    EXPECT_EQ(occurrences(log, "Repeated LR landmarks\n"), 1u);
    // Only the second job registered and saved.
    EXPECT_EQ(occurrences(log, "Registration file saved\n"), 1u);
    EXPECT_EQ(read_file(directory.file("repeated/lr-hr.reg")), "");
    EXPECT_TRUE(contains(log, "Iteration 2, error is"));
    EXPECT_EQ(f.tps_warp.control_points.size(), 7u); // six landmarks and the semilandmark
    EXPECT_FALSE(same_points(f.lr_surface->sim_tps_positions, f.lr_surface->positions));
    EXPECT_EQ(run_idle_binding_count(), 0);
}

// The files of a directory by name, with their bytes; logs and batch files left out (the logs
// carry times, the batch files their directory).
std::map<std::string, std::string> saved_files(const std::string& directory)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (extension != ".run" && extension != ".txt")
            files[name] = read_file(entry.path().string());
    }
    return files;
}

TEST_F(BatchRun, StepsPaintTheViewOnceAndSkippedPaintsChangeNoFile)
{
    // The same two jobs, once painting after every step and once skipping every paint it may.
    const std::string jobs = "lr.ply hr.ply n/a n/a 0 0 0 50 0 10 1 1 -1 1 0 1 1\n"
                             "lr.ply hr.ply n/a n/a 0 0 0 50 0 4 3 1 -1 1 0 1 1\n";
    const int steps = 10 + 4;
    MyFrame& f = frame();
    MyGLCanvas& view = gui_test::canvas();
    const auto run = [&](double share, const std::string& folder) {
        const std::string path = directory.file(folder);
        EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
        EXPECT_TRUE(write_landmarked_pair(path, false));
        view.paint_budget.share = share;
        const std::uint64_t paints_before = view.paint_count;
        parse_batch_file(
            f, wxString::FromUTF8(directory.write(folder + "/jobs.run", path + "/\n" + jobs)));
        EXPECT_TRUE(gui_test::pump_until([&f] { return !f.batch_running; }));
        view.paint_budget.share = PaintBudget().share;
        return view.paint_count - paints_before;
    };
    const std::uint64_t every_step = run(1.0, "every");
    const std::uint64_t fewest = run(0.0, "fewest");

    // Each job paints a few times as it starts, then once per step (twice per step would be 28
    // and more).
    EXPECT_GE(every_step, static_cast<std::uint64_t>(steps));
    EXPECT_LE(every_step, static_cast<std::uint64_t>(steps + 10));
    // Skipping leaves the paints nothing may skip: the starts and the ends of the jobs, and the
    // view after the run.
    EXPECT_LE(fewest, 3u * 3u);

    const auto every_files = saved_files(directory.file("every"));
    EXPECT_GE(every_files.size(), 2u + 4u); // the pair, the registration, results, maps, HR
    EXPECT_EQ(saved_files(directory.file("fewest")), every_files);
}

// The step that ends a job and starts the next one leaves the view as the next job's
// preparation painted it: one paint, where the frame's update used to paint the same picture
// twice and the step a third time.
TEST_F(BatchRun, TheStepThatStartsTheNextJobPaintsTheViewOnce)
{
    MyFrame& f = frame();
    MyGLCanvas& view = gui_test::canvas();
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    const std::string job = "lr.ply hr.ply n/a n/a 0 0 0 50 0 3 1 1 -1 0 0 1 0\n";
    view.paint_budget.share = 1.0; // every other step repaints
    parse_batch_file(f, wxString::FromUTF8(write_batch("jobs.run", job + job + job)));
    ASSERT_TRUE(f.batch_running);
    std::int64_t job_index = f.batch_job_index;
    std::uint64_t paints = view.paint_count;
    std::vector<std::uint64_t> paints_at_job_starts;
    EXPECT_TRUE(gui_test::pump_until([&] {
        if (f.batch_job_index != job_index)
            paints_at_job_starts.push_back(view.paint_count - paints);
        job_index = f.batch_job_index;
        paints = view.paint_count;
        return !f.batch_running;
    }));
    view.paint_budget.share = PaintBudget().share;
    EXPECT_EQ(paints_at_job_starts, (std::vector<std::uint64_t>{1, 1}));
}

} // namespace

// A side word that the femur's shape contradicts is kept but said, naming the surface, on the
// status line and in the batch log, and so are the items it keeps the analysis from placing.
TEST_F(BatchRun, ASideWordTheShapeContradictsIsSaid)
{
    MyFrame& f = frame();
    const Mesh right = proximal_femur();
    ASSERT_TRUE(write_ply_file(directory.file("left_femur_proximal.ply"), right));
    ASSERT_TRUE(write_ply_file(directory.file("right_femur_proximal.ply"), right));
    const std::string said = "The name of left_femur_proximal says left but its shape is that of "
                             "a right femur; the side from the name is used; no lesser "
                             "trochanter, shaft slice, crest or fossa is placed";
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout(); // the crest step may note that it took a lone vertex
    parse_batch_file(
        f, wxString::FromUTF8(write_batch(
               "jobs.run", "left_femur_proximal.ply right_femur_proximal.ply n/a n/a 0 0 0 50 0 "
                           "3 1 0 -1 0 2\n")));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(f.batch_running);
    ASSERT_TRUE(gui_test::pump_until([&f] { return !f.batch_running; }));
    const std::string log = read_file(directory.file("jobs_log.txt"));
    EXPECT_TRUE(contains(log, said + "\n")) << log;
    EXPECT_FALSE(contains(log, "The name of right_femur_proximal")) << log;
}

// A batch from the menu ends on one status and log line that says how it went, after the last
// iteration's line: every job done, how many failed, or where it was stopped.
TEST_F(BatchRun, AMenuBatchEndsOnOneLineSayingHowItWent)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    const std::string job = " n/a n/a 0 0 0 50 0 3 1 0 -1 0 0\n";
    const std::string long_job = " n/a n/a 0 0 0 50 0 200 1 0 -1 0 0\n";
    const struct {
        const char* name;
        std::string jobs;
        bool stop_during_first_job;
        const char* ending;
    } cases[] = {
        {"done", "lr.ply hr.ply" + job + "lr.ply hr.ply" + job, false,
         "Batch finished: every job done"},
        {"failed", "lr.ply hr.ply" + job + "missing.ply hr.ply" + job + "lr.ply hr.ply" + job,
         false, "Batch finished: 1 of 3 jobs failed"},
        {"stopped", "lr.ply hr.ply" + long_job + "lr.ply hr.ply" + job, true,
         "Batch stopped at job 1 of 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string batch = write_batch(std::string(c.name) + ".run", c.jobs);
        parse_batch_file(f, wxString::FromUTF8(batch));
        ASSERT_TRUE(f.batch_running);
        if (c.stop_during_first_job) {
            ASSERT_TRUE(gui_test::pump_until([&f] { return f.iteration_counter >= 2; }));
            f.start_toggle->SetValue(false);
            gui_test::send_command(f.start_toggle, wxEVT_TOGGLEBUTTON, 0);
        }
        ASSERT_TRUE(gui_test::pump_until([&f] { return !f.batch_running; }));

        EXPECT_EQ(gui_test::status_text(), c.ending);
        const std::string log = read_file(directory.file(std::string(c.name) + "_log.txt"));
        const std::string last_line = std::string(c.ending) + "\n";
        EXPECT_TRUE(log.size() >= last_line.size() &&
                    log.compare(log.size() - last_line.size(), last_line.size(), last_line) == 0)
            << log;
        EXPECT_EQ(occurrences(log, "Batch "), 1u) << log;
        // The iteration line comes before it, not after.
        const std::size_t iteration = log.rfind("Iteration ");
        ASSERT_NE(iteration, std::string::npos) << log;
        EXPECT_LT(iteration, log.rfind(c.ending));
        EXPECT_EQ(run_idle_binding_count(), 0);
    }
}

// A job whose surfaces did not load has no pose to mirror or carry over: after it nothing is
// unsaved, so quitting or loading asks nothing.
TEST_F(BatchRun, AJobWhoseSurfacesDidNotLoadLeavesNoRegistrationUnsaved)
{
    MyFrame& f = frame();
    ASSERT_TRUE(write_landmarked_pair(directory.path(), false));
    // Reflected on a pair that loads; then not reflected, and converted from the aspect pose,
    // on one that does not: the poses the first job left would be mirrored back.
    parse_batch_file(f, wxString::FromUTF8(write_batch(
                            "jobs.run", "lr.ply hr.ply n/a n/a 1 0 0 50 0 1 7 0 -1 0 0\n"
                                        "missing.ply hr.ply n/a n/a 0 0 0 50 0 1 -7 0 -1 0 0\n")));
    ASSERT_TRUE(gui_test::pump_until([&f] { return !f.batch_running; }));
    EXPECT_EQ(gui_test::status_text(), "Batch finished: 1 of 2 jobs failed");
    EXPECT_EQ(f.lr_surface->vertex_count, 0);
    EXPECT_FALSE(f.registration_unsaved);
}
