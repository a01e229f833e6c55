#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "map/MapGeometry.h"
#include "net/UplinkFrame.h"

class Notifier;
class UploadGate;

// The route the operator plans by double-clicking the map, the flags of the three buttons under
// the map and the flash counters that time their red fill. User-interface thread only.
inline constexpr int kWaypointCapacity = 100;

struct Waypoints {
    int routeShown = 0;
    int waypointCount = 0;
    std::array<double, kWaypointCapacity> waypointLat{};
    std::array<double, kWaypointCapacity> waypointLon{};
    std::array<double, kWaypointCapacity> waypointSceneY{};
    std::array<double, kWaypointCapacity> waypointSceneX{};
    int uploadPressed = 0;
    int clearPressed = 0;
    int loadMapPressed = 0;
    // Drawings in which each button has been shown red so far.
    int uploadFlashCount = 0;
    int clearFlashCount = 0;
    int loadMapFlashCount = 0;
};

// Reference-frame boxes of the buttons, edges included.
struct ReferenceBox {
    int left, right, top, bottom;
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};
inline constexpr ReferenceBox kUploadButtonBox{678, 812, 520, 560};
inline constexpr ReferenceBox kLoadMapButtonBox{678, 812, 573, 616};
inline constexpr ReferenceBox kClearButtonBox{824, 959, 518, 560};

// The scene stretches with the window, so clicks on the buttons are scaled into one fixed
// reference frame before hit-testing.
inline constexpr int kReferenceWidth = 1024;
inline constexpr int kReferenceHeight = 672;

// A client position (logical pixels) scaled into the reference frame of referenceWidth x
// referenceHeight; nothing while the window has no positive size or the result is out of range.
struct ReferencePosition {
    int x, y;
};
std::optional<ReferencePosition> toReferenceFrame(double x, double y, int windowWidth, int windowHeight,
                                                  int referenceWidth, int referenceHeight);

// Where a double-click fell: in the reference frame for the buttons, and on the scene plane (as
// shown, through the camera) for the map, which is hit-tested against its drawn rectangle.
struct DoubleClickPosition {
    ReferencePosition reference;
    ScenePoint scene;
};

// What a double-click asks of the view besides changing the list.
struct DoubleClickActions {
    std::function<void()> uploadWaypoints;
    std::function<void()> openMapDialog;
    std::function<void()> beep;
};

// The left-button double-click at `at`: a button's action, or a new waypoint at the map position
// under the cursor as the map is shown through `window` (a full list takes none and beeps).
void dispatchDoubleClick(Waypoints& waypoints, const MapGeometry& geometry, const MapWindow& window,
                         const DoubleClickPosition& at, const DoubleClickActions& actions);

// The upload of the first `count` waypoints (0..8): "W n" and "%10.6f %10.6f " per waypoint,
// framed into 180 bytes. Nothing when a coordinate prints wider than its 10 characters (which
// could push the text past byte 178) or is not a finite number.
std::optional<UplinkDatagram> buildWaypointUploadDatagram(const Waypoints& waypoints, int count);

// Sends the first eight waypoints through the upload gate, then cuts the list to them and shows the
// route. When nothing is sent (a coordinate that does not fit, the gate's refusal, the operator's
// Cancel, a failed send) the list and route stay as they were; the operator is told why unless it
// was the operator's own choice.
void uploadWaypoints(Waypoints& waypoints, UploadGate& gate, Notifier& notifier);

// The two labels of waypoint `number` (counted from 1): "[%d]:  %10.5fN" and "      %10.5fW".
std::string formatWaypointLatLabel(int number, double lat);
std::string formatWaypointLonLabel(double lon);

// Told to the operator when an upload is refused.
inline constexpr const char* kWaypointsDoNotFitMessage =
    "The waypoints were not uploaded: a waypoint lies outside the range the upload can carry (its "
    "latitude and longitude must each print within ten characters). Nothing was sent.";
inline constexpr const char* kWaypointSendFailedMessage =
    "The waypoints could not be sent to the aircraft. The route is unchanged.";
