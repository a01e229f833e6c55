#pragma once

#include <locale.h>

#include <algorithm>
#include <cstdio>
#include <string>

// The gain file, the upload text and the dialog's number boxes always use the C library's "C"
// number format. The application adopts the user's locale at start-up, and a locale with a decimal
// comma would otherwise write "0,2560" into the file and the datagram. Switches the calling
// thread only, for the life of the object.
class ClassicNumbers {
public:
    ClassicNumbers();
    ~ClassicNumbers();

    ClassicNumbers(const ClassicNumbers&) = delete;
    ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
    locale_t previous_;
};

// printf-style text in the "C" number format, cut at 255 bytes: what the status bar and the
// operator's copies show is typed elsewhere (a phone, a chart), where a decimal comma misleads.
template <typename... Args>
std::string classicFormatted(const char* format, Args... args) {
    const ClassicNumbers classic;
    char buffer[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int length = std::snprintf(buffer, sizeof buffer, format, args...);
#pragma GCC diagnostic pop
    if (length < 0) return {};
    return std::string(buffer, std::min(static_cast<std::size_t>(length), sizeof buffer - 1));
}
