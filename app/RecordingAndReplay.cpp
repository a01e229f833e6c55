// The application's flight recorder and the replay of a recording in place of the live link.
#include "app/COrvaneApp.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QSignalBlocker>

#include <filesystem>
#include <string>

#include "app/CMainFrame.h"
#include "app/ReplayBar.h"
#include "app/ReplayController.h"
#include "common/MessageLog.h"
#include "net/NetSocket.h"
#include "net/TelemetryReceiver.h"
#include "record/FlightRecorder.h"
#include "view/COrvaneView.h"

namespace {

constexpr const char* kRecordFlightsKey = "Settings/RecordFlights";

}  // namespace

void COrvaneApp::startFlightRecorder(bool allowed) {
    if (flightRecorder_ == nullptr) {
        flightRecorder_ = new FlightRecorder(
            std::filesystem::current_path() / kFlightsFolder, TelemetryReceiver::kTelemetryPort,
            [this](const std::string& message) {
                // From the writer thread: the box is shown later on the user-interface thread.
                QMetaObject::invokeMethod(
                    qApp, [this, message] { showRecordingFailure(QString::fromStdString(message)); },
                    Qt::QueuedConnection);
            });
        telemetrySocket->setTap(flightRecorder_);
    }
    flightRecorder_->setEnabled(allowed && recordFlightsSetting());
}

void COrvaneApp::onRecordFlights(bool on) {
    saveRecordFlightsSetting(on);
    if (flightRecorder_ != nullptr) flightRecorder_->setEnabled(on);
}

bool COrvaneApp::recordFlightsSetting() {
    return QSettings(kRegistryKey, kProfileName).value(kRecordFlightsKey, true).toBool();
}

void COrvaneApp::saveRecordFlightsSetting(bool on) {
    QSettings(kRegistryKey, kProfileName).setValue(kRecordFlightsKey, on);
}

ReplayController* COrvaneApp::replayController() const {
    return replay_.data();
}

void COrvaneApp::onReplayRecording() {
    const QString path = QFileDialog::getOpenFileName(
        mainFrame(), QStringLiteral("Replay Recording"), QString::fromLatin1(kFlightsFolder),
        QStringLiteral("Recordings (*.pcap *.cap *.dmp);;All Files (*)"));
    if (!path.isEmpty()) startReplay(path);
}

bool COrvaneApp::startReplay(const QString& path) {
    if (replay_ == nullptr) return false;
    QString error;
    if (!replay_->open(path, error)) {
        notifier.showMessage(kApplicationTitle, error.toStdString());
        return false;
    }
    // Held before anything of the replay shows: from now on nothing reaches the aircraft.
    telemetrySocket->holdReplies(true);
    if (view_ != nullptr) {
        replay_->setMapGeometry(&view_->mapGeometry());
        view_->showReplay(&replay_->scene());
    }
    if (const std::string& problem = replay_->replay()->problem(); !problem.empty()) {
        notifier.showMessage(kApplicationTitle, problem + ". What comes before is replayed.");
    }
    replayBar_->refresh();
    replayBar_->show();
    if (CMainFrame* frame = mainFrame()) frame->stopReplayAction()->setEnabled(true);
    return true;
}

void COrvaneApp::onStopReplay() {
    if (replay_ == nullptr || !replay_->active()) return;
    replay_->close();
    replayBar_->hide();
    if (view_ != nullptr) view_->showReplay(nullptr);
    if (CMainFrame* frame = mainFrame()) frame->stopReplayAction()->setEnabled(false);
    telemetrySocket->holdReplies(false);
}

void COrvaneApp::showRecordingFailure(const QString& message) {
    // The check mark follows what happens; the profile keeps the operator's choice.
    if (CMainFrame* frame = mainFrame()) {
        const QSignalBlocker quiet(frame->recordFlightsAction());
        frame->recordFlightsAction()->setChecked(false);
    }
    logMessage(kApplicationTitle, message.toStdString());
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), message,
                                QMessageBox::Ok, mainFrame());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
