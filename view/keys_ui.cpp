// The view's keys: C and O start and finish landcurves, L switches wireframe, W the white
// background and N the labels.
#include "app/app.h"
#include "app/frame.h"
#include "surface/status_log.h"
#include "view/gl_canvas.h"
#include "view/landmark_definition.h"
#include "view/landmark_definition_ui.h"

#include <wx/checkbox.h>
#include <wx/utils.h>

namespace {

// Label modes cycled by N: none, names, names and semilandmark numbers.
constexpr std::uint16_t label_mode_count = 3;

// Whether alt, ctrl, meta or super is held. The toolkit reports super in no flag of the event
// on X11, so the keys themselves are asked (where that cannot be told, the answer is no).
bool menu_modifier_held(const wxKeyEvent& event)
{
    return event.AltDown() || event.ControlDown() || event.RawControlDown() || event.MetaDown() ||
           wxGetKeyState(WXK_WINDOWS_LEFT) || wxGetKeyState(WXK_WINDOWS_RIGHT);
}

} // namespace

void MyGLCanvas::OnKey(wxKeyEvent& event)
{
    if (main_frame == nullptr) {
        event.Skip();
        return;
    }
    // Keys held with alt, ctrl or meta/super are menu accelerators ("Save LR surface" is Alt-L):
    // the view holds the focus nearly always, so it passes them on.
    if (menu_modifier_held(event)) {
        event.Skip();
        return;
    }
    MyFrame& frame = *main_frame;
    const bool landmarks_shown = frame.landmarks_checkbox->GetValue();
    switch (event.GetKeyCode()) {
    case 'C':
    case 'c':
    case 'O':
    case 'o':
        if (landmarks_shown)
            start_or_finish_landcurve(frame,
                                      event.GetKeyCode() == 'C' || event.GetKeyCode() == 'c');
        break;
    case 'L':
    case 'l':
        wireframe = !wireframe;
        Refresh(true);
        break;
    case 'W':
    case 'w':
        white_background = !white_background;
        Refresh(true);
        break;
    case 'N':
    case 'n':
        if (landmarks_shown) {
            label_mode = static_cast<std::uint16_t>((label_mode + 1) % label_mode_count);
            Refresh(true);
        } else {
            event.Skip();
        }
        break;
    default:
        event.Skip();
    }
}

void MyGLCanvas::start_or_finish_landcurve(MyFrame& frame, bool closed)
{
    if (frame.landcurve_state == landcurve_not_defining) {
        log_status("Start defining landcurve");
        frame.picked_points.clear();
        frame.landcurve_state = landcurve_on_lr;
        return;
    }
    log_status("Stop defining landcurve");
    if (frame.picked_points.size() >= 2) {
        ++landcurve_counter;
        Surface& surface =
            frame.landcurve_state == landcurve_on_lr ? *frame.lr_surface : *frame.hr_surface;
        const std::uint64_t generation = frame.surfaces_generation;
        std::string name;
        if (ask_annotation_name(this, landcurve_name_prompt(frame.landcurve_state, closed),
                                "Name landcurve",
                                wxString::Format("Landcurve %u", landcurve_counter), true, name) &&
            same_surfaces(frame, generation, "Landcurve")) {
            surface.landcurves.push_back(picked_landcurve(name, closed, frame.picked_points));
            frame.note_hand_defined(surface);
            frame.reproject_landmarks(surface);
            frame.pair_landcurves();
        }
    }
    Refresh(true);
    frame.picked_points.clear();
    frame.landcurve_state = landcurve_not_defining;
}
