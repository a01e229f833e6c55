#include "map/CMapLoadDlg.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

#include "common/DialogNumbers.h"
#include "common/DialogUnits.h"
#include "common/MessageBox.h"
#include "common/Notifier.h"
#include "map/MapGeometry.h"

namespace {

constexpr int kDialogWidthUnits = 299;
constexpr int kDialogHeightUnits = 185;

constexpr const char* kEnterNumberPrompt = "Please enter a number.";

// A list box that reports a selection the way the operator makes it: every click on an entry (the
// entry already selected included, so that its built-in values can be fetched again) and every
// change of the current entry from the keyboard. Changes made by the program are not reported.
class MapListBox : public QListWidget {
public:
    MapListBox(QWidget* parent, std::function<void()> selectionChanged)
        : QListWidget(parent), selectionChanged_(std::move(selectionChanged)) {
        connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
            if (!pressing_ && row >= 0 && reporting_) selectionChanged_();
        });
    }

    // Reporting starts once the dialog has made its own first selection.
    void startReporting() { reporting_ = true; }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        pressing_ = true;
        QListWidget::mousePressEvent(event);
        pressing_ = false;
        if (reporting_ && event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) != nullptr)
            selectionChanged_();
    }

private:
    std::function<void()> selectionChanged_;
    bool pressing_ = false;
    bool reporting_ = false;
};

void placeInTemplate(QWidget& control, const QRect& inUnits) {
    dialog_units::setTemplateRect(control, inUnits.x(), inUnits.y(), inUnits.width(), inUnits.height());
}

QLabel* makeLabel(QWidget* parent, const char* text, const QRect& inUnits) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    placeInTemplate(*label, inUnits);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* makeNumberBox(QWidget* parent, const char* id, const QRect& inUnits) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(id));
    placeInTemplate(*box, inUnits);
    return box;
}

}  // namespace

CMapLoadDlg::CMapLoadDlg(MapDialogTarget& view, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      targetView(&view) {
    dialog_units::setUpTemplateDialog(*this, QStringLiteral("Map Loading Dialog"));
    createControls();
    OnInitDialog();
}

void CMapLoadDlg::createControls() {
    // Each control gets its template place in dialog units; the layout at the end puts it there.
    // In the template's order, which is also the tab and stacking order.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    dialog_units::setTemplateRect(*ok, 242, 7, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    dialog_units::setTemplateRect(*cancel, 242, 24, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    makeLabel(this, "Map List:", QRect(19, 14, 48, 10));

    auto* list = new MapListBox(this, [this] { OnSelChangeMapList(); });
    list->setObjectName(QStringLiteral("1016"));
    dialog_units::setTemplateRect(*list, 19, 25, 206, 64);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mapList = list;

    auto* group = new QGroupBox(QStringLiteral("Reference Coordinates"), this);
    dialog_units::setTemplateRect(*group, 7, 97, 285, 81);

    makeLabel(this, "Upper Left of Map:", QRect(13, 109, 67, 9));
    makeLabel(this, "Latitude", QRect(13, 124, 29, 11));
    upperLeftLatBox_ = makeNumberBox(this, "1017", QRect(45, 122, 91, 13));
    makeLabel(this, "Longitude", QRect(155, 124, 35, 11));
    upperLeftLonBox_ = makeNumberBox(this, "1018", QRect(193, 122, 89, 13));
    makeLabel(this, "Lower Right of Map:", QRect(13, 144, 67, 9));
    makeLabel(this, "Latitude", QRect(13, 159, 29, 11));
    lowerRightLatBox_ = makeNumberBox(this, "1019", QRect(45, 157, 91, 13));
    makeLabel(this, "Longitude", QRect(155, 159, 35, 11));
    lowerRightLonBox_ = makeNumberBox(this, "1020", QRect(193, 157, 89, 13));

    dialog_units::layOutTemplateDialog(*this, kDialogWidthUnits, kDialogHeightUnits);
}

bool CMapLoadDlg::UpdateData(bool saveAndValidate) {
    return DoDataExchange(saveAndValidate);
}

bool CMapLoadDlg::DoDataExchange(bool saveAndValidate) {
    const std::pair<QLineEdit*, double*> fields[] = {
        {upperLeftLatBox_, &editUpperLeftLat},
        {upperLeftLonBox_, &editUpperLeftLon},
        {lowerRightLatBox_, &editLowerRightLat},
        {lowerRightLonBox_, &editLowerRightLon},
    };
    for (const auto& [box, value] : fields) {
        if (!saveAndValidate) {
            box->setText(QString::fromStdString(formatDialogNumber(*value)));
            continue;
        }
        const std::optional<double> read = parseDialogNumber(box->text().toStdString());
        // "nan" and "inf" are no coordinates: refused like any other text that is not a number.
        if (!read || !std::isfinite(*read)) {
            tell(QString::fromLatin1(kEnterNumberPrompt));
            box->setFocus(Qt::OtherFocusReason);
            box->selectAll();
            return false;
        }
        *value = *read;
    }
    return true;
}

void CMapLoadDlg::OnInitDialog() {
    selectedIndex = 0;
    for (int i = 0; i < kMapSiteCount - 1; ++i) {
        const MapSite& site = kMapCatalog[static_cast<std::size_t>(i)];
        const auto slot = static_cast<std::size_t>(i);
        siteUpperLeftLat[slot] = site.upperLeftLat;
        siteUpperLeftLon[slot] = site.upperLeftLon;
        siteLowerRightLat[slot] = site.lowerRightLat;
        siteLowerRightLon[slot] = site.lowerRightLon;
    }
    editUpperLeftLat = siteUpperLeftLat[0];
    editUpperLeftLon = siteUpperLeftLon[0];
    editLowerRightLat = siteLowerRightLat[0];
    editLowerRightLon = siteLowerRightLon[0];

    // List position equals catalogue index.
    for (int i = 0; i < kMapSiteCount; ++i)
        mapList->insertItem(i, QString::fromLatin1(kMapCatalog[static_cast<std::size_t>(i)].listText));
    // Below them the maps opened before, which carry their own coordinates.
    openedMaps_ = targetView->openedMaps();
    for (std::size_t i = 0; i < openedMaps_.size(); ++i)
        mapList->insertItem(kMapSiteCount + static_cast<int>(i), QString::fromStdString(openedMaps_[i].path));
    mapList->setCurrentRow(selectedIndex);
    UpdateData(false);
    static_cast<MapListBox*>(mapList)->startReporting();
}

void CMapLoadDlg::OnSelChangeMapList() {
    const int row = mapList->currentRow();
    const bool opened = row >= kMapSiteCount && row - kMapSiteCount < static_cast<int>(openedMaps_.size());
    for (QLineEdit* box : {upperLeftLatBox_, upperLeftLonBox_, lowerRightLatBox_, lowerRightLonBox_}) {
        box->setEnabled(!opened);
        if (opened) box->clear();
    }
    if (opened) {
        selectedIndex = row;
        return;
    }
    if (row < 0 || row >= kMapSiteCount) return;
    selectedIndex = row;
    const auto slot = static_cast<std::size_t>(selectedIndex);
    // Whatever was typed for the previous entry is dropped: typed values reach the catalogue
    // only through OK.
    editUpperLeftLat = siteUpperLeftLat[slot];
    editUpperLeftLon = siteUpperLeftLon[slot];
    editLowerRightLat = siteLowerRightLat[slot];
    editLowerRightLon = siteLowerRightLon[slot];
    UpdateData(false);
    if (editUpperLeftLat == 0.0 || editUpperLeftLon == 0.0 || editLowerRightLat == 0.0 ||
        editLowerRightLon == 0.0)
        tell(QString::fromLatin1(kInvalidReferenceWarning));
}

void CMapLoadDlg::OnOK() {
    if (selectedIndex >= kMapSiteCount) {
        targetView->openMap(openedMaps_[static_cast<std::size_t>(selectedIndex - kMapSiteCount)]);
        accept();
        return;
    }
    // A refused box keeps its previous value (and prompts); the others are applied all the same,
    // and the closing read below prompts again and keeps the dialog open.
    UpdateData(true);

    // Equal corners in either direction would give the map a scale of 0, and every conversion
    // divides by it.
    const MapGeometry& geometry = targetView->mapGeometry();
    const double lonPerUnit = (editLowerRightLon - editUpperLeftLon) / (geometry.mapRight - geometry.mapLeft);
    const double latPerUnit = (editLowerRightLat - editUpperLeftLat) / (geometry.mapBottom - geometry.mapTop);
    if (lonPerUnit == 0.0 || latPerUnit == 0.0 || !std::isfinite(lonPerUnit) || !std::isfinite(latPerUnit)) {
        tell(QString::fromLatin1(kDegenerateCornersMessage));
        return;
    }

    // The picture and its corners change together or not at all; when the picture cannot be
    // loaded the operator has been told why, and the dialog stays open with what was typed.
    if (!targetView->loadMapForIndex(
            selectedIndex, {editUpperLeftLat, editUpperLeftLon, editLowerRightLat, editLowerRightLon}))
        return;
    targetView->requestRepaint();

    const auto slot = static_cast<std::size_t>(selectedIndex);
    siteUpperLeftLat[slot] = editUpperLeftLat;
    siteUpperLeftLon[slot] = editUpperLeftLon;
    siteLowerRightLat[slot] = editLowerRightLat;
    siteLowerRightLon[slot] = editLowerRightLon;

    if (UpdateData(true)) accept();
}

void CMapLoadDlg::tell(const QString& text) {
    showMessageBox(this, QString::fromLatin1(kApplicationTitle), text);
}
