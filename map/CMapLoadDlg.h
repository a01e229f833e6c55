#pragma once

#include <QDialog>
#include <array>

#include <vector>

#include "map/ImagerySource.h"
#include "map/MapCatalog.h"
#include "map/MapGeometry.h"

class QLineEdit;
class QListWidget;
class QString;

// What the map dialog needs of the view it was opened from.
class MapDialogTarget {
public:
    virtual ~MapDialogTarget() = default;
    // The geometry of the current map; the dialog only reads it.
    virtual MapGeometry& mapGeometry() = 0;
    // Changes the map whole or not at all: the picture of catalogue index `index` with `corners`.
    // When the picture cannot be loaded the operator is told why and the picture, corners and
    // scales stay as they were. Returns whether the map changed.
    virtual bool loadMapForIndex(int index, const MapCorners& corners) = 0;
    // Asks for a repaint of the whole view.
    virtual void requestRepaint() = 0;
    // The maps the operator opened before (files and tile folders), newest first.
    virtual std::vector<MapOpenRequest> openedMaps() { return {}; }
    // Opens one of them again; the map shown stays until it has opened.
    virtual void openMap(const MapOpenRequest& /*request*/) {}
};

// The "Map Loading Dialog": the operator picks a map of the built-in catalogue, may retype its
// reference corners, and OK applies them and the map's picture to the view. Modeless and deleted
// when closed; every instance starts from the built-in catalogue. User-interface thread only.
class CMapLoadDlg : public QDialog {
    Q_OBJECT

public:
    // Builds and initialises the window; the caller shows it. `view` must outlive it.
    CMapLoadDlg(MapDialogTarget& view, QWidget* parent);

    // Reads the four boxes into the edit values (true) or shows the edit values in them (false).
    // Reading stops at the first box without a number: the operator is prompted, the focus goes to
    // that box, and it and the boxes after it keep their values. False on such a refusal.
    bool UpdateData(bool saveAndValidate);

    // Shown when a selected entry has a coordinate of exactly 0.
    static constexpr const char* kInvalidReferenceWarning =
        "One (or all) of your reference coordinates is not valid!";
    // Shown when OK would give the map no extent in latitude or longitude.
    static constexpr const char* kDegenerateCornersMessage =
        "The map cannot be placed: its upper-left and lower-right corners must differ in both "
        "latitude and longitude. Nothing was applied.";

private:
    static constexpr int kCatalogSlots = 10;

    void createControls();
    bool DoDataExchange(bool saveAndValidate);
    void OnInitDialog();
    void OnSelChangeMapList();
    void OnOK();
    void tell(const QString& text);

    int selectedIndex = 0;
    std::array<double, kCatalogSlots> siteUpperLeftLat{};
    std::array<double, kCatalogSlots> siteUpperLeftLon{};
    std::array<double, kCatalogSlots> siteLowerRightLat{};
    std::array<double, kCatalogSlots> siteLowerRightLon{};
    MapDialogTarget* targetView;
    QListWidget* mapList = nullptr;
    double editUpperLeftLat = 0;
    double editUpperLeftLon = 0;
    double editLowerRightLat = 0;
    double editLowerRightLon = 0;

    std::vector<MapOpenRequest> openedMaps_;
    QLineEdit* upperLeftLatBox_ = nullptr;
    QLineEdit* upperLeftLonBox_ = nullptr;
    QLineEdit* lowerRightLatBox_ = nullptr;
    QLineEdit* lowerRightLonBox_ = nullptr;
};
