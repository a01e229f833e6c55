#pragma once

#include <QStyle>
#include <QToolBar>

class QAction;
class QComboBox;
class QLabel;
class QSlider;
class ReplayController;

// The strip under the view while a recording is replayed: play/pause, 10 s back and forward, the
// speed, a slider over the whole recording with the replay time (h:mm:ss.s of the flight) and the
// recorded local date and time, the length, the datagrams the live program had refused by then
// (shown only once there are any), the check item that sends the replay to the cockpit display
// instead of the live aircraft, and a button that ends the replay. Its keys work
// wherever the focus is in the main window, and only while the bar is shown: Space, + and -,
// Left/Right, Shift+Left/Right, Home/End. Its controls take no focus, so the keys never go to them.
// The keys without a button belong to the parent window.
class ReplayBar : public QToolBar {
    Q_OBJECT
public:
    explicit ReplayBar(ReplayController& controller, QWidget* parent = nullptr);

    // Shows the controller's moment, speed and play state.
    void refresh();

    QSlider* slider() const { return slider_; }
    QComboBox* speedBox() const { return speedBox_; }
    QLabel* timeLabel() const { return timeLabel_; }
    QAction* playAction() const { return playAction_; }
    QAction* toCockpitAction() const { return toCockpitAction_; }
    QLabel* refusedLabel() const { return refusedLabel_; }

signals:
    // The operator closed the bar: the replay ends.
    void closeRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // An action of the bar's keys; a button when it has an icon, otherwise a key only.
    QAction* addKeyAction(const QString& text, const QList<QKeySequence>& keys, QStyle::StandardPixmap icon);

    ReplayController& controller_;
    QAction* playAction_ = nullptr;
    QComboBox* speedBox_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* lengthLabel_ = nullptr;
    QLabel* refusedLabel_ = nullptr;
    QAction* refusedLabelAction_ = nullptr;
    QAction* toCockpitAction_ = nullptr;
    QList<QAction*> keysOnly_;
};
