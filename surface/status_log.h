// One outcome message at status level: status field 0 of the main window, and the batch log
// while a batch runs. The text is UTF-8 and is never used as a format.
#pragma once

#include <string>

void log_status(const std::string& text);
