#include "tests/gui/gui_test_support.h"

#include "app/app.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "utilities/batch_file.h"
#include "view/gl_canvas.h"
#include "view/shading_mode.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/evtloop.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>

#include <cstdint>
#include <thread>

namespace gui_test {

wxAssertHandler_t program_assert_handler = nullptr;

MyFrame& frame() { return *main_frame; }

MyGLCanvas& canvas() { return *main_canvas; }

void pump_once()
{
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    while (loop->Pending())
        loop->Dispatch();
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
}

bool pump_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    // A wait gives up only once the time-out has passed, with room for a sanitized build, and
    // the loop has also handed out as many rounds as the time-out holds: a run on a loaded
    // machine takes longer over each round, a toolkit there answers later, and neither hangs.
    constexpr auto pause = std::chrono::milliseconds(5);
    const auto end = std::chrono::steady_clock::now() + KELVORAND_TEST_TIME_FACTOR * timeout;
    const std::int64_t rounds = timeout / pause;
    for (std::int64_t round = 0; !condition(); ++round) {
        if (round >= rounds && std::chrono::steady_clock::now() > end)
            return condition();
        pump_once();
        std::this_thread::sleep_for(pause);
    }
    return true;
}

bool wait_for_gl_ready()
{
    return pump_until([] {
        if (!canvas().gl_ready)
            canvas().Refresh(false);
        return canvas().gl_ready;
    });
}

void reset_frame()
{
    MyFrame& f = frame();
    if (f.run_active() || f.batch_running || run_idle_binding_count() != 0)
        f.press_start(false);
    f.batch_running = false;
    if (f.batch_log.IsOpened())
        f.batch_log.Close();
    store_batch_jobs(BatchFile{}, f);
    f.show_registration_page();

    f.clear_surfaces();
    for (Surface& surface : f.surfaces)
        surface = Surface{};
    for (Matrix4* pose : {&f.rigid_transform, &f.similarity_transform, &f.affine_transform,
                          &f.aspect_transform, &f.current_transform})
        *pose = identity_matrix();
    f.rims_paired = false;
    f.fit_reflected = false;
    f.lr_data_name.clear(); // clearing keeps the names of the last data files
    f.hr_data_name.clear();

    // Loading rescales and relabels the search range for the pair.
    f.range_units = 10.0;
    f.search_range_label->SetLabel("Search range (x0.1 mm)");
    f.search_range_slider->SetRange(0, 100);
    f.ssm_mode_slider->SetRange(1, 50); // a shape model fits it to its modes
    const struct {
        wxSlider* slider;
        int value;
    } sliders[] = {{f.search_range_slider, 100}, {f.fussy_slider, 0}, {f.iterations_slider, 20}};
    for (const auto& s : sliders) {
        s.slider->SetValue(s.value);
        wxScrollEvent event(wxEVT_SCROLL_THUMBTRACK, s.slider->GetId(), s.value);
        event.SetEventObject(s.slider);
        s.slider->GetEventHandler()->ProcessEvent(event);
    }
    const struct {
        wxControlWithItems* control;
        wxEventType type;
        int selection;
    } choices[] = {{f.registration_choice, wxEVT_CHOICE, rigid},
                   {f.ssm_creator_choice, wxEVT_CHOICE, 0}};
    for (const auto& c : choices) {
        c.control->SetSelection(c.selection);
        send_command(c.control, c.type, c.selection);
    }
    const struct {
        wxRadioBox* box;
        int selection;
    } radioboxes[] = {
        {f.mouse_radiobox, 0}, {f.shading_radiobox, shading_plain}, {f.rims_radiobox, rims_yes}};
    for (const auto& r : radioboxes) {
        r.box->SetSelection(r.selection);
        send_command(r.box, wxEVT_RADIOBOX, r.selection);
    }
    const struct {
        wxCheckBox* box;
        bool ticked;
    } boxes[] = {{f.hr_checkbox, true},
                 {f.lr_checkbox, true},
                 {f.landmarks_checkbox, false},
                 {f.matches_checkbox, false},
                 {f.displacements_checkbox, false},
                 {f.auto_sequence_checkbox, false},
                 {f.defaults_checkbox, true},
                 {f.procrustes_checkbox, true},
                 {f.rescale_checkbox, false}};
    for (const auto& b : boxes) {
        b.box->SetValue(b.ticked);
        send_command(b.box, wxEVT_CHECKBOX, b.ticked ? 1 : 0);
    }

    MyGLCanvas& c = canvas();
    c.view_rotation = identity_matrix();
    c.zoom = 1.0;
    c.wireframe = false;
    c.white_background = false;
    c.label_mode = 0;
    f.SetStatusText("", 0);
}

wxString status_text(int field) { return frame().GetStatusBar()->GetStatusText(field); }

int run_idle_binding_count()
{
    MyApp& app = wxGetApp();
    int count = 0;
    while (app.Unbind(wxEVT_IDLE, &MyApp::OnIdle, &app))
        ++count;
    for (int i = 0; i < count; ++i)
        app.Bind(wxEVT_IDLE, &MyApp::OnIdle, &app);
    return count;
}

void send_command(wxWindow* control, wxEventType type, int value)
{
    wxCommandEvent event(type, control->GetId());
    event.SetEventObject(control);
    event.SetInt(value);
    control->GetEventHandler()->ProcessEvent(event);
}

} // namespace gui_test
