#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ProgramOptions.h"

namespace {

constexpr ProgramOption kOptions[] = {
    {"--port", "N", "port to listen on"},
    {"--quiet", "", "no report"},
    {"--out", "FILE",
     "a help text long enough to be broken at a blank so that the line fits a terminal of eighty"},
};
constexpr ProgramDescription kTool = {"tool", "[OPTION]... FILE", "Does a thing.", kOptions, "  Reads FILE."};
constexpr ProgramDescription kWindowed = {"gui", "[FILE]", "Shows a thing.", kOptions, "  None.", true};

// "positional|given options|help version" or "error: ..."
std::string parse(const ProgramDescription& program, const std::vector<std::string>& arguments) {
    const ParsedOptions parsed = parseProgramOptions(program, arguments);
    if (!parsed.error.empty()) return "error: " + parsed.error;
    std::string text;
    for (const std::string& word : parsed.positional) text += word + " ";
    text += "|";
    for (const auto& [name, value] : parsed.given) text += name + "=" + value + " ";
    text += "|";
    if (parsed.helpRequested) text += "help ";
    if (parsed.versionRequested) text += "version";
    return text;
}

TEST(ProgramOptions, TheTableDecidesWhatIsAcceptedAndWhatTakesAValue) {
    struct Case {
        const ProgramDescription* program;
        std::vector<std::string> arguments;
        std::string expected;
    };
    const Case cases[] = {
        {&kTool, {}, "||"},
        {&kTool, {"a.pcap"}, "a.pcap ||"},
        {&kTool, {"--port", "9001", "f"}, "f |--port=9001 |"},
        {&kTool, {"--port=0", "--port", "7"}, "|--port=7 |"},
        {&kTool, {"--port", "--quiet"}, "|--port=--quiet |"},
        {&kTool, {"--port"}, "error: --port needs a value (N)"},
        {&kTool, {"--quiet=1"}, "error: --quiet takes no value"},
        {&kTool, {"--qui"}, "error: unknown option --qui"},
        {&kTool, {"--bogus=3"}, "error: unknown option --bogus"},
        {&kTool, {"-x"}, "error: unknown option -x"},
        {&kTool, {"-", "--", "--quiet", "-h"}, "- --quiet -h ||"},
        {&kTool, {"--help", "--version"}, "||help version"},
        {&kTool, {"-h"}, "||help "},
        {&kTool, {"--out", "x", "--help"}, "|--out=x |help "},
        // The toolkit's options with their values; one without a value leaves the next word.
        {&kWindowed, {"-platform", "xcb", "--quiet"}, "|--quiet= |"},
        {&kWindowed, {"-style", "fusion", "-reverse", "doc"}, "doc ||"},
        {&kWindowed, {"--platform"}, "error: unknown option --platform"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& word : c.arguments) joined += word + " ";
        EXPECT_EQ(parse(*c.program, c.arguments), c.expected) << joined;
    }
}

TEST(ProgramOptions, HelpListsEveryOptionAndTheFilesWithinEightyColumns) {
    const std::string help = programHelp(kTool);
    EXPECT_EQ(help.rfind("Usage: tool [OPTION]... FILE\nDoes a thing.\n", 0), 0u) << help;
    for (const char* line :
         {"  --port N              port to listen on\n", "  --quiet               no report\n",
          "  -h, --help            show this help and exit\n", "  --version ", "\nFiles:\n  Reads FILE.\n"}) {
        EXPECT_NE(help.find(line), std::string::npos) << line << " missing from\n" << help;
    }
    EXPECT_NE(help.find("  --out FILE            a help text long enough to be broken at a blank so that\n"
                        "                        the line fits a terminal of eighty\n"),
              std::string::npos)
        << help;
    std::size_t start = 0;
    for (std::size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
}

TEST(ProgramOptions, VersionIsTheNameAndTheProjectVersion) {
    EXPECT_EQ(programVersion("orvane-sim"), std::string("orvane-sim ") + ORVANE_TEST_VERSION + "\n");
}

}  // namespace
