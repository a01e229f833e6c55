#include "tuning/CGainDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "common/DialogUnits.h"
#include "common/MessageBox.h"
#include "common/Notifier.h"
#include "net/NetSocket.h"
#include "net/UplinkFrame.h"
#include "tuning/GainDataExchange.h"
#include "tuning/GainUpload.h"

namespace {

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

// Added to the account of a gain file that was not read whole, when the dialog opens and at Save.
constexpr const char* kPartialFileSaveNote = " Save asks before it replaces the file.";
constexpr const char* kReplacePartialFileQuestion = " Replace the file with the gains shown here?";

// Reports every movement of the handle, whatever made it: the end of a drag, a click on the groove
// (also one that leaves the handle where it was, as a trackbar reports every mouse release), keys and
// the wheel. Positions set by the program through placeSlider are not movements.
class GainSlider : public QSlider {
public:
    GainSlider(QWidget* parent, std::function<void()> moved)
        : QSlider(Qt::Horizontal, parent), moved_(std::move(moved)) {
        connect(this, &QSlider::sliderReleased, this, [this] { moved_(); });
        // While the handle is dragged, the release above reports where it ended.
        connect(this, &QSlider::valueChanged, this, [this] {
            movedDuringPress_ = true;
            if (!isSliderDown()) moved_();
        });
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        movedDuringPress_ = false;
        QSlider::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        const bool dragging = isSliderDown();
        QSlider::mouseReleaseEvent(event);
        // A drag and a groove click that moved the handle have been reported already.
        if (!dragging && !movedDuringPress_ && event->button() == Qt::LeftButton) moved_();
    }

private:
    std::function<void()> moved_;
    bool movedDuringPress_ = false;
};

// Puts a slider at `position` without reporting a movement.
void placeSlider(QSlider& slider, int position) {
    const QSignalBlocker quiet(slider);
    slider.setValue(position);
}

// The slider position standing for `gain`: gain / scale x 1000 truncated toward zero, held within
// the slider's range (a larger gain from the file puts it at the right end). Clamped before the
// conversion to int, which is undefined for a value out of range.
int sliderPosition(double gain, double scale) {
    const double position = gain / scale * kSliderMaximum;
    if (!(position > 0)) return 0;
    if (position >= kSliderMaximum) return kSliderMaximum;
    return static_cast<int>(position);
}

void placeInTemplate(QWidget& control, const QRect& inUnits) {
    dialog_units::setTemplateRect(control, inUnits.x(), inUnits.y(), inUnits.width(), inUnits.height());
}

QLineEdit* makeNumberBox(QWidget* parent, const char* id, const QRect& inUnits) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(id));
    placeInTemplate(*box, inUnits);
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, const QRect& inUnits,
                  Qt::Alignment align) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    placeInTemplate(*label, inUnits);
    label->setAlignment(align | Qt::AlignTop);
    return label;
}

}  // namespace

CGainDlg::CGainDlg(UploadGate& uploadGate, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      uploadGate_(uploadGate) {
    dialog_units::setUpTemplateDialog(*this, QStringLiteral("Control Gain"));
    createControls();
    OnInitDialog();
}

CGainDlg::~CGainDlg() {
    for (QLineEdit* box : {proportionalScaleBox_, integralScaleBox_, derivativeScaleBox_})
        box->disconnect(this);
}

void CGainDlg::createControls() {
    // Each control gets its template place in dialog units; the layout at the end puts it there.
    // Created in the tab order, which is also the stacking order: the group box lies under the
    // combo box it frames.
    auto* upload = new QPushButton(QStringLiteral("&Upload"), this);
    upload->setObjectName(QStringLiteral("1"));
    dialog_units::setTemplateRect(*upload, 222, 7, 50, 14);
    upload->setDefault(true);
    connect(upload, &QPushButton::clicked, this, &CGainDlg::OnUpload);

    auto* save = new QPushButton(QStringLiteral("&Save"), this);
    save->setObjectName(QStringLiteral("1013"));
    dialog_units::setTemplateRect(*save, 222, 24, 50, 14);
    connect(save, &QPushButton::clicked, this, &CGainDlg::OnSave);

    auto* group = new QGroupBox(QStringLiteral("Flight Mode"), this);
    group->setObjectName(QStringLiteral("flightModeGroup"));
    dialog_units::setTemplateRect(*group, 172, 73, 100, 142);

    m_modeCombo = new QComboBox(this);
    m_modeCombo->setObjectName(QStringLiteral("1001"));
    m_modeCombo->setEditable(true);
    // Typed text must never become a sixth mode.
    m_modeCombo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* name : kFlightModeNames) m_modeCombo->addItem(QString::fromLatin1(name));
    dialog_units::setTemplateRect(*m_modeCombo, 177, 75, 89, 90);

    m_proportionalSlider = new GainSlider(this, [this] { OnReleasedCaptureProportional(); });
    m_proportionalSlider->setObjectName(QStringLiteral("1003"));
    dialog_units::setTemplateRect(*m_proportionalSlider, 18, 85, 149, 22);
    m_derivativeSlider = new GainSlider(this, [this] { OnReleasedCaptureDerivative(); });
    m_derivativeSlider->setObjectName(QStringLiteral("1004"));
    dialog_units::setTemplateRect(*m_derivativeSlider, 18, 172, 149, 22);
    m_integralSlider = new GainSlider(this, [this] { OnReleasedCaptureIntegral(); });
    m_integralSlider->setObjectName(QStringLiteral("1005"));
    dialog_units::setTemplateRect(*m_integralSlider, 18, 130, 149, 22);

    makeLabel(this, "proportionalLabel", "Proportional Gain", QRect(18, 73, 60, 8), Qt::AlignLeft);
    makeLabel(this, "integralLabel", "Integral Gain", QRect(18, 120, 60, 8), Qt::AlignLeft);
    makeLabel(this, "derivativeLabel", "Derivative Gain", QRect(18, 162, 60, 8), Qt::AlignLeft);

    // The gains change only through the sliders and scales; these boxes show them.
    proportionalValueBox_ = makeNumberBox(this, "1006", QRect(82, 70, 44, 12));
    integralValueBox_ = makeNumberBox(this, "1007", QRect(82, 117, 44, 12));
    derivativeValueBox_ = makeNumberBox(this, "1008", QRect(82, 158, 44, 12));
    for (QLineEdit* box : {proportionalValueBox_, integralValueBox_, derivativeValueBox_})
        box->setReadOnly(true);

    makeLabel(this, "proportionalZero", "0", QRect(23, 107, 8, 8), Qt::AlignHCenter);
    makeLabel(this, "integralZero", "0", QRect(23, 152, 8, 8), Qt::AlignHCenter);
    makeLabel(this, "derivativeZero", "0", QRect(23, 195, 8, 8), Qt::AlignHCenter);

    proportionalScaleBox_ = makeNumberBox(this, "1010", QRect(150, 107, 18, 12));
    integralScaleBox_ = makeNumberBox(this, "1011", QRect(150, 153, 18, 12));
    derivativeScaleBox_ = makeNumberBox(this, "1012", QRect(150, 194, 18, 12));
    // A scale is taken as soon as the operator leaves its box, so that the slider shows the gain
    // under it before it is moved again.
    for (QLineEdit* box : {proportionalScaleBox_, integralScaleBox_, derivativeScaleBox_})
        connect(box, &QLineEdit::editingFinished, this, &CGainDlg::onScaleEdited);

    // A static picture takes the size of its bitmap, plus its border.
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setFrameStyle(QFrame::Box | QFrame::Plain);
    picture->setLineWidth(1);
    picture->setPixmap(QPixmap(QString::fromLatin1(kDiagramResource)));
    dialog_units::setTemplateRect(*picture, 18, 7, 174, 59);

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

    dialog_units::layOutTemplateDialog(*this, kDialogWidthUnits, kDialogHeightUnits, [this, group, picture] {
        // The template's height includes the dropped list; the closed box is as high as its font
        // needs. It stands below the group's title, which the template's place would cover.
        const QRect comboArea = m_modeCombo->geometry();
        const int belowTitle = group->y() + group->contentsRect().top();
        m_modeCombo->setGeometry(comboArea.x(), std::max(comboArea.y(), belowTitle), comboArea.width(),
                                 m_modeCombo->sizeHint().height());
        const int border = picture->frameWidth();
        picture->resize(picture->pixmap().size() + QSize(2 * border, 2 * border));
    });
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
    fileLoad_ = loadGainFile(m_gains);
    m_proportionalValue = m_gains.proportional[0];
    m_integralValue = m_gains.integral[0];
    m_derivativeValue = m_gains.derivative[0];
    m_proportionalScale = kInitialProportionalScale;
    m_integralScale = kInitialIntegralScale;
    m_derivativeScale = kInitialDerivativeScale;
    placeSliders();
    UpdateData(false);
    // Connected only now, so that selecting the first mode above is not taken for a change.
    connect(m_modeCombo, &QComboBox::currentIndexChanged, this, &CGainDlg::OnSelchangeFlightMode);
    // Told once the window is up, so that the operator sees which gains the message is about.
    if (!fileLoad_.whole())
        QMetaObject::invokeMethod(
            this,
            [this] { tell(QString::fromStdString(partialFileText()) + QLatin1String(kPartialFileSaveNote)); },
            Qt::QueuedConnection);
}

std::string CGainDlg::partialFileText() const {
    if (fileLoad_.openError != 0)
        return std::string(kGainFileName) + " could not be opened for reading and writing (" +
               std::strerror(fileLoad_.openError) + "), so every row shows the default gains.";
    const int badRow = fileLoad_.rowsRead + 1;
    const std::string rows =
        badRow == kFlightModeCount ? "row 5 shows" : "rows " + std::to_string(badRow) + " to 5 show";
    return std::string(kGainFileName) + " could not be read whole: row " + std::to_string(badRow) +
           " is not three numbers, so " + rows + " the default gains.";
}

void CGainDlg::placeSliders() {
    const auto row = static_cast<std::size_t>(m_mode);
    placeSlider(*m_proportionalSlider, sliderPosition(m_gains.proportional[row], m_proportionalScale));
    placeSlider(*m_integralSlider, sliderPosition(m_gains.integral[row], m_integralScale));
    placeSlider(*m_derivativeSlider, sliderPosition(m_gains.derivative[row], m_derivativeScale));
}

bool CGainDlg::readBoxes(const double* watchedScale) {
    if (exchanging_) return false;
    exchanging_ = true;
    const double before[] = {m_proportionalScale, m_integralScale, m_derivativeScale};
    const double watchedBefore = watchedScale != nullptr ? *watchedScale : 0;
    // Goes on after a refused scale: the exchange has kept that scale's last accepted value.
    UpdateData(true);
    // A new scale changes no gain: the sliders move to show the gains under it.
    if (before[0] != m_proportionalScale || before[1] != m_integralScale || before[2] != m_derivativeScale)
        placeSliders();
    exchanging_ = false;
    return watchedScale == nullptr || *watchedScale == watchedBefore;
}

void CGainDlg::onScaleEdited() {
    if (exchanging_) return;
    readBoxes(nullptr);
    UpdateData(false);
}

void CGainDlg::applySliderMove(const QSlider& slider, std::array<double, kFlightModeCount>& column,
                               double& value, const double& scale) {
    // A movement while another exchange's prompt is up (a held groove repeats) waits for the next.
    if (exchanging_) return;
    // A scale taken only now has already put this slider where the unchanged gain stands; the
    // movement that brought the scale in does not change the gain.
    if (!readBoxes(&scale)) {
        UpdateData(false);
        return;
    }
    const int rangeMaximum = slider.maximum();
    if (rangeMaximum <= 0) return;
    const double gain = slider.value() * scale / rangeMaximum;
    column[static_cast<std::size_t>(m_mode)] = gain;
    value = gain;
    UpdateData(false);
}

void CGainDlg::OnReleasedCaptureProportional() {
    applySliderMove(*m_proportionalSlider, m_gains.proportional, m_proportionalValue, m_proportionalScale);
}

void CGainDlg::OnReleasedCaptureIntegral() {
    applySliderMove(*m_integralSlider, m_gains.integral, m_integralValue, m_integralScale);
}

void CGainDlg::OnReleasedCaptureDerivative() {
    applySliderMove(*m_derivativeSlider, m_gains.derivative, m_derivativeValue, m_derivativeScale);
}

void CGainDlg::OnSelchangeFlightMode() {
    const int selected = m_modeCombo->currentIndex();
    // No selection (or anything but a listed mode) must never index the table.
    if (selected < 0 || selected >= kFlightModeCount) return;
    readBoxes(nullptr);
    m_mode = selected;
    const auto row = static_cast<std::size_t>(m_mode);
    placeSliders();
    m_proportionalValue = m_gains.proportional[row];
    m_integralValue = m_gains.integral[row];
    m_derivativeValue = m_gains.derivative[row];
    UpdateData(false);
}

void CGainDlg::OnUpload() {
    switch (sendGainUpload(uploadGate_, m_mode, m_proportionalValue, m_integralValue, m_derivativeValue)) {
        case GainUploadResult::doesNotFit:
            tell(QString::fromLatin1(kGainDoesNotFitMessage));
            break;
        case GainUploadResult::notSent:
            // The gate told the operator why, or the operator cancelled.
        case GainUploadResult::sent:
        case GainUploadResult::sendFailed:
            // A datagram lost on the way is not told either; nothing waits for an answer.
            break;
    }
}

void CGainDlg::OnSave() {
    if (!fileLoad_.whole()) {
        QMessageBox ask(
            QMessageBox::Question, QString::fromLatin1(kApplicationTitle),
            QString::fromStdString(partialFileText()) + QLatin1String(kReplacePartialFileQuestion),
            QMessageBox::Yes | QMessageBox::No, this);
        ask.setDefaultButton(QMessageBox::No);
        if (ask.exec() != QMessageBox::Yes) return;
    }
    std::string error;
    if (saveGainFile(m_gains, &error)) {
        // The file now holds exactly this table.
        fileLoad_ = GainFileLoad{true, kFlightModeCount, 0};
        return;
    }
    tell(QStringLiteral("The gains were not saved (%1). %2 is unchanged.")
             .arg(QString::fromStdString(error), QString::fromLatin1(kGainFileName)));
}

void CGainDlg::tell(const QString& text) {
    showMessageBox(this, QString::fromLatin1(kApplicationTitle), text);
}
