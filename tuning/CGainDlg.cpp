#include "tuning/CGainDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <functional>
#include <string>

#include "common/DialogUnits.h"
#include "common/Notifier.h"
#include "net/NetSocket.h"
#include "net/UplinkFrame.h"
#include "tuning/GainDataExchange.h"
#include "tuning/GainUpload.h"

namespace {

using dialog_units::dialogRect;

constexpr int kDialogWidthUnits = 279;
constexpr int kDialogHeightUnits = 222;

constexpr int kSliderMaximum = 1000;
constexpr int kSliderTickInterval = 100;
constexpr double kScaleMinimum = 0.01;
constexpr double kScaleMaximum = 100;
constexpr double kInitialProportionalScale = 2.0;
constexpr double kInitialIntegralScale = 1.0;
constexpr double kInitialDerivativeScale = 0.5;

constexpr const char* kFlightModeNames[kFlightModeCount] = {
    "Pitch Stabilization ", "Roll Stabilization", "Heading Stabilization",
    "Altitude Hold",        "Waypoint Control",
};

constexpr const char* kDiagramResource = ":/tuning/bitmap139.png";

// A trackbar reports the end of every mouse interaction, a drag of the handle or a click on the
// groove alike; a QSlider signals only the end of a drag, so groove clicks are reported here.
class GainSlider : public QSlider {
public:
    GainSlider(QWidget* parent, std::function<void()> released)
        : QSlider(Qt::Horizontal, parent), released_(std::move(released)) {
        connect(this, &QSlider::sliderReleased, this, [this] { released_(); });
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        const bool dragging = isSliderDown();
        QSlider::mouseReleaseEvent(event);
        // A drag has already been reported through sliderReleased.
        if (!dragging && event->button() == Qt::LeftButton) released_();
    }

private:
    std::function<void()> released_;
};

// The slider position standing for `gain`: gain / scale x 1000 truncated toward zero, held within
// the slider's range (a larger gain from the file puts it at the right end). Clamped before the
// conversion to int, which is undefined for a value out of range.
int sliderPosition(double gain, double scale) {
    const double position = gain / scale * kSliderMaximum;
    if (!(position > 0)) return 0;
    if (position >= kSliderMaximum) return kSliderMaximum;
    return static_cast<int>(position);
}

QLineEdit* makeNumberBox(QWidget* parent, const char* id, QRect geometry) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(id));
    box->setGeometry(geometry);
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, QRect geometry, Qt::Alignment align) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(align | Qt::AlignTop);
    return label;
}

}  // namespace

CGainDlg::CGainDlg(NetSocket& telemetrySocket, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      telemetrySocket_(telemetrySocket) {
    dialog_units::setUpTemplateDialog(*this, QStringLiteral("Control Gain"), kDialogWidthUnits,
                                      kDialogHeightUnits);
    createControls();
    OnInitDialog();
}

void CGainDlg::createControls() {
    // Created in the tab order, which is also the stacking order: the group box lies under the
    // combo box it frames.
    auto* upload = new QPushButton(QStringLiteral("&Upload"), this);
    upload->setObjectName(QStringLiteral("1"));
    upload->setGeometry(dialogRect(222, 7, 50, 14));
    upload->setDefault(true);
    connect(upload, &QPushButton::clicked, this, &CGainDlg::OnUpload);

    auto* save = new QPushButton(QStringLiteral("&Save"), this);
    save->setObjectName(QStringLiteral("1013"));
    save->setGeometry(dialogRect(222, 24, 50, 14));
    connect(save, &QPushButton::clicked, this, &CGainDlg::OnSave);

    auto* group = new QGroupBox(QStringLiteral("Flight Mode"), this);
    group->setObjectName(QStringLiteral("flightModeGroup"));
    group->setGeometry(dialogRect(172, 73, 100, 142));

    m_modeCombo = new QComboBox(this);
    m_modeCombo->setObjectName(QStringLiteral("1001"));
    m_modeCombo->setEditable(true);
    // Typed text must never become a sixth mode.
    m_modeCombo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* name : kFlightModeNames) m_modeCombo->addItem(QString::fromLatin1(name));
    // The template's height includes the dropped list; the closed box is as high as its font needs.
    const QRect comboArea = dialogRect(177, 75, 89, 90);
    m_modeCombo->setGeometry(comboArea.x(), comboArea.y(), comboArea.width(),
                             m_modeCombo->sizeHint().height());

    m_proportionalSlider = new GainSlider(this, [this] { OnReleasedCaptureProportional(); });
    m_proportionalSlider->setObjectName(QStringLiteral("1003"));
    m_proportionalSlider->setGeometry(dialogRect(18, 85, 149, 22));
    m_derivativeSlider = new GainSlider(this, [this] { OnReleasedCaptureDerivative(); });
    m_derivativeSlider->setObjectName(QStringLiteral("1004"));
    m_derivativeSlider->setGeometry(dialogRect(18, 172, 149, 22));
    m_integralSlider = new GainSlider(this, [this] { OnReleasedCaptureIntegral(); });
    m_integralSlider->setObjectName(QStringLiteral("1005"));
    m_integralSlider->setGeometry(dialogRect(18, 130, 149, 22));

    makeLabel(this, "proportionalLabel", "Proportional Gain", dialogRect(18, 73, 60, 8), Qt::AlignLeft);
    makeLabel(this, "integralLabel", "Integral Gain", dialogRect(18, 120, 60, 8), Qt::AlignLeft);
    makeLabel(this, "derivativeLabel", "Derivative Gain", dialogRect(18, 162, 60, 8), Qt::AlignLeft);

    // The gains change only through the sliders and scales; these boxes show them.
    proportionalValueBox_ = makeNumberBox(this, "1006", dialogRect(82, 70, 44, 12));
    integralValueBox_ = makeNumberBox(this, "1007", dialogRect(82, 117, 44, 12));
    derivativeValueBox_ = makeNumberBox(this, "1008", dialogRect(82, 158, 44, 12));
    for (QLineEdit* box : {proportionalValueBox_, integralValueBox_, derivativeValueBox_})
        box->setReadOnly(true);

    makeLabel(this, "proportionalZero", "0", dialogRect(23, 107, 8, 8), Qt::AlignHCenter);
    makeLabel(this, "integralZero", "0", dialogRect(23, 152, 8, 8), Qt::AlignHCenter);
    makeLabel(this, "derivativeZero", "0", dialogRect(23, 195, 8, 8), Qt::AlignHCenter);

    proportionalScaleBox_ = makeNumberBox(this, "1010", dialogRect(150, 107, 18, 12));
    integralScaleBox_ = makeNumberBox(this, "1011", dialogRect(150, 153, 18, 12));
    derivativeScaleBox_ = makeNumberBox(this, "1012", dialogRect(150, 194, 18, 12));

    // A static picture takes the size of its bitmap, plus its border.
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setFrameStyle(QFrame::Box | QFrame::Plain);
    picture->setLineWidth(1);
    picture->setPixmap(QPixmap(QString::fromLatin1(kDiagramResource)));
    const QRect pictureArea = dialogRect(18, 7, 174, 59);
    const int border = picture->frameWidth();
    picture->setGeometry(
        QRect(pictureArea.topLeft(), picture->pixmap().size() + QSize(2 * border, 2 * border)));

    QWidget* const tabOrder[] = {upload,
                                 save,
                                 m_modeCombo,
                                 m_proportionalSlider,
                                 m_derivativeSlider,
                                 m_integralSlider,
                                 proportionalValueBox_,
                                 integralValueBox_,
                                 derivativeValueBox_,
                                 proportionalScaleBox_,
                                 integralScaleBox_,
                                 derivativeScaleBox_};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void CGainDlg::DoDataExchange(GainDataExchange& exchange) {
    exchange.display(*derivativeValueBox_, m_derivativeValue);
    exchange.display(*integralValueBox_, m_integralValue);
    exchange.display(*proportionalValueBox_, m_proportionalValue);
    exchange.exchange(*integralScaleBox_, m_integralScale, kScaleMinimum, kScaleMaximum) &&
        exchange.exchange(*derivativeScaleBox_, m_derivativeScale, kScaleMinimum, kScaleMaximum) &&
        exchange.exchange(*proportionalScaleBox_, m_proportionalScale, kScaleMinimum, kScaleMaximum);
}

bool CGainDlg::UpdateData(bool saveAndValidate) {
    GainDataExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return !exchange.failed();
}

void CGainDlg::OnInitDialog() {
    m_mode = 0;
    m_modeCombo->setCurrentIndex(0);
    for (QSlider* slider : {m_proportionalSlider, m_integralSlider, m_derivativeSlider}) {
        slider->setTickPosition(QSlider::TicksBothSides);
        slider->setTickInterval(kSliderTickInterval);
        slider->setRange(0, kSliderMaximum);
    }
    loadGainFile(m_gains);
    m_proportionalValue = m_gains.proportional[0];
    m_integralValue = m_gains.integral[0];
    m_derivativeValue = m_gains.derivative[0];
    m_proportionalScale = kInitialProportionalScale;
    m_integralScale = kInitialIntegralScale;
    m_derivativeScale = kInitialDerivativeScale;
    m_proportionalSlider->setValue(sliderPosition(m_proportionalValue, m_proportionalScale));
    m_integralSlider->setValue(sliderPosition(m_integralValue, m_integralScale));
    m_derivativeSlider->setValue(sliderPosition(m_derivativeValue, m_derivativeScale));
    UpdateData(false);
    // Connected only now, so that selecting the first mode above is not taken for a change.
    connect(m_modeCombo, &QComboBox::currentIndexChanged, this, &CGainDlg::OnSelchangeFlightMode);
}

void CGainDlg::applySliderRelease(const QSlider& slider, std::array<double, kFlightModeCount>& column,
                                  double& value, const double& scale) {
    // Goes on after a refused scale: the exchange has kept that scale's last accepted value.
    UpdateData(true);
    const int rangeMaximum = slider.maximum();
    if (rangeMaximum <= 0) return;
    const double gain = slider.value() * scale / rangeMaximum;
    column[static_cast<std::size_t>(m_mode)] = gain;
    value = gain;
    UpdateData(false);
}

void CGainDlg::OnReleasedCaptureProportional() {
    applySliderRelease(*m_proportionalSlider, m_gains.proportional, m_proportionalValue, m_proportionalScale);
}

void CGainDlg::OnReleasedCaptureIntegral() {
    applySliderRelease(*m_integralSlider, m_gains.integral, m_integralValue, m_integralScale);
}

void CGainDlg::OnReleasedCaptureDerivative() {
    applySliderRelease(*m_derivativeSlider, m_gains.derivative, m_derivativeValue, m_derivativeScale);
}

void CGainDlg::OnSelchangeFlightMode() {
    const int selected = m_modeCombo->currentIndex();
    // No selection (or anything but a listed mode) must never index the table.
    if (selected < 0 || selected >= kFlightModeCount) return;
    UpdateData(true);
    m_mode = selected;
    const auto row = static_cast<std::size_t>(m_mode);
    m_proportionalSlider->setValue(sliderPosition(m_gains.proportional[row], m_proportionalScale));
    m_integralSlider->setValue(sliderPosition(m_gains.integral[row], m_integralScale));
    m_derivativeSlider->setValue(sliderPosition(m_gains.derivative[row], m_derivativeScale));
    m_proportionalValue = m_gains.proportional[row];
    m_integralValue = m_gains.integral[row];
    m_derivativeValue = m_gains.derivative[row];
    UpdateData(false);
}

void CGainDlg::OnUpload() {
    if (telemetrySocket_.repliesHeld()) return tell(QString::fromLatin1(kReplayNothingSentMessage));
    switch (
        sendGainUpload(telemetrySocket_, m_mode, m_proportionalValue, m_integralValue, m_derivativeValue)) {
        case GainUploadResult::doesNotFit:
            tell(QString::fromLatin1(kGainDoesNotFitMessage));
            break;
        case GainUploadResult::noAircraftHeard:
            tell(QString::fromLatin1(kNoAircraftHeardMessage));
            break;
        case GainUploadResult::sent:
        case GainUploadResult::sendFailed:
            // A datagram lost on the way is not told either; nothing waits for an answer.
            break;
    }
}

void CGainDlg::OnSave() {
    std::string error;
    if (saveGainFile(m_gains, &error)) return;
    tell(QStringLiteral("The gains were not saved (%1). %2 is unchanged.")
             .arg(QString::fromStdString(error), QString::fromLatin1(kGainFileName)));
}

void CGainDlg::tell(const QString& text) {
    QMessageBox message(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok,
                        this);
    message.exec();
}
