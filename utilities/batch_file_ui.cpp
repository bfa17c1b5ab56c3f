// Batch runs through the main window: reading a batch file, its log, preparing each job by
// setting the controls through their handlers, and the save actions at the end of a job.
#include "app/app.h"
#include "app/control_ids.h"
#include "app/frame.h"
#include "app/program_version.h"
#include "registration/registration_file.h"
#include "surface/data_smoothing.h"
#include "surface/ply_surface_writer.h"
#include "surface/status_log.h"
#include "surface/surface_data_file.h"
#include "utilities/batch_file.h"
#include "view/display_list_kind.h"
#include "view/gl_canvas.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/tglbtn.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string utf8(const wxString& text) { return std::string(text.ToUTF8().data()); }

// While a batch runs, every message goes to status field 0 and, one time-stamped line each, to
// the batch log. Nothing reaches the on-screen log, whose errors would open a dialog and hold up
// an unattended run. Ending the run replaces (and deletes) this target.
class BatchLogTarget : public wxLog {
public:
    explicit BatchLogTarget(MyFrame& frame) : frame_(frame) {}

protected:
    void DoLogRecord(wxLogLevel level, const wxString& message,
                     const wxLogRecordInfo& info) override
    {
        if (level > wxLOG_Info)
            return; // debug and trace output is no outcome
        frame_.SetStatusText(message, 0);
        wxLog::DoLogRecord(level, message, info); // time stamp, then DoLogTextAtLevel
    }

    void DoLogTextAtLevel(wxLogLevel, const wxString& line) override
    {
        if (!frame_.batch_log.IsOpened())
            return;
        bool written = false;
        int error = 0;
        {
            // A failed write reports itself through the active log, this one, which would write
            // again, and again.
            wxLogNull quiet;
            written = frame_.batch_log.Write(line + "\n", wxConvUTF8);
            written = frame_.batch_log.Flush() && written; // complete whenever the process ends
            error = errno;
        }
        if (!written)
            give_up_log(error);
    }

private:
    // Says once on standard error that the log cannot be written and closes it; the batch goes
    // on, its messages reaching the status line only.
    void give_up_log(int error)
    {
        const wxString name = frame_.batch_log.GetName();
        {
            wxLogNull quiet; // closing flushes what is left and fails again
            frame_.batch_log.Close();
        }
        std::fprintf(stderr, "Could not write batch log file: %s: %s\n", name.utf8_str().data(),
                     std::strerror(error));
        frame_.batch_outcome.log_unwritten = true;
    }

    MyFrame& frame_;
};

// A job's surface or data file: the path the batch names and the file name the loaders test.
struct JobFile {
    wxString path;
    wxString name;
};

JobFile job_file(const MyFrame& frame, BatchName column)
{
    const std::string& name = batch_job_name(frame, frame.batch_job_index, column);
    const wxString path = wxString::FromUTF8(frame.batch_prefix + name);
    return {path, wxFileName(path).GetFullName()};
}

bool names_a_file(const MyFrame& frame, BatchName column)
{
    return batch_job_name(frame, frame.batch_job_index, column) != batch_no_file;
}

void scroll_to(wxSlider* slider, int id, int position, void (MyFrame::*handler)(wxScrollEvent&),
               MyFrame& frame)
{
    slider->SetValue(position);
    wxScrollEvent event(wxEVT_SCROLL_THUMBTRACK, id, slider->GetValue());
    event.SetEventObject(slider);
    (frame.*handler)(event);
}

void send_command(MyFrame& frame, wxEventType type, int id, int value,
                  void (MyFrame::*handler)(wxCommandEvent&))
{
    wxCommandEvent event(type, id);
    event.SetInt(value);
    (frame.*handler)(event);
}

} // namespace

std::string parse_batch_file(MyFrame& frame, const wxString& path)
{
    const std::string file = utf8(path);
    const auto refuse = [](const char* message) {
        log_status(message);
        return std::string(message);
    };
    std::vector<std::string> lines;
    if (!read_text_lines(file, lines))
        return refuse("Could not open batch file");

    // A run or batch still going ends first: OnIdle stays bound once, and the log target of the
    // previous batch goes with its file before the log is opened again.
    if (frame.run_active() || frame.batch_running)
        frame.press_start(false);
    if (frame.batch_log.IsOpened())
        frame.batch_log.Close();
    bool log_opened = false;
    {
        wxLogNull quiet; // the failure is reported below, without a dialog
        log_opened = frame.batch_log.Open(wxString::FromUTF8(batch_log_path(file)), "a");
    }
    if (!log_opened)
        return refuse("Could not open batch log file");

    BatchFile batch;
    const bool parsed = parse_batch_lines(lines, batch);
    store_batch_jobs(parsed ? batch : BatchFile{}, frame);
    if (!parsed)
        return refuse("Could not parse batch file");

    frame.batch_running = true;
    frame.batch_outcome = BatchOutcome{};
    delete wxLog::SetActiveTarget(new BatchLogTarget(frame));
    // Each run's lines begin with the program that wrote them, so a result can be traced to it.
    log_status(std::string("Kelvorand ") + program_version);
    frame.batch_job_index = 0;
    frame.start_next_batch_job();
    frame.press_start(true);
    return std::string();
}

void MyFrame::OnBatchOpen(wxCommandEvent&)
{
    // The dialogs' event loops would go on running the current run or batch underneath them (a
    // command-line batch could even close the window): it ends first.
    if (run_active() || batch_running)
        press_start(false);
    if (!may_discard_work(load_question))
        return;
    wxFileDialog dialog(this, "Open batch file", wxGetCwd(), "", "batch file|*.run",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_CHANGE_DIR);
    if (dialog.ShowModal() == wxID_OK)
        parse_batch_file(*this, dialog.GetPath());
}

void MyFrame::start_next_batch_job()
{
    const auto value = [this](BatchValue column) { return current_batch_value(*this, column); };

    show_registration_page();
    batch_outcome.job_failed = false;
    batch_outcome.job_failure.clear();
    batch_outcome.job_refused = false;

    const JobFile lr = job_file(*this, batch_lr_surface);
    const JobFile hr = job_file(*this, batch_hr_surface);
    clear_surfaces();
    const bool loaded = load_surface_files(lr.path, hr.path, lr.name, hr.name, true);
    if (loaded) {
        const std::string pair = lr_surface->name + " (LR) and " + hr_surface->name + " (HR)";
        log_status(pair);
        SetStatusText(wxString::FromUTF8(pair), 1);
        main_canvas->Refresh();
    } else {
        note_job_failure(batch_outcome, unread_surface_name + " did not load");
        clear_surfaces();
    }

    // Data files belong to the job's surfaces: without them there is nothing to put data on.
    if (loaded && names_a_file(*this, batch_lr_data)) {
        const JobFile data = job_file(*this, batch_lr_data);
        const std::int32_t passes = value(batch_smooth_lr);
        const bool data_loaded = load_data_file(data.path, data.name, data_target_lr);
        if (!data_loaded)
            note_job_failure(batch_outcome, data.name.utf8_string() + " did not load");
        if (data_loaded && passes > 0)
            smooth_lr_data(*this, passes);
    }
    if (loaded && names_a_file(*this, batch_hr_data)) {
        const JobFile data = job_file(*this, batch_hr_data);
        const std::int32_t passes = value(batch_smooth_hr);
        const bool data_loaded = load_data_file(data.path, data.name, data_target_hr);
        if (!data_loaded)
            note_job_failure(batch_outcome, data.name.utf8_string() + " did not load");
        if (data_loaded && passes > 0 && main_canvas->make_current() &&
            hr_surface->data_list != 0) {
            smooth_data(passes, *hr_surface);
            build_display_list(list_hr_data);
            list_dirty[dirty_absolute_data_error] = true;
            list_dirty[dirty_signed_data_error] = true;
        }
    }

    iterations_slider->SetValue(value(batch_iterations));

    const JobRegistrationType type = job_registration_type(
        value(batch_registration_type), static_cast<int>(registration_choice->GetCount()));
    if (loaded && !type.available) {
        // Another type standing in would save its results under that type's names.
        log_status(unavailable_ssm_message);
        batch_outcome.job_failed = true;
        batch_outcome.job_refused = true;
    } else {
        if (type.aspect_to_similarity)
            aspect_to_similarity();
        registration_choice->SetSelection(type.item);
        send_command(*this, wxEVT_CHOICE, id_registration_type, type.item,
                     &MyFrame::OnRegistrationType);
    }

    const std::int32_t fussy = value(batch_fussy);
    if (fussy == -1) {
        auto_sequence_checkbox->SetValue(true);
        send_command(*this, wxEVT_CHECKBOX, id_auto_sequence, 1, &MyFrame::OnAutoSequence);
    } else {
        auto_sequence_checkbox->SetValue(false);
        scroll_to(fussy_slider, id_fussy, fussy, &MyFrame::OnFussy, *this);
        scroll_to(search_range_slider, id_search_range, value(batch_range), &MyFrame::OnSearchRange,
                  *this);
    }

    const int rims = job_rim_mode(value(batch_rims));
    rims_radiobox->SetSelection(rims);
    send_command(*this, wxEVT_RADIOBOX, id_match_rims, rims, &MyFrame::OnMatchRims);

    const bool show_hr = value(batch_review) >= 0;
    hr_checkbox->SetValue(show_hr);
    send_command(*this, wxEVT_CHECKBOX, id_show_hr, show_hr ? 1 : 0, &MyFrame::OnShowHR);

    // Without surfaces there is no pose to mirror, nor a registration to leave unsaved.
    if (loaded)
        apply_batch_reflection(*this, value(batch_reflect) != 0);
    restore_current_transform();

    iteration_counter = 0;
    main_canvas->redraw_pending = true; // the first idle step waits for this job's picture
    main_canvas->update_frame_painting_view_once(*this);
}

bool MyFrame::save_batch_job_results()
{
    const auto value = [this](BatchValue column) { return current_batch_value(*this, column); };
    // Each action as its menu item or button does it, keeping whether it wrote all it should.
    bool saved = true;
    if (value(batch_save_registration) != 0)
        saved = save_registration(*this) && saved;
    const std::int32_t lr_data = value(batch_save_lr_data);
    if (lr_data >= 0) {
        send_command(*this, wxEVT_BUTTON, id_map, 0, &MyFrame::OnMap);
        if (lr_data > 0)
            smooth_lr_data(*this, lr_data);
        saved = save_lr_data(*this) && saved;
    }
    if (value(batch_save_map) != 0)
        saved = save_map() && saved;
    if (value(batch_save_hr) != 0)
        saved = save_hr_surface(*this) && saved;
    return saved;
}

void MyFrame::end_batch_job()
{
    if (batch_outcome.job_failed) {
        ++batch_outcome.failed_jobs;
        log_status(failed_job_message(batch_job_index, batch_job_count,
                                      batch_job_name(*this, batch_job_index, batch_lr_surface),
                                      batch_job_name(*this, batch_job_index, batch_hr_surface),
                                      batch_outcome.job_failure));
    }
    batch_outcome.job_failed = false;
    batch_outcome.job_failure.clear();
    batch_outcome.job_refused = false;
    batch_outcome.finished = batch_job_index >= batch_job_count - 1;
}
