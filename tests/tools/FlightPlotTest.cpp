#include "tools/log/FlightPlot.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "tests/record/RecordTestSupport.h"

namespace {

constexpr std::uint32_t kAircraft = 0x0A000002;
constexpr std::uint32_t kGround = 0x0A000001;
constexpr std::int64_t kStart = 1796761967LL * 1000000;

// A straight flight north-east for a minute at 10 lines a second, with a 3-second gap.
FlightLog straightFlight(const std::filesystem::path& file) {
    std::vector<FrameToWrite> frames;
    for (int i = 0; i < 600; ++i) {
        if (i >= 300 && i < 330) continue;
        const double lat = 40.0 + i * 1e-5;
        const double lon = -75.0 + i * 1e-5;
        char line[200];
        std::snprintf(line, sizeof line, "0 0 0 0 0 0 0.1 0.05 0.8 0 0 0 %d 18 %.6f %.6f %d 1 1 1",
                      100 + i % 7, lat, lon, 120 + i / 10);
        frames.push_back({kStart + i * 100000LL, udpPacket(kAircraft, 4000, kGround, 9001, bytesOf(line))});
    }
    writeCapture(file, DLT_RAW, frames);
    FlightLog log;
    std::string error;
    if (!readFlightLog(file, kDefaultTelemetryPort, log, error)) qFatal("%s", error.c_str());
    return log;
}

// True when a pixel within `radius` of `at` has the track's colour.
bool trackColourNear(const QImage& image, QPointF at, int radius) {
    const QColor track = QColor::fromRgba(FlightPlot::kTrackColour);
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p(static_cast<int>(std::lround(at.x())) + dx,
                           static_cast<int>(std::lround(at.y())) + dy);
            if (!image.rect().contains(p)) continue;
            const QColor c = image.pixelColor(p);
            if (std::abs(c.red() - track.red()) + std::abs(c.green() - track.green()) +
                    std::abs(c.blue() - track.blue()) <
                30) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

class FlightPlotTest : public QObject {
    Q_OBJECT

private slots:
    void pictureHasTheAskedSizeAndTheTrackWhereItFlew() {
        QTemporaryDir folder;
        const FlightLog log = straightFlight(folder.filePath("flight.pcap").toStdString());
        for (const QSize size : {QSize(1600, 1200), QSize(900, 700)}) {
            FlightPlot plot(log, size);
            const QImage image = plot.image();
            QCOMPARE(image.size(), size);
            // Along the track, the track's colour; beside it, none.
            for (const double fraction : {0.1, 0.5, 0.9}) {
                const double lat = 40.0 + 599e-5 * fraction;
                const double lon = -75.0 + 599e-5 * fraction;
                const QPointF on = plot.trackPixel(lat, lon);
                QVERIFY2(trackColourNear(image, on, 1),
                         qPrintable(QString("track missing at %1,%2").arg(on.x()).arg(on.y())));
                const QPointF beside = plot.trackPixel(lat + 599e-5 * 0.3, lon - 599e-5 * 0.3);
                QVERIFY(!trackColourNear(image, beside, 2));
            }
        }
    }

    void writesPngAndSvgOfTheAskedSizeAndRefusesOtherEndings() {
        QTemporaryDir folder;
        const FlightLog log = straightFlight(folder.filePath("flight.pcap").toStdString());
        std::string error;
        const QString png = folder.filePath("flight.png");
        QVERIFY(writeFlightPlot(log, png, QSize(1000, 800), error));
        QCOMPARE(QImageReader(png).size(), QSize(1000, 800));
        const QString svg = folder.filePath("flight.svg");
        QVERIFY(writeFlightPlot(log, svg, QSize(1000, 800), error));
        QFile svgFile(svg);
        QVERIFY(svgFile.open(QIODevice::ReadOnly));
        const QByteArray text = svgFile.readAll();
        QVERIFY(text.contains("<svg") && text.contains("viewBox=\"0 0 1000 800\""));
        QVERIFY(!writeFlightPlot(log, folder.filePath("flight.bmp"), QSize(1000, 800), error));
        QVERIFY(error.find(".png or .svg") != std::string::npos);
    }
};

QTEST_MAIN(FlightPlotTest)
#include "FlightPlotTest.moc"
