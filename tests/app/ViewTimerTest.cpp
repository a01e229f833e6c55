#include <QTest>

#include <cstdint>
#include <limits>

#include "net/TelemetryState.h"
#include "view/COrvaneView.h"

// The repaint decision of the view's timer for a link that falls silent, across the clock's wrap.
class ViewTimerTest : public QObject {
    Q_OBJECT

private slots:
    void silenceRepaintsOnlyWhilePanelStillShowsLink() {
        constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
        constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
        struct Case {
            const char* name;
            std::int32_t lastLine;
            bool panelShowsLink;
            std::int32_t now;
            bool repaint;
        };
        const Case cases[] = {
            {"no line ever", -1, true, 100000, false},
            {"just under a second", 1000, true, 1999, false},
            {"one second", 1000, true, 2000, true},
            {"panel already reads NO LINK", 1000, false, 900000, false},
            {"across the clock wrap, short", kMax - 100, true, kMin + 800, false},
            {"across the clock wrap, long", kMax - 100, true, kMin + 900, true},
        };
        for (const Case& c : cases) {
            TelemetryState telemetry;
            telemetry.lastLineClock = c.lastLine;
            QVERIFY2(COrvaneView::tickNeedsRepaint(telemetry, c.panelShowsLink, c.now) == c.repaint, c.name);
        }
    }
};

QTEST_GUILESS_MAIN(ViewTimerTest)
#include "ViewTimerTest.moc"
