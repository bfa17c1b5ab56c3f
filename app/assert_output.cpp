#include "app/assert_output.h"

#include <iostream>

void write_assert_to_stderr(const wxString& file, int line, const wxString& function,
                            const wxString& condition, const wxString& message)
{
    std::cerr << file.utf8_string() << ":" << line << ": " << function.utf8_string()
              << ": assertion \"" << condition.utf8_string() << "\" failed";
    if (!message.empty())
        std::cerr << ": " << message.utf8_string();
    std::cerr << std::endl;
}
