#include "app/ReplayBar.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "app/ReplayController.h"
#include "view/StatusPanel.h"

namespace {

// The slider moves in tenths of a second of the flight.
constexpr std::int64_t kSliderStepMicros = 100000;

}  // namespace

ReplayBar::ReplayBar(ReplayController& controller, QWidget* parent)
    : QToolBar(QStringLiteral("Replay"), parent), controller_(controller) {
    setObjectName(QStringLiteral("replayBar"));
    setMovable(false);
    setFloatable(false);
    setFocusPolicy(Qt::NoFocus);
    // Keys that are not buttons hang on a widget of the bar, so they too live only while it shows.
    keyHolder_ = new QWidget(this);
    keyHolder_->hide();

    playAction_ = addKeyAction(QStringLiteral("Play"), {QKeySequence(Qt::Key_Space)}, true);
    connect(playAction_, &QAction::triggered, &controller_, &ReplayController::togglePlay);
    QAction* back = addKeyAction(QStringLiteral("-10 s"), {QKeySequence(Qt::Key_Left)}, true);
    connect(back, &QAction::triggered, &controller_, [this] { controller_.stepSeconds(-10); });
    QAction* forward = addKeyAction(QStringLiteral("+10 s"), {QKeySequence(Qt::Key_Right)}, true);
    connect(forward, &QAction::triggered, &controller_, [this] { controller_.stepSeconds(10); });

    QAction* slower =
        addKeyAction(QStringLiteral("Slower"),
                     {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)}, false);
    connect(slower, &QAction::triggered, &controller_, &ReplayController::slower);
    QAction* faster =
        addKeyAction(QStringLiteral("Faster"),
                     {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::SHIFT | Qt::Key_Plus),
                      QKeySequence(Qt::Key_Equal), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)},
                     false);
    connect(faster, &QAction::triggered, &controller_, &ReplayController::faster);
    QAction* lineBack =
        addKeyAction(QStringLiteral("Previous line"), {QKeySequence(Qt::SHIFT | Qt::Key_Left)}, false);
    connect(lineBack, &QAction::triggered, &controller_, [this] { controller_.stepLine(-1); });
    QAction* lineOn =
        addKeyAction(QStringLiteral("Next line"), {QKeySequence(Qt::SHIFT | Qt::Key_Right)}, false);
    connect(lineOn, &QAction::triggered, &controller_, [this] { controller_.stepLine(1); });
    QAction* home = addKeyAction(QStringLiteral("Start"), {QKeySequence(Qt::Key_Home)}, false);
    connect(home, &QAction::triggered, &controller_, &ReplayController::toStart);
    QAction* end = addKeyAction(QStringLiteral("End"), {QKeySequence(Qt::Key_End)}, false);
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

    QAction* closeAction = addAction(QStringLiteral("Close"));
    closeAction->setToolTip(QStringLiteral("Stop the replay and show the live link"));
    connect(closeAction, &QAction::triggered, this, &ReplayBar::closeRequested);
    for (QWidget* child : findChildren<QWidget*>()) child->setFocusPolicy(Qt::NoFocus);

    connect(&controller_, &ReplayController::changed, this, &ReplayBar::refresh);
}

QAction* ReplayBar::addKeyAction(const QString& text, const QList<QKeySequence>& keys, bool shownAsButton) {
    auto* action = new QAction(text, this);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(text + QStringLiteral(" (") + keys.front().toString(QKeySequence::NativeText) +
                       QStringLiteral(")"));
    if (shownAsButton) {
        addAction(action);
    } else {
        // On the bar itself: its shortcuts follow the bar's visibility without a button.
        QWidget::addAction(action);
    }
    return action;
}

void ReplayBar::refresh() {
    ReplayClock* clock = controller_.clock();
    if (clock == nullptr) return;
    const bool playing = clock->playing();
    playAction_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
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
    const QString local = QString::fromStdString(
        formatPanelTime(static_cast<std::time_t>(controller_.shownMicros() / 1000000)));
    timeLabel_->setText(QString::fromStdString(replayDurationText(at)) + QStringLiteral("  ") + local);
    lengthLabel_->setText(QStringLiteral("of ") + QString::fromStdString(replayDurationText(length)));
}
