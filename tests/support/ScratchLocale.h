#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

// A locale compiled with localedef into a scratch directory (a fresh machine has none but "C") and
// made the process's, as the program adopts the user's locale at start-up. Back to "C" on leaving.
class ScratchLocale {
public:
    // `source` like "de_DE"; `name` like "de_DE.UTF-8".
    ScratchLocale(const char* source, const char* name) {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-locales-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        setenv("LOCPATH", dir_.c_str(), 1);
        const std::string make = std::string("localedef -c -i ") + source + " -f UTF-8 " +
                                 (dir_ / name).string() + " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0 && !std::filesystem::exists(dir_ / name)) return;
        active_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScratchLocale() {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    ScratchLocale(const ScratchLocale&) = delete;
    ScratchLocale& operator=(const ScratchLocale&) = delete;

    // False where localedef cannot make it (the locales package is missing): skip then.
    bool active() const { return active_; }

private:
    std::filesystem::path dir_;
    bool active_ = false;
};
