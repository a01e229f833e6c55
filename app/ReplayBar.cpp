#include "app/ReplayBar.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "app/ReplayController.h"
#include "app/SenderStatusFields.h"
#include "view/StatusPanel.h"

namespace {

// The slider moves in tenths of a second of the flight.
constexpr std::int64_t kSliderStepMicros = 100000;
// No icon: the action is a key and no button.
constexpr auto kKeyOnly = QStyle::SP_CustomBase;

}  // namespace

ReplayBar::ReplayBar(ReplayController& controller, QWidget* parent)
    : QToolBar(QStringLiteral("Replay"), parent), controller_(controller) {
    setObjectName(QStringLiteral("replayBar"));
    setMovable(false);
    setFloatable(false);
    setFocusPolicy(Qt::NoFocus);

    playAction_ = addKeyAction(QStringLiteral("Play"), {QKeySequence(Qt::Key_Space)}, QStyle::SP_MediaPlay);
    connect(playAction_, &QAction::triggered, &controller_, &ReplayController::togglePlay);
    QAction* back =
        addKeyAction(QStringLiteral("Back 10 s"), {QKeySequence(Qt::Key_Left)}, QStyle::SP_MediaSeekBackward);
    connect(back, &QAction::triggered, &controller_, [this] { controller_.stepSeconds(-10); });
    QAction* forward = addKeyAction(QStringLiteral("Forward 10 s"), {QKeySequence(Qt::Key_Right)},
                                    QStyle::SP_MediaSeekForward);
    connect(forward, &QAction::triggered, &controller_, [this] { controller_.stepSeconds(10); });

    QAction* slower = addKeyAction(
        QStringLiteral("Slower"),
        {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)}, kKeyOnly);
    connect(slower, &QAction::triggered, &controller_, &ReplayController::slower);
    QAction* faster =
        addKeyAction(QStringLiteral("Faster"),
                     {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::SHIFT | Qt::Key_Plus),
                      QKeySequence(Qt::Key_Equal), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)},
                     kKeyOnly);
    connect(faster, &QAction::triggered, &controller_, &ReplayController::faster);
    QAction* lineBack =
        addKeyAction(QStringLiteral("Previous line"), {QKeySequence(Qt::SHIFT | Qt::Key_Left)}, kKeyOnly);
    connect(lineBack, &QAction::triggered, &controller_, [this] { controller_.stepLine(-1); });
    QAction* lineOn =
        addKeyAction(QStringLiteral("Next line"), {QKeySequence(Qt::SHIFT | Qt::Key_Right)}, kKeyOnly);
    connect(lineOn, &QAction::triggered, &controller_, [this] { controller_.stepLine(1); });
    QAction* home = addKeyAction(QStringLiteral("Start"), {QKeySequence(Qt::Key_Home)}, kKeyOnly);
    connect(home, &QAction::triggered, &controller_, &ReplayController::toStart);
    QAction* end = addKeyAction(QStringLiteral("End"), {QKeySequence(Qt::Key_End)}, kKeyOnly);
    connect(end, &QAction::triggered, &controller_, &ReplayController::toEnd);

    speedBox_ = new QComboBox(this);
    speedBox_->setFocusPolicy(Qt::NoFocus);
    speedBox_->setToolTip(QStringLiteral("Speed (+ and -)"));
    for (const double speed : ReplayClock::kSpeeds) {
        speedBox_->addItem(QString::fromStdString(replaySpeedText(speed)));
    }
    connect(speedBox_, &QComboBox::activated, &controller_, &ReplayController::setSpeedStep);
    addWidget(speedBox_);

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setFocusPolicy(Qt::NoFocus);
    slider_->setMinimumWidth(200);
    slider_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Dragging shows each moment it passes; a click beside the handle jumps a page.
    connect(slider_, &QSlider::valueChanged, &controller_, [this](int value) {
        if (const ReplayClock* clock = controller_.clock()) {
            controller_.seek(clock->startMicros() + value * kSliderStepMicros);
        }
    });
    addWidget(slider_);

    timeLabel_ = new QLabel(this);
    addWidget(timeLabel_);
    lengthLabel_ = new QLabel(this);
    addWidget(lengthLabel_);
    refusedLabel_ = new QLabel(this);
    refusedLabel_->setObjectName(QStringLiteral("replayRefused"));
    // Red, as the live status bar shows it.
    refusedLabel_->setStyleSheet(QStringLiteral("color: #c00000;"));
    refusedLabelAction_ = addWidget(refusedLabel_);
    refusedLabelAction_->setVisible(false);

    toCockpitAction_ = addAction(QStringLiteral("Replay to Cockpit"));
    toCockpitAction_->setObjectName(QStringLiteral("replayToCockpit"));
    toCockpitAction_->setCheckable(true);
    toCockpitAction_->setToolTip(
        QStringLiteral("Send the replay to the cockpit display instead of the live aircraft"));
    connect(toCockpitAction_, &QAction::toggled, &controller_, &ReplayController::setToCockpit);

    QAction* closeAction =
        addAction(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Close"));
    closeAction->setToolTip(QStringLiteral("Stop the replay and show the live link"));
    connect(closeAction, &QAction::triggered, this, &ReplayBar::closeRequested);
    for (QWidget* child : findChildren<QWidget*>()) child->setFocusPolicy(Qt::NoFocus);

    connect(&controller_, &ReplayController::changed, this, &ReplayBar::refresh);
}

QAction* ReplayBar::addKeyAction(const QString& text, const QList<QKeySequence>& keys,
                                 QStyle::StandardPixmap icon) {
    auto* action = new QAction(text, this);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(text + QStringLiteral(" (") + keys.front().toString(QKeySequence::NativeText) +
                       QStringLiteral(")"));
    if (icon != kKeyOnly) {
        action->setIcon(style()->standardIcon(icon));
        addAction(action);
    } else {
        // On the window, where no button is made for it (a bar too narrow for its slider must
        // keep its keys); enabled only while the bar is shown.
        action->setEnabled(false);
        if (parentWidget() != nullptr) parentWidget()->addAction(action);
        keysOnly_.append(action);
    }
    return action;
}

void ReplayBar::refresh() {
    ReplayClock* clock = controller_.clock();
    if (clock == nullptr) return;
    const bool playing = clock->playing();
    playAction_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    playAction_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    {
        const QSignalBlocker quiet(speedBox_);
        speedBox_->setCurrentIndex(clock->speedStep());
    }
    const std::int64_t length = clock->endMicros() - clock->startMicros();
    const std::int64_t at = controller_.shownMicros() - clock->startMicros();
    {
        // The operator's own drag is not pulled back by the replay's clock.
        const QSignalBlocker quiet(slider_);
        slider_->setMaximum(static_cast<int>(length / kSliderStepMicros));
        if (!slider_->isSliderDown()) slider_->setValue(static_cast<int>(at / kSliderStepMicros));
    }
    // The time the line shown was heard, as the panel shows it: a clock set back while recording
    // makes it differ from the start plus the flight's time.
    const QString local = QString::fromStdString(formatPanelTime(controller_.scene().lineTime));
    timeLabel_->setText(QString::fromStdString(replayDurationText(at)) + QStringLiteral("  ") + local);
    lengthLabel_->setText(QStringLiteral("  of ") + QString::fromStdString(replayDurationText(length)));
    {
        const QSignalBlocker quiet(toCockpitAction_);
        toCockpitAction_->setChecked(controller_.toCockpit());
    }
    const ReplayRefusals& refusals = controller_.scene().refusals;
    const QString refused = refusedFieldText(refusals.count, refusals.lastRefused);
    if (refusedLabel_->text() != QStringLiteral("  ") + refused)
        refusedLabel_->setText(QStringLiteral("  ") + refused);
    refusedLabelAction_->setVisible(!refused.isEmpty());
}

void ReplayBar::showEvent(QShowEvent* event) {
    for (QAction* action : keysOnly_) action->setEnabled(true);
    QToolBar::showEvent(event);
}

void ReplayBar::hideEvent(QHideEvent* event) {
    for (QAction* action : keysOnly_) action->setEnabled(false);
    QToolBar::hideEvent(event);
}
