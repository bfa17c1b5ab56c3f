#include "surface/file_text.h"

#include <wx/convauto.h>
#include <wx/strconv.h>
#include <wx/string.h>

std::string file_text_as_utf8(std::string bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    if (bytes.empty() ||
        wxConvUTF8.ToWChar(nullptr, 0, bytes.data(), bytes.size()) != wxCONV_FAILED)
        return bytes;
    wxString text(bytes.data(), wxConvAuto(), bytes.size());
    // Text behind a byte-order mark that does not decode: every byte is still a character.
    if (text.empty())
        text = wxString(bytes.data(), wxConvISO8859_1, bytes.size());
    return text.utf8_string();
}
