// Starts the real application without running its event loop, then runs the tests. Asserts
// abort; unexpected modal dialogs are cancelled and fail the running test.
#include "app/app.h"
#include "tests/fixtures/abort_on_assert.h"
#include "tests/gui/gui_test_support.h"

#include <gtest/gtest.h>

#include <wx/apptrait.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/modalhook.h>

#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

// Registered first, so the expectations of wxTEST_DIALOG take precedence over it.
class UnexpectedDialogHook : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override
    {
        ADD_FAILURE() << "unexpected modal dialog \"" << dialog->GetTitle().utf8_string() << "\"";
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Death tests re-run this program for the one test, so each child starts its own toolkit.
    GTEST_FLAG_SET(death_test_style, "threadsafe");

    wxApp::SetInstance(new MyApp);
    gui_test::program_assert_handler = wxSetAssertHandler(abort_on_assert);
    if (!wxEntryStart(argc, argv)) {
        std::cerr << "cannot initialise the toolkit (no display?)\n";
        return EXIT_FAILURE;
    }
    UnexpectedDialogHook unexpected_dialogs;
    unexpected_dialogs.Register();
    std::unique_ptr<wxEventLoopBase> loop(wxTheApp->GetTraits()->CreateEventLoop());
    wxEventLoopBase::SetActive(loop.get());
    if (!wxTheApp->CallOnInit()) {
        std::cerr << "MyApp::OnInit failed\n";
        return EXIT_FAILURE;
    }
    const int result = RUN_ALL_TESTS();
    unexpected_dialogs.Unregister();
    // The program never tears its window down either: it ends with exit() from the close
    // handler. Skip the toolkit's clean-up for the same reason.
    std::exit(result);
}
