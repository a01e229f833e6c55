#include "app/TerrainControl.h"

#include <QSettings>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/CElevationDlg.h"
#include "app/CRouteProfileDlg.h"
#include "app/RecentFileList.h"
#include "app/UserFolder.h"
#include "common/Notifier.h"
#include "map/Terrain.h"
#include "map/Waypoints.h"
#include "view/FlightDeck.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kGroup = "Elevation";
constexpr const char* kPathsKey = "Paths";
constexpr const char* kFeetKey = "AltitudeInFeet";
constexpr const char* kMarginKey = "MarginMetres";
constexpr const char* kElevationFolder = "elevation";
constexpr double kLargestMarginMetres = 1000;

// The folders always looked in, as absolute paths.
std::vector<std::string> defaultFolders() {
    std::vector<std::string> folders;
    std::error_code error;
    folders.push_back((fs::absolute(kElevationFolder, error)).lexically_normal().string());
    const fs::path user = userFolderPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (!user.empty()) {
        const std::string own = (user / kElevationFolder).lexically_normal().string();
        if (own != folders.front()) folders.push_back(own);
    }
    return folders;
}

}  // namespace

ElevationSettings ElevationSettings::load() {
    ElevationSettings loaded;
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kGroup);
    loaded.paths = settings.value(kPathsKey).toStringList();
    loaded.unit = settings.value(kFeetKey, false).toBool() ? HeightUnit::Feet : HeightUnit::Metres;
    bool ok = false;
    const double margin = settings.value(kMarginKey, loaded.marginMetres).toDouble(&ok);
    if (ok && margin >= 0 && margin <= kLargestMarginMetres) loaded.marginMetres = margin;
    settings.endGroup();
    return loaded;
}

void ElevationSettings::save() const {
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kGroup);
    settings.setValue(kPathsKey, paths);
    settings.setValue(kFeetKey, unit == HeightUnit::Feet);
    settings.setValue(kMarginKey, marginMetres);
    settings.endGroup();
    settings.sync();
}

std::vector<std::string> elevationPaths(const std::vector<std::string>& commandLine,
                                        const QStringList& chosen) {
    // A folder always looked in that is not there is no fault; a path the operator named is.
    std::vector<std::string> paths;
    for (const std::string& folder : defaultFolders()) {
        std::error_code error;
        if (fs::is_directory(folder, error)) paths.push_back(folder);
    }
    const auto add = [&](const std::string& path) {
        std::error_code error;
        const std::string absolute = fs::absolute(path, error).lexically_normal().string();
        if (std::find(paths.begin(), paths.end(), absolute) == paths.end()) paths.push_back(absolute);
    };
    for (const std::string& path : commandLine) add(path);
    for (const QString& path : chosen) add(path.toStdString());
    return paths;
}

TerrainControl::TerrainControl(std::vector<std::string> commandLinePaths, FlightDeck& deck,
                               Notifier& notifier)
    : commandLinePaths_(std::move(commandLinePaths)), deck_(deck), settings_(ElevationSettings::load()) {
    // Command-line paths are made absolute now: the working folder may change before they are opened.
    loader_ = std::make_unique<TerrainLoader>(elevationPaths(commandLinePaths_, settings_.paths), nullptr);
    deck_.setTerrain(loader_.get(), settings_.unit, settings_.marginMetres);
    deck_.setTerrainMessageListener([&notifier](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
        notifier.showMessage(kApplicationTitle, message);
    });
}

// The deck is gone by now (it dies with the frame's view).
TerrainControl::~TerrainControl() = default;

void TerrainControl::apply(const ElevationSettings& settings) {
    const bool pathsChanged = settings.paths != settings_.paths;
    settings_ = settings;
    settings_.save();
    if (pathsChanged) loader_->setPaths(elevationPaths(commandLinePaths_, settings_.paths));
    deck_.setTerrain(loader_.get(), settings_.unit, settings_.marginMetres);
}

void TerrainControl::showElevationDialog(QWidget* parent) {
    QStringList always;
    for (const std::string& folder : defaultFolders()) always << QString::fromStdString(folder);
    for (const std::string& path : commandLinePaths_) always << QString::fromStdString(path);
    auto* dialog = new CElevationDlg(settings_, always, static_cast<int>(loader_->fileCount()), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { apply(dialog->chosen()); });
    dialog->show();
}

void TerrainControl::showRouteProfile(QWidget* parent) {
    CRouteProfileDlg::Inputs inputs;
    inputs.route = [this] {
        const Waypoints& waypoints = deck_.flightWaypoints();
        std::vector<GeoPoint> route;
        const int count = std::clamp(waypoints.waypointCount, 0, kWaypointCapacity);
        for (int i = 0; i < count; ++i) route.push_back({waypoints.waypointLat[i], waypoints.waypointLon[i]});
        return route;
    };
    inputs.altitudeMetres = [this] { return deck_.readout().altitudeMetres; };
    inputs.heightAt = [this](GeoPoint point) { return loader_->heightAt(point); };
    inputs.marginMetres = [this] { return settings_.marginMetres; };
    inputs.unit = [this] { return settings_.unit; };
    auto* dialog = new CRouteProfileDlg(std::move(inputs), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}
