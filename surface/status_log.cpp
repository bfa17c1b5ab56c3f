#include "surface/status_log.h"

#include <wx/log.h>
#include <wx/string.h>

void log_status(const std::string& text) { wxLogStatus("%s", wxString::FromUTF8(text)); }
