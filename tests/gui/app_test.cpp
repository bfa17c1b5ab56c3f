// The application object as the toolkit sees it, and what a failed assertion does.
#include "app/app.h"
#include "app/assert_output.h"
#include "tests/gui/gui_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

TEST(Application, RegistersItsClassWithTheToolkit)
{
    const wxClassInfo* info = wxGetApp().GetClassInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->GetClassName(), L"MyApp");
    EXPECT_TRUE(info->IsKindOf(wxCLASSINFO(wxApp)));
}

TEST(ApplicationDeathTest, FailedAssertionIsWrittenToStandardErrorAndTheProgramGoesOn)
{
    // A dialog here would wait forever in an unattended batch run.
    ASSERT_EQ(gui_test::program_assert_handler, &write_assert_to_stderr);
    EXPECT_EXIT(
        {
            wxSetAssertHandler(gui_test::program_assert_handler);
            wxFAIL_MSG("deliberate failure");
            std::fputs("went on\n", stderr);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "app_test.cpp:[0-9]+: .*deliberate failure.*went on");
}
