#pragma once

#include <cstdio>
#include <string>

#include "common/Notifier.h"

// The messages a benchmark's code would show the operator, printed instead.
class PrintingNotifier : public Notifier {
public:
    void showMessage(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    }
};
