// Where a failed toolkit assertion goes: to standard error, never into a dialog, which would
// hang an unattended batch run.
#pragma once

#include <wx/string.h>

// Writes "file:line: function: assertion "condition" failed: message" to standard error.
void write_assert_to_stderr(const wxString& file, int line, const wxString& function,
                            const wxString& condition, const wxString& message);
