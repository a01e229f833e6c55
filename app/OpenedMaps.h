#pragma once

#include <string>
#include <vector>

#include "map/ImagerySource.h"

class COrvaneView;
class QWidget;

// The maps the operator opened, kept in the settings profile (group "Maps") with their paths and
// the coordinate system given for them, newest first, so that the map catalogue dialog can list
// them again. User-interface thread only.
std::vector<MapOpenRequest> loadOpenedMaps();
void rememberOpenedMap(const MapOpenRequest& request);
inline constexpr int kOpenedMapsKept = 8;

// What the operator chose in the map chooser: a tile of a z/x/y tile folder stands for its
// folder (a picture of its own has a world file beside it); anything else for itself.
std::string mapPathOfChoice(const std::string& chosen);

// Ties `view` to the profile and to the question for a missing coordinate system, asked over
// `parent`.
void connectOpenedMaps(COrvaneView& view, QWidget* parent);
