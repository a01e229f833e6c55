#pragma once

#include <locale.h>

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
