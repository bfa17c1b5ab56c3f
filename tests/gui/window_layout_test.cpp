// The window on the screen: its size on a small display, pages that scroll instead of cutting
// controls off, the wheel over a slider, the width of the "Registration" choice, and the
// control panel's width after a resize by the window system.
#include "app/control_ids.h"
#include "app/control_splitter.h"
#include "app/frame.h"
#include "registration/registration_type.h"
#include "tests/gui/gui_test_support.h"

#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/display.h>
#include <wx/notebook.h>
#include <wx/slider.h>
#include <wx/statusbr.h>
#include <wx/tglbtn.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

using gui_test::frame;

namespace {

wxScrolled<wxPanel>* page(std::size_t index)
{
    return dynamic_cast<wxScrolled<wxPanel>*>(frame().control_notebook->GetPage(index));
}

// Lets the toolkit lay the window out after a change of its size.
void settle()
{
    for (int round = 0; round < 5; ++round)
        gui_test::pump_once();
}

// Every control of both pages shows whole across the page: nothing to scroll sideways to.
void expect_pages_fit_their_width()
{
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(testing::Message() << "page " << i);
        EXPECT_LE(page(i)->GetVirtualSize().GetWidth(), page(i)->GetClientSize().GetWidth());
        int x = 0;
        int y = 0;
        page(i)->GetViewStart(&x, &y);
        page(i)->Scroll(10, y);
        page(i)->GetViewStart(&x, &y);
        EXPECT_EQ(x, 0);
    }
}

// A resize done by another client of the X server, as a window manager or xdotool does it:
// the size hints of the window play no part.
class OutsideResize {
public:
    OutsideResize() : display(XOpenDisplay(nullptr), XCloseDisplay) {}

    bool resize(const wxString& title, int width, int height)
    {
        if (!display)
            return false;
        const Window window = find(DefaultRootWindow(display.get()), title.utf8_string());
        if (window == 0)
            return false;
        XResizeWindow(display.get(), window, static_cast<unsigned int>(width),
                      static_cast<unsigned int>(height));
        XSync(display.get(), False);
        return true;
    }

private:
    Window find(Window parent, const std::string& title)
    {
        XTextProperty name{};
        if (XGetWMName(display.get(), parent, &name) != 0 && name.value != nullptr) {
            const bool found = title == reinterpret_cast<const char*>(name.value);
            XFree(name.value);
            if (found)
                return parent;
        }
        Window root = 0;
        Window up = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display.get(), parent, &root, &up, &children, &count) == 0)
            return 0;
        Window found = 0;
        for (unsigned int i = 0; i < count && found == 0; ++i)
            found = find(children[i], title);
        if (children != nullptr)
            XFree(children);
        return found;
    }

    std::unique_ptr<Display, int (*)(Display*)> display;
};

class WindowLayout : public gui_test::FrameTest {};
class SmallScreen : public gui_test::FrameTest {};

} // namespace

// The choice is as wide as a choice holding every label needs, "Similarity + SSM" included,
// and stays within its page; neither page is cut off at the side.
TEST_F(WindowLayout, TheChoiceShowsItsLongestLabelAndNoPageIsCutOff)
{
    MyFrame& f = frame();
    settle();
    EXPECT_EQ(f.GetSize(), control_size(&f, 545, 460)); // the screen holds the full size
    auto* all_labels = new wxChoice(page(0), wxID_ANY);
    for (const char* label : registration_type_labels)
        all_labels->Append(label);
    const int longest = all_labels->GetBestSize().GetWidth();
    all_labels->Destroy();
    EXPECT_GE(f.registration_choice->GetSize().GetWidth(), longest);
    EXPECT_LE(f.registration_choice->GetRect().GetRight(), page(0)->GetClientSize().GetWidth());
    for (const int selection : {0, 1}) {
        f.control_notebook->SetSelection(static_cast<std::size_t>(selection));
        settle();
        expect_pages_fit_their_width();
    }
    f.control_notebook->SetSelection(0);
}

// Made 120 pixels square by the window system, the window squeezes the panel; back at its size
// the panel has its width again and the view takes the rest.
TEST_F(WindowLayout, AResizeFromOutsideGivesThePanelItsWidthBack)
{
    MyFrame& f = frame();
    settle();
    auto* splitter = dynamic_cast<ControlSplitter*>(wxWindow::FindWindowByName("splitter"));
    ASSERT_NE(splitter, nullptr);
    const wxSize size = f.GetSize();
    const int panel_width = f.control_notebook->GetSize().GetWidth();
    EXPECT_EQ(panel_width, splitter->panel_width());

    OutsideResize outside;
    ASSERT_TRUE(outside.resize(f.GetTitle(), 120, 120));
    // The toolkit may keep the window's least size for its own layout; the window on the
    // screen is that small all the same.
    gui_test::pump_until([&f, size] { return f.GetSize() != size; });
    settle();

    ASSERT_TRUE(outside.resize(f.GetTitle(), size.GetWidth(), size.GetHeight()));
    ASSERT_TRUE(gui_test::pump_until([&f, size] { return f.GetSize() == size; }));
    settle();
    EXPECT_EQ(f.control_notebook->GetSize().GetWidth(), panel_width);
    EXPECT_EQ(splitter->panel_width(), panel_width);
    expect_pages_fit_their_width();
}

// On a 1366 x 768 screen the full size is too tall: the window takes the work area's height,
// its status bar and pages stay on the screen, and the "Registration" page scrolls down to
// "Start".
TEST_F(SmallScreen, TheWindowFitsTheWorkAreaAndThePagesScroll)
{
    MyFrame& f = frame();
    settle();
    const wxRect area = wxDisplay(&f).GetClientArea();
    ASSERT_LT(area.GetHeight(), control_size(&f, 545, 460).GetHeight()) << "screen too large";
    EXPECT_TRUE(area.Contains(f.GetScreenRect())) << f.GetScreenRect().GetHeight();
    EXPECT_TRUE(area.Contains(f.GetStatusBar()->GetScreenRect()));
    EXPECT_EQ(f.GetSize().GetWidth(), control_size(&f, 545, 460).GetWidth());

    wxScrolled<wxPanel>* registration = page(0);
    EXPECT_GT(registration->GetVirtualSize().GetHeight(),
              registration->GetClientSize().GetHeight());
    expect_pages_fit_their_width();
    registration->Scroll(0, registration->GetVirtualSize().GetHeight());
    settle();
    const wxRect start = f.start_toggle->GetRect();
    EXPECT_GE(start.GetTop(), 0);
    EXPECT_LE(start.GetBottom(), registration->GetClientSize().GetHeight());
    registration->Scroll(0, 0);
}

// A wheel turn over a slider scrolls the page and leaves the slider as it is; only a slider
// with the focus takes the wheel itself.
TEST_F(SmallScreen, TheWheelOverASliderScrollsThePageUnlessTheSliderHasTheFocus)
{
    MyFrame& f = frame();
    settle();
    wxScrolled<wxPanel>* registration = page(0);
    registration->Scroll(0, 0);
    f.control_notebook->SetFocus();
    const auto turn_wheel = [&f](int rotation) {
        wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
        wheel.SetEventObject(f.search_range_slider);
        wheel.m_wheelRotation = rotation;
        wheel.m_wheelDelta = 120;
        wheel.m_linesPerAction = 3;
        return f.search_range_slider->GetEventHandler()->ProcessEvent(wheel);
    };
    EXPECT_TRUE(turn_wheel(-120)); // handled here: the slider's own widget never sees it
    int x = 0;
    int y = 0;
    registration->GetViewStart(&x, &y);
    EXPECT_EQ(y, 3);
    EXPECT_TRUE(turn_wheel(120));
    registration->GetViewStart(&x, &y);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(f.search_range_slider->GetValue(), 100);

    f.search_range_slider->SetFocus();
    settle();
    if (wxWindow::FindFocus() != f.search_range_slider)
        GTEST_SKIP() << "the display gives no window the focus";
    EXPECT_FALSE(turn_wheel(-120)); // passed on to the slider
    registration->GetViewStart(&x, &y);
    EXPECT_EQ(y, 0);
}
