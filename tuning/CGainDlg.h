#pragma once

#include <QDialog>
#include <array>

#include "tuning/GainTable.h"

class GainDataExchange;
class UploadGate;
class QComboBox;
class QLineEdit;
class QSlider;

// The "Control Gain" window: the operator picks a flight mode, sets its three gains with sliders
// whose right end is a scale typed beside them, uploads the mode's gains to the aircraft and saves
// the whole table to the gain file. Modeless and deleted when closed; every open dialog holds its
// own table. User-interface thread only.
class CGainDlg : public QDialog {
    Q_OBJECT

public:
    // Builds the window and initialises it from the gain file; the caller shows it. Uploads go out
    // through `uploadGate`, which must outlive the dialog.
    CGainDlg(UploadGate& uploadGate, QWidget* parent);

    const GainTable& gains() const { return m_gains; }
    int mode() const { return m_mode; }

    // Reads the scale boxes into their members (true), or shows every member in its box (false).
    // A refused scale stops the exchange and keeps its last accepted value. False on a refusal.
    bool UpdateData(bool saveAndValidate);

private:
    void createControls();
    void DoDataExchange(GainDataExchange& exchange);
    void OnInitDialog();
    void OnReleasedCaptureProportional();
    void OnReleasedCaptureIntegral();
    void OnReleasedCaptureDerivative();
    void OnSelchangeFlightMode();
    void OnUpload();
    void OnSave();

    void applySliderRelease(const QSlider& slider, std::array<double, kFlightModeCount>& column,
                            double& value, const double& scale);
    void tell(const QString& text);

    UploadGate& uploadGate_;

    int m_mode = 0;
    GainTable m_gains;
    QSlider* m_proportionalSlider = nullptr;
    QSlider* m_integralSlider = nullptr;
    QSlider* m_derivativeSlider = nullptr;
    QComboBox* m_modeCombo = nullptr;
    double m_derivativeValue = 0;
    double m_integralValue = 0;
    double m_proportionalValue = 0;
    double m_integralScale = 0;
    double m_derivativeScale = 0;
    double m_proportionalScale = 0;

    QLineEdit* proportionalValueBox_ = nullptr;
    QLineEdit* integralValueBox_ = nullptr;
    QLineEdit* derivativeValueBox_ = nullptr;
    QLineEdit* proportionalScaleBox_ = nullptr;
    QLineEdit* integralScaleBox_ = nullptr;
    QLineEdit* derivativeScaleBox_ = nullptr;
};
