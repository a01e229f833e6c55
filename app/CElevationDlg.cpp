#include "app/CElevationDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr double kLargestMarginMetres = 1000;
constexpr const char* kElevationFilter =
    "Elevation files (*.hgt *.tif *.tiff *.dem *.dt0 *.dt1 *.dt2 *.asc *.img *.bil *.vrt);;All files (*)";
}  // namespace

CElevationDlg::CElevationDlg(const ElevationSettings& settings, const QStringList& alwaysUsed, int filesInUse,
                             QWidget* parent)
    : QDialog(parent),
      paths_(new QListWidget(this)),
      unit_(new QComboBox(this)),
      margin_(new QDoubleSpinBox(this)),
      shownUnit_(settings.unit) {
    setWindowTitle(QStringLiteral("Elevation Data"));
    auto* layout = new QVBoxLayout(this);
    auto* always = new QLabel(QStringLiteral("Always used: ") + alwaysUsed.join(QStringLiteral(", ")), this);
    always->setWordWrap(true);
    layout->addWidget(always);
    layout->addWidget(new QLabel(QStringLiteral("Files and folders added:"), this));
    paths_->addItems(settings.paths);
    layout->addWidget(paths_);
    auto* buttons = new QHBoxLayout;
    auto* addFile = new QPushButton(QStringLiteral("Add &File..."), this);
    auto* addFolder = new QPushButton(QStringLiteral("Add F&older..."), this);
    auto* remove = new QPushButton(QStringLiteral("&Remove"), this);
    buttons->addWidget(addFile);
    buttons->addWidget(addFolder);
    buttons->addWidget(remove);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(addFile, &QPushButton::clicked, this, [this] { addPath(promptFile()); });
    connect(addFolder, &QPushButton::clicked, this, [this] { addPath(promptFolder()); });
    connect(remove, &QPushButton::clicked, this, [this] { delete paths_->currentItem(); });
    layout->addWidget(new QLabel(
        QString::number(filesInUse) + (filesInUse == 1 ? QStringLiteral(" elevation file in use")
                                                       : QStringLiteral(" elevation files in use")),
        this));

    auto* form = new QFormLayout;
    unit_->addItem(QStringLiteral("Metres above sea level"));
    unit_->addItem(QStringLiteral("Feet above sea level"));
    unit_->setCurrentIndex(settings.unit == HeightUnit::Feet ? 1 : 0);
    form->addRow(QStringLiteral("Aircraft &altitude in:"), unit_);
    margin_->setDecimals(0);
    margin_->setRange(0, toUnit(kLargestMarginMetres, settings.unit));
    margin_->setValue(toUnit(settings.marginMetres, settings.unit));
    margin_->setSuffix(QStringLiteral(" ") + QLatin1String(unitName(settings.unit)));
    form->addRow(QStringLiteral("Clearance &margin:"), margin_);
    layout->addLayout(form);
    // The margin keeps its length when the unit changes.
    connect(unit_, &QComboBox::currentIndexChanged, this, [this] {
        const double metres = fromUnit(margin_->value(), shownUnit_);
        shownUnit_ = unit();
        margin_->setRange(0, toUnit(kLargestMarginMetres, shownUnit_));
        margin_->setValue(toUnit(metres, shownUnit_));
        margin_->setSuffix(QStringLiteral(" ") + QLatin1String(unitName(shownUnit_)));
    });

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

HeightUnit CElevationDlg::unit() const {
    return unit_->currentIndex() == 1 ? HeightUnit::Feet : HeightUnit::Metres;
}

ElevationSettings CElevationDlg::chosen() const {
    ElevationSettings settings;
    for (int i = 0; i < paths_->count(); ++i) settings.paths.append(paths_->item(i)->text());
    settings.unit = unit();
    settings.marginMetres = fromUnit(margin_->value(), unit());
    return settings;
}

void CElevationDlg::addPath(const QString& path) {
    if (path.isEmpty() || !paths_->findItems(path, Qt::MatchExactly).isEmpty()) return;
    paths_->addItem(path);
}

QString CElevationDlg::promptFile() {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Add Elevation File"), QString(),
                                        QString::fromLatin1(kElevationFilter));
}

QString CElevationDlg::promptFolder() {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("Add Elevation Folder"));
}
