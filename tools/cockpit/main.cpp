// orvane-cockpit: a primary flight display fed by the ground station's cockpit feed (696-byte
// packets on UDP port 5800 of the local host).
#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QTimer>
#include <cstdio>

#include "net/CockpitFeed.h"
#include "tools/cockpit/CockpitWindow.h"

namespace {

constexpr double kLongestScreenshotDelay = 3600.0;

int usageError(const QString& text) {
    std::fprintf(stderr, "orvane-cockpit: %s (see --help)\n", qPrintable(text));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The ground station starts this program under another name; take ours from here, not argv[0].
    QApplication::setApplicationName(QStringLiteral("orvane-cockpit"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Primary flight display for the Orvane cockpit feed (696-byte UDP packets)."));
    parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("UDP port on 127.0.0.1 to listen on (0: any free port)."),
        QStringLiteral("port"), QString::number(kCockpitFeedPort));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("Render into FILE (PNG) and exit."),
                                              QStringLiteral("file"));
    const QCommandLineOption afterOption(QStringLiteral("after"),
                                         QStringLiteral("Seconds to run before the screenshot."),
                                         QStringLiteral("seconds"), QStringLiteral("1"));
    parser.addOption(portOption);
    parser.addOption(screenshotOption);
    parser.addOption(afterOption);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    bool portValid = false;
    const uint port = parser.value(portOption).toUInt(&portValid);
    if (!portValid || port > 65535) return usageError(QStringLiteral("--port takes 0 to 65535"));
    bool afterValid = false;
    const double after = parser.value(afterOption).toDouble(&afterValid);
    if (!afterValid || !(after >= 0 && after <= kLongestScreenshotDelay))
        return usageError(QStringLiteral("--after takes 0 to 3600 seconds"));

    CockpitWindow window(static_cast<std::uint16_t>(port));
    if (window.receiver().handle() < 0)
        std::fprintf(stderr, "orvane-cockpit: %s\n", window.receiver().error().c_str());
    window.show();

    if (parser.isSet(screenshotOption)) {
        const QString file = parser.value(screenshotOption);
        QTimer::singleShot(static_cast<int>(after * 1000), &window, [&window, file] {
            const bool saved = window.grab().toImage().save(file, "PNG");
            if (!saved) std::fprintf(stderr, "orvane-cockpit: cannot write %s\n", qPrintable(file));
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
