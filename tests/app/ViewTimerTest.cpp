#include <QTest>

#include <cstdint>

#include "net/TelemetryState.h"
#include "view/COrvaneView.h"

// The repaint decision of the view's timer for a link that falls silent, at any uptime.
namespace {

constexpr std::uint64_t kDayMs = 24ull * 3600 * 1000;

// The program clock's reading after `uptimeMs`: the millisecond count modulo 2^32, signed.
std::int32_t clockAt(std::uint64_t uptimeMs) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(uptimeMs));
}

}  // namespace

class ViewTimerTest : public QObject {
    Q_OBJECT

private slots:
    void silenceRepaintsOnlyWhilePanelStillShowsLink() {
        constexpr std::uint64_t k2Pow31 = 1ull << 31;
        constexpr std::uint64_t k2Pow32 = 1ull << 32;
        struct Case {
            const char* name;
            bool lineHeard;
            std::uint64_t lastLineUptime;
            bool panelShowsLink;
            std::uint64_t nowUptime;
            bool repaint;
        };
        const Case cases[] = {
            {"no line ever", false, 0, true, 100000, false},
            {"just under a second", true, 1000, true, 1999, false},
            {"one second", true, 1000, true, 2000, true},
            {"panel already reads NO LINK", true, 1000, false, 900000, false},
            {"across 2^31, short", true, k2Pow31 - 100, true, k2Pow31 + 800, false},
            {"across 2^31, long", true, k2Pow31 - 100, true, k2Pow31 + 900, true},
            {"day 30, clock negative", true, 30 * kDayMs, true, 30 * kDayMs + 5000, true},
            {"day 30, just under a second", true, 30 * kDayMs, true, 30 * kDayMs + 999, false},
            {"across 2^32, short", true, k2Pow32 - 100, true, k2Pow32 + 800, false},
            {"across 2^32, long", true, k2Pow32 - 100, true, k2Pow32 + 900, true},
            {"line at clock -1, day 49.7", true, k2Pow32 - 1, true, k2Pow32 + 2000, true},
            {"day 60", true, 60 * kDayMs, true, 60 * kDayMs + 1000, true},
        };
        for (const Case& c : cases) {
            TelemetryState telemetry;
            telemetry.lineHeard = c.lineHeard;
            telemetry.lastLineClock = clockAt(c.lastLineUptime);
            QVERIFY2(
                COrvaneView::tickNeedsRepaint(telemetry, c.panelShowsLink, clockAt(c.nowUptime)) == c.repaint,
                c.name);
        }
    }
};

QTEST_GUILESS_MAIN(ViewTimerTest)
#include "ViewTimerTest.moc"
