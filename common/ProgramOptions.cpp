#include "common/ProgramOptions.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#ifndef ORVANE_VERSION
#error "ORVANE_VERSION comes from the project's version in the build"
#endif

namespace {

constexpr ProgramOption kStandardOptions[] = {
    {"-h, --help", "", "show this help and exit"},
    {"--version", "", "show the name and version and exit"},
};
// The toolkit's own options that take the next argument as their value ("-platform xcb"), so
// that the value is not taken for a file of the program's.
constexpr std::string_view kToolkitOptionsWithValue[] = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",       "-session",       "-style",  "-stylesheet",
    "-display",     "-geometry",           "-name",          "-title",  "-visual",
};
constexpr std::size_t kHelpColumn = 24;
constexpr std::size_t kLineWidth = 79;

const ProgramOption* findOption(const ProgramDescription& program, std::string_view name) {
    const auto found = std::find_if(program.options.begin(), program.options.end(),
                                    [name](const ProgramOption& option) { return option.name == name; });
    return found == program.options.end() ? nullptr : &*found;
}

// The option and its value name, then its help from a fixed column, broken at blanks to fit a
// terminal's width.
void appendOptionLine(std::string& text, const ProgramOption& option) {
    std::string line = "  " + std::string(option.name);
    if (!option.valueName.empty()) line += " " + std::string(option.valueName);
    if (line.size() + 2 > kHelpColumn) {
        text += line + "\n";
        line.clear();
    }
    line.resize(kHelpColumn, ' ');
    std::string_view rest = option.help;
    while (!rest.empty()) {
        std::size_t take = rest.size();
        if (line.size() + take > kLineWidth) {
            const std::size_t blank = rest.rfind(' ', kLineWidth - line.size());
            take = blank == std::string_view::npos || blank == 0 ? rest.size() : blank;
        }
        text += line + std::string(rest.substr(0, take)) + "\n";
        rest.remove_prefix(take);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        line.assign(kHelpColumn, ' ');
    }
}

}  // namespace

const std::string* ParsedOptions::value(std::string_view option) const {
    const auto found = given.find(option);
    return found == given.end() ? nullptr : &found->second;
}

std::vector<std::string> argumentList(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

ParsedOptions parseProgramOptions(const ProgramDescription& program, std::span<const std::string> arguments) {
    ParsedOptions parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            parsed.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            parsed.helpRequested = true;
            continue;
        }
        if (argument == "--version") {
            parsed.versionRequested = true;
            continue;
        }
        if (argument[1] != '-' && program.toolkitArguments) {
            const bool takesValue =
                std::find(std::begin(kToolkitOptionsWithValue), std::end(kToolkitOptionsWithValue),
                          argument) != std::end(kToolkitOptionsWithValue);
            if (takesValue) ++i;
            continue;
        }

        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const ProgramOption* option = findOption(program, name);
        if (option == nullptr) {
            parsed.error = "unknown option " + name;
            return parsed;
        }
        if (option->valueName.empty()) {
            if (equals != std::string::npos) {
                parsed.error = name + " takes no value";
                return parsed;
            }
            parsed.given[name] = std::string();
        } else if (equals != std::string::npos) {
            parsed.given[name] = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            parsed.given[name] = arguments[++i];
        } else {
            parsed.error = name + " needs a value (" + std::string(option->valueName) + ")";
            return parsed;
        }
    }
    return parsed;
}

std::string programUsageLine(const ProgramDescription& program) {
    return "Usage: " + std::string(program.name) + " " + std::string(program.synopsis) + "\n";
}

std::string programHelp(const ProgramDescription& program) {
    std::string text = programUsageLine(program);
    text += std::string(program.summary) + "\n\nOptions:\n";
    for (const ProgramOption& option : program.options) appendOptionLine(text, option);
    for (const ProgramOption& option : kStandardOptions) appendOptionLine(text, option);
    text += "\nFiles:\n" + std::string(program.files) + "\n";
    return text;
}

std::string programVersion(std::string_view programName) {
    return std::string(programName) + " " + ORVANE_VERSION + "\n";
}

std::optional<int> answerCommandLine(const ProgramDescription& program, const ParsedOptions& parsed) {
    if (!parsed.error.empty()) return refuseCommandLine(program, parsed.error);
    if (parsed.helpRequested) {
        std::fputs(programHelp(program).c_str(), stdout);
        return 0;
    }
    if (parsed.versionRequested) {
        std::fputs(programVersion(program.name).c_str(), stdout);
        return 0;
    }
    return std::nullopt;
}

int refuseCommandLine(const ProgramDescription& program, std::string_view error) {
    std::fprintf(stderr, "%.*s: %.*s\n%sTry '%.*s --help' for more information.\n",
                 static_cast<int>(program.name.size()), program.name.data(), static_cast<int>(error.size()),
                 error.data(), programUsageLine(program).c_str(), static_cast<int>(program.name.size()),
                 program.name.data());
    return 2;
}
