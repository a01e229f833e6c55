#pragma once

#include <QObject>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "map/RouteProfile.h"

class FlightDeck;
class Notifier;
class QWidget;
class TerrainLoader;

// The operator's elevation choices, kept in the settings profile (group "Elevation"): files and
// folders opened in the Elevation Data dialog, the unit the aircraft's `alt` comes in (heights are
// shown in it too) and the clearance margin. User-interface thread only.
struct ElevationSettings {
    QStringList paths;
    HeightUnit unit = HeightUnit::Metres;
    double marginMetres = 30;

    static ElevationSettings load();
    void save() const;
};

// Where elevation files come from: `elevation/` of the working folder and of the operator's own
// folder, the command line's `--elevation` paths and the dialog's; each once, in that order.
std::vector<std::string> elevationPaths(const std::vector<std::string>& commandLine,
                                        const QStringList& chosen);

// Owns the terrain reader and ties it to the view's flight deck, the profile and the two dialogs.
class TerrainControl : public QObject {
    Q_OBJECT
public:
    TerrainControl(std::vector<std::string> commandLinePaths, FlightDeck& deck, Notifier& notifier);
    ~TerrainControl() override;

    // Flight > Elevation Data...: a new modeless dialog over `parent`.
    void showElevationDialog(QWidget* parent);
    // Flight > Route Profile...: a new modeless dialog over `parent`, following the route.
    void showRouteProfile(QWidget* parent);

    TerrainLoader& loader() { return *loader_; }
    const ElevationSettings& settings() const { return settings_; }
    void apply(const ElevationSettings& settings);

private:
    std::vector<std::string> commandLinePaths_;
    FlightDeck& deck_;
    std::unique_ptr<TerrainLoader> loader_;
    ElevationSettings settings_;
};
