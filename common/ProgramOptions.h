#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Every program of the project describes its options in one table; the same table drives the
// parsing and the --help text, so that an option cannot be accepted without being listed or the
// other way round. --help, -h and --version are added to every table.

struct ProgramOption {
    std::string_view name;       // "--port"
    std::string_view valueName;  // "N"; empty for an option that takes no value
    std::string_view help;       // one line
};

struct ProgramDescription {
    std::string_view name;      // "orvane-sim"
    std::string_view synopsis;  // what follows the name on the usage line: "[OPTION]... [FILE]"
    std::string_view summary;   // what the program does, one paragraph
    std::span<const ProgramOption> options;
    std::string_view files;  // the files it reads and writes, for --help
    // Arguments with a single dash ("-platform xcb") belong to the toolkit, which takes them off
    // the command line itself; without this they are refused like any unknown option.
    bool toolkitArguments = false;
};

struct ParsedOptions {
    bool helpRequested = false;
    bool versionRequested = false;
    std::string error;  // not empty when the command line cannot be understood
    std::vector<std::string> positional;
    // Each option given, with its value ("" for one that takes none); the last one given wins.
    std::map<std::string, std::string, std::less<>> given;
    // Every option with a value in the order given, for options that may be repeated.
    std::vector<std::pair<std::string, std::string>> every;

    bool has(std::string_view option) const { return given.find(option) != given.end(); }
    const std::string* value(std::string_view option) const;
    std::vector<std::string> values(std::string_view option) const;  // each time it was given
};

// `arguments` without the program name. "--name VALUE" and "--name=VALUE" are both understood;
// "--" ends the options.
ParsedOptions parseProgramOptions(const ProgramDescription& program, std::span<const std::string> arguments);
std::vector<std::string> argumentList(int argc, const char* const* argv);  // without argv[0]

std::string programHelp(const ProgramDescription& program);
std::string programUsageLine(const ProgramDescription& program);
std::string programVersion(std::string_view programName);  // "orvane-sim 1.1"

// Answers --help and --version on standard output (status 0) and a command line that cannot be
// understood with the error and the usage on standard error (status 2). Nothing when the program
// should go on. Touches no file, no network and no toolkit, so it works with no display.
std::optional<int> answerCommandLine(const ProgramDescription& program, const ParsedOptions& parsed);
// Reports a usage error found after parsing (a bad value, a missing option): status 2.
int refuseCommandLine(const ProgramDescription& program, std::string_view error);
