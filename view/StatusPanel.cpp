#include "view/StatusPanel.h"

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdio>

#include "net/TelemetryState.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"

namespace {

// Radians to degrees as the aircraft's own displays convert them.
constexpr double kDegreesPerRadian = 57.3;

constexpr std::array<const char*, 5> kAhrsStatusText{"NO IMU", "b", "ACQ", "INVALID", "CHKSUM ERR"};
constexpr std::int16_t kAhrsAcquired = 2;
constexpr std::int16_t kUnitAcquired = 1;

// Positions of the top block (scene units; x relative to the map origin).
constexpr float kLabelColumn = 0.0f;
constexpr float kValueColumn = 0.9f;
constexpr float kSecondLabelColumn = 2.5f;
constexpr float kSecondValueColumn = 3.2f;
constexpr float kLatRow = 3.3f, kLonRow = 3.05f, kAltRow = 2.8f, kSpeedRow = 2.55f;
constexpr float kTimeBelowMap = 0.2f;
// The time line shows the first 24 characters of the calendar-time text.
constexpr std::size_t kPanelTimeLength = 24;

// The framed state table at the right of the view.
constexpr std::array<float, 2> kFrameTopLeft{1.712f, 2.45f};
constexpr std::array<float, 2> kFrameBottomRight{5.412f, -3.3f};
constexpr std::array<float, 3> kFrameColor{0.2f, 1.0f, 0.9f};
constexpr float kTableOffsetY = 2.2f;  // the table's origin, 0.25 below the frame's top
constexpr float kTableLabelX = 0.1f;
constexpr float kTableValueX = 1.5f;
constexpr float kTableStatusX = 1.68f;
constexpr float kRateX = 2.3f;
constexpr float kHertzX = 2.85f;
constexpr float kHeadingSize = 0.6f;
// "2 SRC" is a glyph longer than "LINK": smaller, it ends before the rate instead of running into it.
constexpr float kTwoSourcesSize = 0.7f;
// The replay mark, in the table's free space under the COMM row.
constexpr float kReplayMarkY = -4.06f;
// Its second part while the replay goes to the cockpit, smaller, on the same line after the longest
// mark ("REPLAY -0.25x"): the buttons leave no room under it.
constexpr float kReplayCockpitMarkX = 2.3f;
constexpr float kReplayCockpitMarkSize = 0.6f;

template <typename... Args>
std::string formatted(const char* format, Args... args) {
    std::array<char, kPanelTextCapacity> buffer{};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int length = std::snprintf(buffer.data(), buffer.size(), format, args...);
#pragma GCC diagnostic pop
    // The capacity fits every value the panel formats; should that ever change, a cut number is a
    // wrong number, so nothing is shown rather than part of it.
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) return "?";
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

std::string formatCoordinate(double degrees) {
    return formatted("%9.5f", degrees);
}
std::string formatReading(float value) {
    return formatted("%9.2f", static_cast<double>(value));
}
std::string formatStateValue(double value) {
    return formatted("%7.2f", value);
}

std::string formatLineRate(double packetInterval) {
    if (!(packetInterval > 0)) return "--.-";
    return formatted("%4.1f", 1.0 / packetInterval);
}

std::string formatPanelTime(std::time_t time) {
    std::tm local{};
    if (!localtime_r(&time, &local)) return {};
    // The calendar-time layout with its English names whatever the user's locale (the program
    // adopts it at start-up, and strftime would then write its names in UTF-8, which the
    // single-byte font cannot show and which would push the year past the cut).
    static constexpr std::array<const char*, 7> kWeekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11) return {};
    const std::string text =
        formatted("%.3s %.3s%3d %.2d:%.2d:%.2d %d", kWeekdays[static_cast<std::size_t>(local.tm_wday)],
                  kMonths[static_cast<std::size_t>(local.tm_mon)], local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, 1900 + local.tm_year);
    return text.substr(0, kPanelTimeLength);
}

StatusWord ahrsStatusWord(std::int16_t ahrsStatus) {
    if (ahrsStatus == kAhrsAcquired) return {"ACQ", colorGreen};
    if (ahrsStatus >= 0 && ahrsStatus < static_cast<int>(kAhrsStatusText.size())) {
        return {kAhrsStatusText[static_cast<std::size_t>(ahrsStatus)], colorRed};
    }
    return {formatted("STATUS %d", static_cast<int>(ahrsStatus)), colorRed};
}

StatusWord gpsStatusWord(std::int16_t gpsStatus) {
    if (gpsStatus == kUnitAcquired) return {"ACQ", colorGreen};
    return {"NO GPS", colorRed};
}

StatusWord navStatusWord(std::int16_t navStatus) {
    if (navStatus == kUnitAcquired) return {"ACQ", colorGreen};
    return {"DISABLED", colorRed};
}

void Scene::buildStatusPanel() {
    panelTexts_.clear();
    panelOrigin_ = {0, 0};
    const TelemetryState& t = telemetry();
    const float left = mapGeometry_.mapOriginX;

    // A replay shows the time its line was received, not the time it is watched.
    const std::time_t shownTime = replay_ != nullptr ? replay_->lineTime : calendarClock_();
    panelText(left, mapGeometry_.mapOriginY - kTimeBelowMap, colorWhite, 0.7f, formatPanelTime(shownTime));

    panelText(left + kLabelColumn, kLatRow, colorWhite, 1.0f, "LAT");
    panelText(left + kLabelColumn, kLonRow, colorWhite, 1.0f, "LON");
    panelText(left + kLabelColumn, kAltRow, colorWhite, 1.0f, "ALT");
    panelText(left + kLabelColumn, kSpeedRow, colorWhite, 1.0f, "GS");
    panelText(left + kSecondLabelColumn, kAltRow, colorWhite, 1.0f, "PALT");
    panelText(left + kSecondLabelColumn, kSpeedRow, colorWhite, 1.0f, "CAS");
    panelText(left + kSecondValueColumn, kAltRow, colorGreen, 1.0f, formatReading(t.palt));
    panelText(left + kSecondValueColumn, kSpeedRow, colorGreen, 1.0f, formatReading(t.cas));
    panelText(left + kValueColumn, kLatRow, colorWhite, 1.0f, formatCoordinate(t.lat));
    panelText(left + kValueColumn, kLonRow, colorWhite, 1.0f, formatCoordinate(t.lon));
    panelText(left + kValueColumn, kAltRow, colorRed, 1.0f, formatReading(t.alt));
    // The telemetry line carries no ground speed: the GS row shows the airspeed.
    panelText(left + kValueColumn, kSpeedRow, colorRed, 1.0f, formatReading(t.cas));

    // The state table's frame is drawn between the top block and the table.
    panelTextsBeforeFrame_ = panelTexts_.size();
    panelOrigin_ = {kFrameTopLeft[0], kTableOffsetY};
    buildStateTable();
    panelOrigin_ = {0, 0};
}

void Scene::panelText(float x, float y, int colorIndex, float size, const std::string& text) {
    if (colorIndex < 0 || colorIndex >= static_cast<int>(colorTable_.size())) return;
    panelText(x, y, colorTable_[static_cast<std::size_t>(colorIndex)], size, text);
}

void Scene::panelText(float x, float y, const std::array<float, 3>& color, float size,
                      const std::string& text) {
    PanelText entry{panelOrigin_, x, y, color, size, text, {}};
    entry.rect = textRect(panelOrigin_[0] + x, panelOrigin_[1] + y, size, text);
    panelTexts_.push_back(std::move(entry));
}

SceneRect Scene::statusFrameRect() {
    return SceneRect{kFrameTopLeft[0], kFrameBottomRight[1], kFrameBottomRight[0], kFrameTopLeft[1]};
}

void Scene::drawStatusPanel() {
    if (!inFrame_) buildStatusPanel();
    const auto drawEntry = [this](const PanelText& entry) {
        const bool moved = entry.origin[0] != 0 || entry.origin[1] != 0;
        if (moved) {
            glPushMatrix();
            glTranslatef(entry.origin[0], entry.origin[1], 0);
        }
        drawTextInColor(entry.x, entry.y, entry.color, entry.size, entry.text.c_str());
        if (moved) glPopMatrix();
    };
    for (std::size_t i = 0; i < panelTextsBeforeFrame_ && i < panelTexts_.size(); ++i)
        drawEntry(panelTexts_[i]);

    glPushMatrix();
    glLineWidth(1.0f);
    glColor3f(kFrameColor[0], kFrameColor[1], kFrameColor[2]);
    glBegin(GL_LINE_LOOP);
    glVertex3f(kFrameTopLeft[0], kFrameTopLeft[1], 0);
    glVertex3f(kFrameBottomRight[0], kFrameTopLeft[1], 0);
    glVertex3f(kFrameBottomRight[0], kFrameBottomRight[1], 0);
    glVertex3f(kFrameTopLeft[0], kFrameBottomRight[1], 0);
    glEnd();
    glPopMatrix();

    for (std::size_t i = panelTextsBeforeFrame_; i < panelTexts_.size(); ++i) drawEntry(panelTexts_[i]);
}

void Scene::buildStateTable() {
    TelemetryState& t = telemetry();
    struct Row {
        float y;
        const char* label;
    };
    constexpr std::array<Row, 13> kLabels{{{-0.16f, "PHI"},
                                           {-0.41f, "THE"},
                                           {-0.66f, "PSI"},
                                           {-1.035f, "P"},
                                           {-1.285f, "Q"},
                                           {-1.535f, "R"},
                                           {-1.91f, "Ax"},
                                           {-2.16f, "Ay"},
                                           {-2.41f, "Az"},
                                           {-2.91f, "AHRS"},
                                           {-3.16f, "GPS"},
                                           {-3.41f, "NAV"},
                                           {-3.66f, "COMM"}}};
    panelText(kTableLabelX, 0.09f, colorBlue, kHeadingSize, "STATE INFORMATION");
    for (std::size_t i = 0; i < 9; ++i)
        panelText(kTableLabelX, kLabels[i].y, colorWhite, 1.0f, kLabels[i].label);
    panelText(kTableLabelX, -2.66f, colorBlue, kHeadingSize, "VEXO STATUS");
    for (std::size_t i = 9; i < kLabels.size(); ++i) {
        panelText(kTableLabelX, kLabels[i].y, colorWhite, 1.0f, kLabels[i].label);
    }

    struct Value {
        double value;
        int colorIndex;
    };
    const std::array<Value, 9> values{{{t.phi * kDegreesPerRadian, colorYellow},
                                       {t.theta * kDegreesPerRadian, colorYellow},
                                       {t.psi * kDegreesPerRadian, colorWhite},
                                       {t.p * kDegreesPerRadian, colorWhite},
                                       {t.q * kDegreesPerRadian, colorWhite},
                                       {t.r * kDegreesPerRadian, colorWhite},
                                       {t.ax, colorWhite},
                                       {t.ay, colorWhite},
                                       {t.az, colorWhite}}};
    for (std::size_t i = 0; i < values.size(); ++i) {
        panelText(kTableValueX, kLabels[i].y, values[i].colorIndex, 1.0f, formatStateValue(values[i].value));
    }

    // Without a link the last words received are history: grey, so that nobody reads them as live.
    const bool unknown = linkLostShown();
    const StatusWord words[] = {ahrsStatusWord(t.ahrsStatus), gpsStatusWord(t.gpsStatus),
                                navStatusWord(t.navStatus)};
    for (std::size_t i = 0; i < 3; ++i) {
        const float y = kLabels[9 + i].y;
        if (unknown) {
            panelText(kTableStatusX, y, kUnknownStateColor, 1.0f, words[i].text);
        } else {
            panelText(kTableStatusX, y, words[i].colorIndex, 1.0f, words[i].text);
        }
    }

    // Read and cleared in one step, so a line arriving while the panel draws is kept for the next
    // drawing instead of being lost between the test and the clearing.
    const float commRow = kLabels[12].y;
    // A replayed moment keeps its link state however often it is drawn.
    lastDrawingShowedLink_ = (replay_ != nullptr ? t.linkAlive.load() : t.linkAlive.exchange(0)) == 1;
    if (lastDrawingShowedLink_) {
        // Lines from two senders at once: whatever the panel shows may mix two aircraft's values,
        // and an upload may go to either of them.
        const bool severalSenders =
            replay_ != nullptr ? replay_->severalSenders : t.senders.severalSenders(clock_());
        if (severalSenders) {
            panelText(kTableStatusX, commRow, colorRed, kTwoSourcesSize, "2 SRC");
        } else {
            panelText(kTableStatusX, commRow, colorGreen, 1.0f, "LINK");
        }
        panelText(kHertzX, commRow, colorWhite, 1.0f, "Hz");
        panelText(kRateX, commRow, colorYellow, 1.0f, formatLineRate(t.packetInterval));
    } else {
        panelText(kTableStatusX, commRow, colorRed, 1.0f, "NO LINK");
    }
    if (replay_ != nullptr) {
        panelText(kTableLabelX, kReplayMarkY, colorYellow, 1.0f, replay_->mark);
        // The cockpit display shows this replay, not the aircraft flying now.
        if (replay_->toCockpit) {
            panelText(kReplayCockpitMarkX, kReplayMarkY, colorYellow, kReplayCockpitMarkSize,
                      kReplayToCockpitMark);
        }
    }
}
