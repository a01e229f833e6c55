#include "app/OpenedMaps.h"

#include <QInputDialog>
#include <QSettings>

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "app/RecentFileList.h"
#include "view/COrvaneView.h"

namespace {

constexpr const char* kGroup = "Maps";
constexpr const char* kArray = "Opened";
constexpr const char* kPathKey = "Path";
constexpr const char* kCrsKey = "Crs";

bool isNumber(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<MapOpenRequest> loadOpenedMaps() {
    std::vector<MapOpenRequest> maps;
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kGroup);
    const int count = std::min(settings.beginReadArray(kArray), kOpenedMapsKept);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        const std::string path = settings.value(kPathKey).toString().toStdString();
        if (!path.empty()) maps.push_back({path, settings.value(kCrsKey).toString().toStdString()});
    }
    settings.endArray();
    settings.endGroup();
    return maps;
}

void rememberOpenedMap(const MapOpenRequest& request) {
    std::vector<MapOpenRequest> maps = loadOpenedMaps();
    std::erase_if(maps, [&](const MapOpenRequest& kept) { return kept.path == request.path; });
    maps.insert(maps.begin(), request);
    if (maps.size() > static_cast<std::size_t>(kOpenedMapsKept)) maps.resize(kOpenedMapsKept);
    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup(kGroup);
    settings.remove(kArray);
    settings.beginWriteArray(kArray, static_cast<int>(maps.size()));
    for (std::size_t i = 0; i < maps.size(); ++i) {
        settings.setArrayIndex(static_cast<int>(i));
        settings.setValue(kPathKey, QString::fromStdString(maps[i].path));
        settings.setValue(kCrsKey, QString::fromStdString(maps[i].crs));
    }
    settings.endArray();
    settings.endGroup();
    settings.sync();
}

std::string mapPathOfChoice(const std::string& chosen) {
    namespace fs = std::filesystem;
    const fs::path file(chosen);
    const std::string extension = file.extension().string();
    if (extension != ".png" && extension != ".jpg" && extension != ".jpeg") return chosen;
    const fs::path column = file.parent_path(), zoom = column.parent_path();
    if (!isNumber(file.stem().string()) || !isNumber(column.filename().string()) ||
        !isNumber(zoom.filename().string())) {
        return chosen;
    }
    std::error_code ignored;
    for (const char* world : {".pgw", ".jgw", ".wld", ".png.aux.xml", ".jpg.aux.xml"}) {
        fs::path beside = file;
        beside.replace_extension(world);
        if (fs::exists(beside, ignored)) return chosen;
    }
    return zoom.parent_path().string();
}

void connectOpenedMaps(COrvaneView& view, QWidget* parent) {
    view.setMapOpenedListener(rememberOpenedMap);
    view.setOpenedMaps(loadOpenedMaps);
    view.setCrsQuestion([parent](const std::string& path) -> std::optional<std::string> {
        bool ok = false;
        const QString text = QInputDialog::getText(
            parent, QStringLiteral("Coordinate System of the Map"),
            QStringLiteral("%1\nhas a world file but no coordinate system (.prj).\nIts EPSG code:")
                .arg(QString::fromStdString(path)),
            QLineEdit::Normal, QStringLiteral("EPSG:4326"), &ok);
        if (!ok || text.trimmed().isEmpty()) return std::nullopt;
        return text.trimmed().toStdString();
    });
}
