// orvane-cockpit: a primary flight display fed by the ground station's cockpit feed (696-byte
// packets on UDP port 5800 of the local host).
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QTimer>
#include <cstdio>
#include <string>
#include <type_traits>

#include "common/OutputFile.h"
#include "common/ProgramOptions.h"
#include "net/CockpitFeed.h"
#include "tools/cockpit/CockpitWindow.h"

namespace {

constexpr double kLongestScreenshotDelay = 3600.0;
constexpr int kLargestPort = 65535;

constexpr ProgramOption kOptions[] = {
    {"--port", "N", "UDP port on 127.0.0.1 to listen on (default 5800; 0: any free port)"},
    {"--screenshot", "PNG", "render the display into PNG and exit"},
    {"--after", "SECONDS", "seconds to run before the screenshot (default 1)"},
};

constexpr ProgramDescription kProgram = {
    "orvane-cockpit",
    "[OPTION]...",
    "Primary flight display for the Orvane cockpit feed (696-byte UDP packets). The ground station\n"
    "starts it as OpenGC.exe from its working directory.",
    kOptions,
    "  Reads and writes no file, except the picture of --screenshot.",
};

template <typename Number>
bool readNumber(const ParsedOptions& parsed, const char* option, Number& value) {
    const std::string* text = parsed.value(option);
    if (text == nullptr) return true;
    bool ok = false;
    if constexpr (std::is_floating_point_v<Number>) {
        value = QString::fromStdString(*text).toDouble(&ok);
    } else {
        value = QString::fromStdString(*text).toUInt(&ok);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before the toolkit starts, so that they need no display.
    const ParsedOptions parsed = parseProgramOptions(kProgram, argumentList(argc, argv));
    if (const auto status = answerCommandLine(kProgram, parsed)) return *status;
    if (!parsed.positional.empty())
        return refuseCommandLine(kProgram, "unexpected argument " + parsed.positional.front());
    uint port = kCockpitFeedPort;
    if (!readNumber(parsed, "--port", port) || port > kLargestPort)
        return refuseCommandLine(kProgram, "--port takes 0 to 65535");
    double after = 1;
    if (!readNumber(parsed, "--after", after) || !(after >= 0 && after <= kLongestScreenshotDelay))
        return refuseCommandLine(kProgram, "--after takes 0 to 3600 seconds");
    if (parsed.has("--after") && !parsed.has("--screenshot"))
        return refuseCommandLine(kProgram, "--after goes with --screenshot");

    QApplication app(argc, argv);
    // The ground station starts this program under another name; take ours from here, not argv[0].
    QApplication::setApplicationName(QStringLiteral("orvane-cockpit"));

    CockpitWindow window(static_cast<std::uint16_t>(port));
    if (window.receiver().handle() < 0)
        std::fprintf(stderr, "orvane-cockpit: %s\n", window.receiver().error().c_str());
    window.show();

    if (const std::string* screenshot = parsed.value("--screenshot")) {
        const QString file = QString::fromStdString(*screenshot);
        QTimer::singleShot(static_cast<int>(after * 1000), &window, [&window, file] {
            QBuffer png;
            png.open(QIODevice::WriteOnly);
            std::string error = file.toStdString() + " cannot be encoded as PNG";
            const bool saved = window.grab().toImage().save(&png, "PNG") &&
                               writeWholeFile(file.toStdString(), png.data().constData(),
                                              static_cast<std::size_t>(png.data().size()), error);
            if (!saved) std::fprintf(stderr, "orvane-cockpit: %s\n", error.c_str());
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
