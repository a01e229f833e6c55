#include "app/FlightSettings.h"

#include <QSettings>

#include "app/RecentFileList.h"

namespace {

constexpr const char* kGroup = "Flight";
constexpr const char* kTrackKey = "Track";
constexpr const char* kStatusBarKey = "StatusBar";
constexpr const char* kMuteKey = "MuteAlarms";
constexpr const char* kFollowKey = "FollowAircraft";

// Stored as words rather than numbers, so that a profile stays readable and a reordered enum
// cannot change an operator's choice.
constexpr const char* kTrackWords[] = {"10 Minutes", "Whole Flight", "Off"};
constexpr TrackMode kTrackModes[] = {TrackMode::LastTenMinutes, TrackMode::WholeFlight, TrackMode::Off};

}  // namespace

FlightSettings FlightSettings::load() {
    FlightSettings loaded;
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kGroup);
    const QString track = settings.value(kTrackKey).toString();
    for (int i = 0; i < 3; ++i) {
        if (track == QLatin1String(kTrackWords[i])) loaded.trackMode = kTrackModes[i];
    }
    loaded.statusBarShown = settings.value(kStatusBarKey, true).toBool();
    loaded.alarmsMuted = settings.value(kMuteKey, false).toBool();
    loaded.followAircraft = settings.value(kFollowKey, false).toBool();
    settings.endGroup();
    return loaded;
}

void FlightSettings::save() const {
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kGroup);
    for (int i = 0; i < 3; ++i) {
        if (trackMode == kTrackModes[i]) settings.setValue(kTrackKey, QLatin1String(kTrackWords[i]));
    }
    settings.setValue(kStatusBarKey, statusBarShown);
    settings.setValue(kMuteKey, alarmsMuted);
    settings.setValue(kFollowKey, followAircraft);
    settings.endGroup();
    settings.sync();
}
