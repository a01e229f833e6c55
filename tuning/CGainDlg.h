#pragma once

#include <QDialog>
#include <array>
#include <string>

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
    // The boxes leave the focus while the window goes; by then nothing may read them any more.
    ~CGainDlg() override;

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

    // The slider handlers: gain = position x scale / range maximum for the selected mode.
    void applySliderMove(const QSlider& slider, std::array<double, kFlightModeCount>& column, double& value,
                         const double& scale);
    // Puts each slider where the selected mode's gain stands under its scale, reporting no movement.
    void placeSliders();
    // Reads the boxes; a scale accepted with a new value leaves every gain as it was and moves the
    // sliders instead. False when `watchedScale` (a scale member, or null) took a new value, or
    // while another exchange runs.
    bool readBoxes(const double* watchedScale);
    void onScaleEdited();
    void tell(const QString& text);
    // What went wrong with reading the gain file, naming the file and the first row not read.
    std::string partialFileText() const;

    UploadGate& uploadGate_;
    // How the gain file was read when the dialog opened (or that Save has since replaced it whole).
    GainFileLoad fileLoad_;

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
    // Set while the boxes are read: a prompt's focus changes must not start another exchange.
    bool exchanging_ = false;
};
