#include "app/assert_output.h"
#include "tests/fixtures/abort_on_assert.h"

#include <gtest/gtest.h>

#include <wx/debug.h>

// The core tests run without an application object, where the toolkit's own handler would
// print and go on; install the aborting one before any test runs.
namespace {
const bool asserts_abort = (wxSetAssertHandler(abort_on_assert), true);
} // namespace

TEST(AssertOutputDeathTest, CoreTestsEndAtAFailedAssertionAndSayWhere)
{
    ASSERT_TRUE(asserts_abort);
    EXPECT_DEATH(wxFAIL_MSG("deliberate failure"),
                 "assert_output_test.cpp:[0-9]+: .*deliberate failure");
}
