#include "surface/status_log.h"

#include <wx/log.h>
#include <wx/string.h>

namespace {

thread_local std::vector<std::string>* held_messages = nullptr;

} // namespace

void log_status(const std::string& text)
{
    if (held_messages != nullptr) {
        held_messages->push_back(text);
        return;
    }
    wxLogStatus("%s", wxString::FromUTF8(text));
}

HeldStatus::HeldStatus(std::vector<std::string>& messages) : previous_(held_messages)
{
    held_messages = &messages;
}

HeldStatus::~HeldStatus() { held_messages = previous_; }

void tell_status(const std::vector<std::string>& messages)
{
    for (const std::string& message : messages)
        log_status(message);
}
