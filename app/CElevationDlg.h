#pragma once

#include <QDialog>

#include "app/TerrainControl.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;

// Flight > Elevation Data...: the elevation files and folders the operator adds, the unit of the
// aircraft's altitude and the clearance margin (entered in that unit). The folders always used are
// named above the list.
class CElevationDlg : public QDialog {
    Q_OBJECT
public:
    CElevationDlg(const ElevationSettings& settings, const QStringList& alwaysUsed, int filesInUse,
                  QWidget* parent = nullptr);

    ElevationSettings chosen() const;

    QListWidget* pathList() const { return paths_; }
    QComboBox* unitBox() const { return unit_; }
    QDoubleSpinBox* marginBox() const { return margin_; }

protected:
    // The choosers; empty when the operator cancels.
    virtual QString promptFile();
    virtual QString promptFolder();

private:
    void addPath(const QString& path);
    HeightUnit unit() const;

    QListWidget* paths_;
    QComboBox* unit_;
    QDoubleSpinBox* margin_;
    HeightUnit shownUnit_;
};
