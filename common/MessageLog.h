#pragma once

#include <chrono>
#include <string>
#include <string_view>

// Every message the program shows in a box is also written to standard error, one line with the
// local time, so that it can be read afterwards (started from the desktop menu, standard error
// goes to the journal).

// "2026-12-08 22:31:05.042 +0000 Orvane: text"; line breaks of the text become blanks.
std::string messageLogLine(std::chrono::system_clock::time_point when, std::string_view caption,
                           std::string_view text);
// Writes messageLogLine for now to standard error in one write. Any thread.
void logMessage(std::string_view caption, std::string_view text);
