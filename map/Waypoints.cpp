#include "map/Waypoints.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/ClassicNumbers.h"
#include "common/Notifier.h"
#include "net/UploadGate.h"

namespace {

// Scaled positions beyond this are far outside every box; it keeps the conversion to int defined.
constexpr double kReferenceLimit = 1e6;

// "%10.6f" of the largest double is a sign, 309 digits, the point and six decimals: it, or a
// label, always fits.
constexpr std::size_t kFormattedCapacity = 400;

// Places of each coordinate in the upload text.
constexpr int kCoordinateWidth = 10;

using FormattedText = char[kFormattedCapacity];

// What snprintf left in `text` (a failed or cut formatting keeps what fitted).
std::string formattedString(const FormattedText& text, int length) {
    if (length < 0) return {};
    return std::string(text, std::min(static_cast<std::size_t>(length), kFormattedCapacity - 1));
}

void addWaypoint(Waypoints& waypoints, const MapGeometry& geometry, const MapWindow& window,
                 ScenePoint shown) {
    const ScenePoint point = unzoomedScenePoint(geometry, window, shown);
    const GeoPoint geo = sceneToGeo(geometry, point);
    const auto i = static_cast<std::size_t>(waypoints.waypointCount);
    waypoints.waypointSceneX[i] = point.x;
    waypoints.waypointSceneY[i] = point.y;
    waypoints.waypointLon[i] = geo.lon;
    waypoints.waypointLat[i] = geo.lat;
    ++waypoints.waypointCount;
}

}  // namespace

std::optional<ReferencePosition> toReferenceFrame(double x, double y, int windowWidth, int windowHeight,
                                                  int referenceWidth, int referenceHeight) {
    if (windowWidth <= 0 || windowHeight <= 0) return std::nullopt;
    const double scaledX = std::trunc(x * (static_cast<double>(referenceWidth) / windowWidth));
    const double scaledY = std::trunc(y * (static_cast<double>(referenceHeight) / windowHeight));
    // Also refuses NaN.
    if (!(std::fabs(scaledX) < kReferenceLimit && std::fabs(scaledY) < kReferenceLimit)) return std::nullopt;
    return ReferencePosition{static_cast<int>(scaledX), static_cast<int>(scaledY)};
}

void dispatchDoubleClick(Waypoints& waypoints, const MapGeometry& geometry, const MapWindow& window,
                         const DoubleClickPosition& click, const DoubleClickActions& actions) {
    const ReferencePosition at = click.reference;
    auto beep = [&] {
        if (actions.beep) actions.beep();
    };
    if (kUploadButtonBox.contains(at.x, at.y)) {
        waypoints.uploadPressed = 1;
        if (actions.uploadWaypoints) actions.uploadWaypoints();
        beep();
    } else if (kLoadMapButtonBox.contains(at.x, at.y)) {
        waypoints.loadMapPressed = 1;
        if (actions.openMapDialog) actions.openMapDialog();
        beep();
    } else if (kClearButtonBox.contains(at.x, at.y)) {
        waypoints.clearPressed = 1;
        waypoints.waypointCount = 0;
        waypoints.routeShown = 0;
        beep();
    } else if (isOnMap(geometry, click.scene)) {
        // The list has no room for another: the operator hears that the click was refused.
        if (waypoints.waypointCount >= kWaypointCapacity) {
            beep();
            return;
        }
        addWaypoint(waypoints, geometry, window, click.scene);
    }
}

std::optional<UplinkDatagram> buildWaypointUploadDatagram(const Waypoints& waypoints, int count) {
    if (count < 0 || count > kWaypointUploadLimit || count > waypoints.waypointCount) return std::nullopt;
    const ClassicNumbers classic;
    FormattedText field;
    std::string text = formattedString(field, std::snprintf(field, sizeof field, "%c %d", 'W', count));
    for (int i = 0; i < count; ++i) {
        for (const double degrees : {waypoints.waypointLat[static_cast<std::size_t>(i)],
                                     waypoints.waypointLon[static_cast<std::size_t>(i)]}) {
            // "nan" and "inf" would fit the width yet tell the aircraft nothing it could fly to.
            if (!std::isfinite(degrees)) return std::nullopt;
            const int length = std::snprintf(field, sizeof field, "%10.6f ", degrees);
            // Every coordinate takes exactly its ten places: a wider one would shift the rest of
            // the route and, with eight waypoints, run past byte 178.
            if (length != kCoordinateWidth + 1) return std::nullopt;
            text += formattedString(field, length);
        }
    }
    // Eight waypoints fill bytes 0..178 exactly: the checksum takes the terminator's place.
    return frameUplinkText(text, kUplinkTextFull);
}

void uploadWaypoints(Waypoints& waypoints, UploadGate& gate, Notifier& notifier) {
    const int count = std::min(waypoints.waypointCount, kWaypointUploadLimit);
    const std::optional<UplinkDatagram> datagram = buildWaypointUploadDatagram(waypoints, count);
    if (!datagram) {
        notifier.showMessage(kApplicationTitle, kWaypointsDoNotFitMessage);
        return;
    }
    switch (gate.send({UploadRequest::Kind::waypoints, waypoints.waypointCount}, *datagram)) {
        case UploadOutcome::sent:
            // The list keeps only what the aircraft now flies.
            waypoints.waypointCount = count;
            waypoints.routeShown = 1;
            return;
        case UploadOutcome::sendFailed:
            notifier.showMessage(kApplicationTitle, kWaypointSendFailedMessage);
            return;
        case UploadOutcome::refused:
        case UploadOutcome::cancelled:
            // The gate told the operator, or the operator chose so: the list stays as it was.
            return;
    }
}

std::string formatWaypointLatLabel(int number, double lat) {
    const ClassicNumbers classic;
    FormattedText label;
    return formattedString(label, std::snprintf(label, sizeof label, "[%d]:  %10.5fN", number, lat));
}

std::string formatWaypointLonLabel(double lon) {
    const ClassicNumbers classic;
    FormattedText label;
    return formattedString(label, std::snprintf(label, sizeof label, "      %10.5fW", lon));
}
