#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/COrvaneApp.h"
#include "app/CursorReadout.h"
#include "app/ReplayBar.h"
#include "app/ReplayController.h"
#include "net/NetSocket.h"
#include "record/FlightRecorder.h"
#include "tests/record/RecordTestSupport.h"
#include "tuning/CGainDlg.h"
#include "view/StatusPanel.h"

namespace {

// The file choosers answer from the test instead of an operator.
class TestApp : public COrvaneApp {
public:
    QString nextOpenName, nextSaveName;
    int prompts = 0;

protected:
    QString promptOpenFileName() override { return ++prompts, nextOpenName; }
    QString promptSaveFileName() override { return ++prompts, nextSaveName; }
};

// One application object per process, as in the program (its socket is never freed by design).
TestApp& app() {
    static TestApp instance;
    return instance;
}

// Runs `action` and answers with OK every message box it raises; returns the last box's text.
std::optional<QString> answeringBoxes(const std::function<void()>& action) {
    std::optional<QString> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->windowTitle() + ": " + box->text();
            box->done(QMessageBox::Ok);
        }
    });
    poll.start(10);
    action();
    QTest::qWait(50);
    return seen;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QAction* findAction(CMainFrame* frame, const QString& menu, const QString& text) {
    for (QAction* top : frame->menuBar()->actions()) {
        if (top->text() != menu) continue;
        for (QAction* action : top->menu()->actions()) {
            if (action->text() == text) return action;
        }
    }
    return nullptr;
}

}  // namespace

class AppShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(settingsDir_.isValid() && filesDir_.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        initialDirectory_ = QDir::currentPath();
        // As main does once the QApplication exists.
        app().notifier.attach();
    }
    void init() {
        QSettings(kRegistryKey, kProfileName).clear();
        app().loadStdProfileSettings();
        app().nextOpenName.clear();
        app().nextSaveName.clear();
        app().prompts = 0;
        frame_ = app().createDocumentAndFrame(new QWidget);
    }
    void cleanup() {
        app().exitInstance(0);
        QVERIFY(app().mainFrame() == nullptr);
        QDir::setCurrent(initialDirectory_);
    }

    void menusHaveTheirTextsAndShortcuts();
    void inertAcceleratorsTriggerNoCommand();
    void documentCommandsNeverPromptAndNeverDestroyAFile();
    void commandLineIsParsed();
    void recentFileListKeepsFourEntries();
    void aboutBoxShowsTheProduct();
    void cockpitDisplayAndControlGainOpenAnewEachTime();
    void notifierFromAnotherThreadWaitsForTheOperator();
    void boxMessagesAlsoGoToStandardErrorWithTheTime();
    void notifierAfterTheEndHoldsOtherThreads();
    void recordFlightsFollowsTheProfileTheMenuAndFailures();
    void replayFollowsItsKeysAndStopReplayReturnsToTheLiveLink();

private:
    QTemporaryDir settingsDir_;
    QTemporaryDir filesDir_;
    QString initialDirectory_;
    CMainFrame* frame_ = nullptr;
};

void AppShellTest::menusHaveTheirTextsAndShortcuts() {
    // "-" is a separator, "(x)" a disabled item.
    const QStringList expected = {
        "&File: &New\tCtrl+N|&Open...\tCtrl+O|&Save\tCtrl+S|Save &As...|-|(Recent File)|-|E&xit",
        "&GUI: &Cockpit Display", "&Tuning: Control &Gain",
        "F&light: &Record Flights|Re&play Recording...\tCtrl+R|(S&top Replay)|&Aircraft "
        "Address...|&Elevation Data...|Ro&ute Profile...|Lo&gbook...|-|Trac&k|&Clear "
        "Track|-|&Save Waypoints...|&Load Waypoints...|(Copy Last Posit&ion)|(Save Last "
        "Positio&n...)|-|&Open Map...|&Follow Aircraft\tF|Reset Map &View\tCtrl+0|Status &Bar|&Mute "
        "Alarms",
        "&Help: &About Orvane..."};
    QStringList shown;
    for (QAction* top : frame_->menuBar()->actions()) {
        QStringList items;
        for (QAction* action : top->menu()->actions()) {
            items << (action->isSeparator() ? "-"
                      : action->isEnabled() ? action->text()
                                            : "(" + action->text() + ")");
        }
        shown << top->text() + ": " + items.join('|');
    }
    QCOMPARE(shown, expected);
    QCOMPARE(findAction(frame_, "&File", "&New\tCtrl+N")->shortcut(), QKeySequence("Ctrl+N"));
    QCOMPARE(findAction(frame_, "&File", "&Open...\tCtrl+O")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(findAction(frame_, "&File", "&Save\tCtrl+S")->shortcut(), QKeySequence("Ctrl+S"));
    // The one tool bar is the replay bar, shown only while a recording is replayed.
    for (QToolBar* bar : frame_->findChildren<QToolBar*>()) {
        QVERIFY(bar->objectName() == "replayBar" && bar->isHidden());
    }
    QCOMPARE(findAction(frame_, "F&light", "Re&play Recording...\tCtrl+R")->shortcut(),
             QKeySequence("Ctrl+R"));
    QVERIFY(frame_->statusBar()->isVisibleTo(frame_) && frame_->cursorReadout() != nullptr);

    app().showMainFrame();
    QCOMPARE(frame_->windowTitle(), QString("Orvane V1.1 - Kestrix Technology Inc."));
    QTRY_VERIFY(frame_->windowState().testFlag(Qt::WindowMaximized));
}

void AppShellTest::inertAcceleratorsTriggerNoCommand() {
    frame_->show();
    QVERIFY(QTest::qWaitForWindowActive(frame_));
    QList<QAction*> commands;
    for (QAction* top : frame_->menuBar()->actions()) commands += top->menu()->actions();

    const QKeyCombination keys[] = {Qt::CTRL | Qt::Key_Z,        Qt::ALT | Qt::Key_Backspace,
                                    Qt::CTRL | Qt::Key_X,        Qt::SHIFT | Qt::Key_Delete,
                                    Qt::CTRL | Qt::Key_C,        Qt::CTRL | Qt::Key_Insert,
                                    Qt::CTRL | Qt::Key_V,        Qt::SHIFT | Qt::Key_Insert,
                                    QKeyCombination(Qt::Key_F6), Qt::SHIFT | Qt::Key_F6};
    for (const QKeyCombination key : keys) {
        std::vector<std::unique_ptr<QSignalSpy>> commandSpies, inertSpies;
        for (QAction* action : commands)
            commandSpies.push_back(std::make_unique<QSignalSpy>(action, &QAction::triggered));
        for (QAction* action : frame_->inertAccelerators()) {
            inertSpies.push_back(std::make_unique<QSignalSpy>(action, &QAction::triggered));
        }
        QTest::keyClick(frame_, key.key(), key.keyboardModifiers());

        const QString name = QKeySequence(key).toString();
        for (const auto& spy : commandSpies)
            QVERIFY2(spy->isEmpty(), qPrintable(name + " reached a command"));
        // Taken by its own accelerator, so nothing else in the window acts on it.
        qsizetype taken = 0;
        for (const auto& spy : inertSpies) taken += spy->count();
        QVERIFY2(taken == 1, qPrintable(name + " is not taken by one accelerator"));
    }
    QCOMPARE(app().prompts, 0);
    QCOMPARE(app().cockpitFeedOn, 0);
}

void AppShellTest::documentCommandsNeverPromptAndNeverDestroyAFile() {
    frame_->show();
    QVERIFY(QTest::qWaitForWindowActive(frame_));

    // Save of an untitled document asks for a name and writes an empty file.
    const QString fresh = filesDir_.filePath("fresh.orv");
    app().nextSaveName = fresh;
    QTest::keyClick(frame_, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(app().prompts, 1);
    QCOMPARE(readFile(fresh), QByteArray());

    // Open takes any file and reads nothing; Save then says the file holds data and writes nothing.
    const QString held = filesDir_.filePath("held.bin");
    const QByteArray heldContent("\x00\x01kept", 6);
    writeFile(held, heldContent);
    const QString refusal = "Orvane: " + held +
                            " already holds data. The document is empty, so nothing "
                            "was written over it.";
    app().nextOpenName = held;
    QTest::keyClick(frame_, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(app().document()->pathName(), QFileInfo(held).absoluteFilePath());
    QCOMPARE(answeringBoxes([this] { QTest::keyClick(frame_, Qt::Key_S, Qt::ControlModifier); }),
             std::optional<QString>(refusal));
    QCOMPARE(app().prompts, 2);
    QCOMPARE(readFile(held), heldContent);
    // The offscreen platform does not hand activation back after a box.
    frame_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame_));

    // New asks nothing, and the document is never modified.
    const auto box = answeringBoxes([this] { QTest::keyClick(frame_, Qt::Key_N, Qt::ControlModifier); });
    QVERIFY(!box.has_value());
    QCOMPARE(app().prompts, 2);
    QVERIFY(app().document()->pathName().isEmpty() && !app().document()->isModified());

    // Save As onto a file with content (the operator agreed to replace it) writes nothing either;
    // onto an empty file it saves.
    app().nextSaveName = held;
    QCOMPARE(answeringBoxes([this] { findAction(frame_, "&File", "Save &As...")->trigger(); }),
             std::optional<QString>(refusal));
    QCOMPARE(readFile(held), heldContent);
    QVERIFY(app().document()->pathName().isEmpty());
    app().nextSaveName = fresh;
    QVERIFY(!answeringBoxes([this] { findAction(frame_, "&File", "Save &As...")->trigger(); }).has_value());
    QCOMPARE(app().document()->pathName(), QFileInfo(fresh).absoluteFilePath());
    QCOMPARE(readFile(fresh), QByteArray());

    // A file that cannot be opened (a directory, or none) is refused with a message.
    CommandLine missing;
    missing.documentFile = filesDir_.filePath("no-such-file");
    bool processed = true;
    QCOMPARE(answeringBoxes([&] { processed = app().processShellCommand(missing); }),
             std::optional<QString>("Orvane: Failed to open document."));
    QVERIFY(!processed);
    QVERIFY(answeringBoxes([this] { QVERIFY(!app().openDocumentFile(filesDir_.path())); }).has_value());
    QCOMPARE(app().document()->pathName(), QFileInfo(fresh).absoluteFilePath());
}

void AppShellTest::commandLineIsParsed() {
    struct Case {
        QStringList arguments;
        QString expected;  // "document|screenshot|seconds", or "error"
        // The measurement options, "startup" and "frames" in that order, blank-separated.
        QString reports = {};
    };
    const Case cases[] = {
        {{"orvane"}, "||1"},
        {{"orvane", "doc.orv"}, "doc.orv||1"},
        {{"orvane", "--after", "0", "doc", "--screenshot", "y.png"}, "doc|y.png|0"},
        {{"orvane", "--screenshot", "x.png", "--after", "2.5"}, "|x.png|2.5"},
        {{"orvane", "--screenshot"}, "error"},
        {{"orvane", "--after", "nan"}, "error"},
        {{"orvane", "--after", "-1"}, "error"},
        {{"orvane", "--fullscreen"}, "error"},
        {{"orvane", "a", "b"}, "error"},
        {{"orvane", "--report-frames"}, "||1", "frames"},
        {{"orvane", "--report-startup", "doc"}, "doc||1", "startup"},
        {{"orvane", "--screenshot", "z.png", "--report-frames", "--report-startup"},
         "|z.png|1",
         "startup frames"},
        {{"orvane", "--report-frame"}, "error"},
        {{"orvane", "--user-folder", "doc"}, "doc||1", "user-folder"},
        {{"orvane", "--screenshot=s.png", "--after=3", "--", "--doc"}, "--doc|s.png|3"},
        {{"orvane", "--user-folder=yes"}, "error"},
        {{"orvane", "--after"}, "error"},
        {{"orvane", "--after", "2"}, "error"},
        {{"orvane", "--replay"}, "error"},
    };
    QCOMPARE(parseCommandLine({"orvane", "--replay", "flights/a.pcap"}).replayFile,
             QString("flights/a.pcap"));
    for (const Case& c : cases) {
        const CommandLine parsed = parseCommandLine(c.arguments);
        const QString result = !parsed.error.isEmpty()
                                   ? "error"
                                   : parsed.documentFile + "|" + parsed.screenshotFile + "|" +
                                         QString::number(parsed.screenshotAfterSeconds);
        QVERIFY2(result == c.expected, qPrintable(c.arguments.join(' ') + " -> " + result));
        if (!parsed.error.isEmpty()) continue;
        QStringList reports;
        if (parsed.reportStartup) reports << "startup";
        if (parsed.reportFrames) reports << "frames";
        if (parsed.userFolder) reports << "user-folder";
        QVERIFY2(reports.join(' ') == c.reports,
                 qPrintable(c.arguments.join(' ') + " -> " + reports.join(' ')));
    }
}

void AppShellTest::recentFileListKeepsFourEntries() {
    QStringList paths;
    for (const char* name : {"a.orv", "b.orv", "c.orv", "d.orv", "e.orv"}) {
        paths << QFileInfo(filesDir_.filePath(name)).absoluteFilePath();
        writeFile(paths.last(), "");
        QVERIFY(app().openDocumentFile(paths.last()));
    }
    // Opening a listed file again moves it up rather than listing it twice.
    QVERIFY(app().openDocumentFile(paths[2]));
    const QStringList newestFirst = {paths[2], paths[4], paths[3], paths[1]};

    QSettings settings(kRegistryKey, kProfileName);
    settings.beginGroup("Recent File List");
    QCOMPARE(settings.childKeys(), QStringList({"File1", "File2", "File3", "File4"}));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(settings.value(QString("File%1").arg(i + 1)).toString(), newestFirst[i]);
    RecentFileList reloaded;
    reloaded.load();
    QCOMPARE(reloaded.entries(), newestFirst);

    // The menu numbers them in the same order; choosing one opens it.
    for (int i = 0; i < 4; ++i) {
        QVERIFY(findAction(frame_, "&File", QString("&%1 %2").arg(i + 1).arg(newestFirst[i])) != nullptr);
    }
    QVERIFY(findAction(frame_, "&File", "Recent File") == nullptr);
    findAction(frame_, "&File", "&3 " + newestFirst[2])->trigger();
    QCOMPARE(app().document()->pathName(), newestFirst[2]);
    QCOMPARE(app().recentFiles().entries().first(), newestFirst[2]);

    // An entry whose file is gone gives a message and leaves the list.
    QVERIFY(QFile::remove(newestFirst[1]));
    QAction* gone = findAction(frame_, "&File", "&3 " + newestFirst[1]);
    QVERIFY(answeringBoxes([gone] { gone->trigger(); }).has_value());
    QVERIFY(!app().recentFiles().entries().contains(newestFirst[1]));
    QCOMPARE(app().recentFiles().entries().size(), 3);
    settings.sync();
    QVERIFY(!settings.contains("File4"));
}

void AppShellTest::aboutBoxShowsTheProduct() {
    QStringList seen;
    QTimer::singleShot(50, [&seen] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        QVERIFY(about != nullptr);
        seen << about->windowTitle();
        for (QLabel* label : about->findChildren<QLabel*>()) {
            seen << (label->pixmap().isNull() ? label->text() : "<icon>");
        }
        QTest::mouseClick(about->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    findAction(frame_, "&Help", "&About Orvane...")->trigger();
    QCOMPARE(seen, QStringList({"About Orvane", "<icon>", "Orvane Version 1.0", "Kestrix Technology Inc."}));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void AppShellTest::cockpitDisplayAndControlGainOpenAnewEachTime() {
    QVERIFY(QDir::setCurrent(filesDir_.path()));
    writeFile("OpenGC.exe", "#!/bin/sh\necho started >> cockpit-starts\n");
    QVERIFY(QFile::setPermissions("OpenGC.exe", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QAction* cockpit = findAction(frame_, "&GUI", "&Cockpit Display");
    cockpit->trigger();
    cockpit->trigger();
    QCOMPARE(app().cockpitFeedOn, 1);
    QTRY_COMPARE(readFile("cockpit-starts"), QByteArray("started\nstarted\n"));
    app().cockpitFeedOn = 0;

    QAction* gain = findAction(frame_, "&Tuning", "Control &Gain");
    answeringBoxes([gain] {
        gain->trigger();
        gain->trigger();
    });
    const QList<CGainDlg*> dialogs = frame_->findChildren<CGainDlg*>();
    QCOMPARE(dialogs.size(), 2);
    QVERIFY(dialogs[0]->isVisible() && !dialogs[0]->isModal() && dialogs[1]->isVisible());
    QPointer<CGainDlg> closed = dialogs[0];
    closed->close();
    QTRY_VERIFY(closed.isNull());
    QVERIFY(dialogs[1]->isVisible());
}

void AppShellTest::notifierFromAnotherThreadWaitsForTheOperator() {
    std::atomic<bool> returned{false};
    std::thread receiver([&returned] {
        app().notifier.showMessage("Orvane", "bind() error");
        returned = true;
    });
    // The box runs its own event loop on this thread, so a timer watches and closes it.
    QString seen;
    bool blockedWhileShown = false;
    int ticksShown = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen = box->windowTitle() + ": " + box->text();
        if (++ticksShown < 5) return;
        blockedWhileShown = !returned;
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(returned, 10000);
    receiver.join();
    poll.stop();
    QCOMPARE(seen, QString("Orvane: bind() error"));
    QVERIFY(blockedWhileShown);

    // On the interface thread itself the box is shown directly.
    QCOMPARE(answeringBoxes([] { app().notifier.showMessage("Error", "map"); }),
             std::optional<QString>("Error: map"));
}

void AppShellTest::boxMessagesAlsoGoToStandardErrorWithTheTime() {
    // Standard error goes to a file for the while of the message.
    QTemporaryFile captured;
    QVERIFY(captured.open());
    std::fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    QVERIFY(savedStderr >= 0);
    QVERIFY(dup2(captured.handle(), STDERR_FILENO) >= 0);
    const auto box =
        answeringBoxes([] { app().notifier.showMessage("Error", "Loading the Navigation Map\nis failed!"); });
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);

    QCOMPARE(box, std::optional<QString>("Error: Loading the Navigation Map\nis failed!"));
    const QString logged = QString::fromUtf8(readFile(captured.fileName()));
    const QRegularExpression line(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [+-]\\d{4} Error: Loading the Navigation Map is "
        "failed!\n$");
    QVERIFY2(line.match(logged).hasMatch(), qPrintable(logged));
}

// When the program ends, a thread that asks for a box (the receiver, which is never stopped) must
// not reach the application any more: a request on its way is dropped and the caller held for good.
void AppShellTest::notifierAfterTheEndHoldsOtherThreads() {
    // Never destroyed: the held thread stays inside it until the process ends.
    auto* notifier = new MessageBoxNotifier;
    notifier->attach();
    auto* returned = new std::atomic<int>(0);
    auto* askAgain = new std::atomic<bool>(false);
    std::thread receiver([notifier, returned, askAgain] {
        notifier->showMessage("Orvane", "bind() error");
        ++*returned;
        while (!askAgain->load()) std::this_thread::yield();
        notifier->showMessage("Orvane", "bind() error");
        ++*returned;
    });
    receiver.detach();
    // Boxes run their own event loop on this thread, so a timer watches for them and closes them.
    QStringList shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown << box->text();
            box->done(QMessageBox::Ok);
        }
    });
    poll.start(10);
    QTRY_COMPARE(returned->load(), 1);
    // No event is handled between these two: the second request is on its way or not yet made,
    // and either way the end holds it.
    askAgain->store(true);
    notifier->detach();
    QTest::qWait(200);
    QCOMPARE(shown, QStringList{"bind() error"});
    QCOMPARE(returned->load(), 1);
}

void AppShellTest::recordFlightsFollowsTheProfileTheMenuAndFailures() {
    QVERIFY(QDir::setCurrent(filesDir_.path()));
    QVERIFY2(COrvaneApp::recordFlightsSetting(), "on unless the operator switched it off");
    QVERIFY(parseCommandLine({"orvane", "--no-record"}).noRecord);
    QVERIFY(!parseCommandLine({"orvane"}).noRecord);

    // --no-record: off for this run, the profile untouched.
    app().startFlightRecorder(false);
    QVERIFY(!app().flightRecorder()->enabled());
    app().startFlightRecorder(true);
    QVERIFY(app().flightRecorder()->enabled());
    delete frame_;
    frame_ = app().createDocumentAndFrame(new QWidget);
    QAction* record = findAction(frame_, "F&light", "&Record Flights");
    QVERIFY(record != nullptr && record->isCheckable() && record->isChecked());

    // The menu switches it and the profile keeps the choice.
    record->trigger();
    QVERIFY(!record->isChecked() && !app().flightRecorder()->enabled());
    QVERIFY(!COrvaneApp::recordFlightsSetting());
    record->trigger();
    QVERIFY(app().flightRecorder()->enabled() && COrvaneApp::recordFlightsSetting());

    // A failure is told in a box that blocks nothing; the mark goes, the profile stays.
    frame_->show();
    app().showRecordingFailure(
        "Flight recording stopped: flights cannot be written (No space left on device).");
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QMessageBox* box = frame_->findChild<QMessageBox*>();
    QVERIFY(box != nullptr && box->isVisible() && !box->isModal());
    QVERIFY(box->text().contains("No space left on device"));
    QVERIFY(!record->isChecked());
    QVERIFY(COrvaneApp::recordFlightsSetting());
    box->close();
}

QTEST_MAIN(AppShellTest)
#include "AppShellTest.moc"

void AppShellTest::replayFollowsItsKeysAndStopReplayReturnsToTheLiveLink() {
    // Thirty seconds at ten lines a second.
    constexpr std::int64_t kStart = 1796751167000000;
    constexpr std::int64_t kSecond = 1000000;
    std::vector<FrameToWrite> frames;
    for (int i = 0; i < 300; ++i) {
        const std::string line = std::to_string(i) + " 0 0 0 0 0 0 0 0 0 0 0 0 0 39.98 -75.21 0 1 2 1";
        frames.push_back(
            {kStart + i * kSecond / 10, udpPacket(0x7F000001, 14550, 0x7F000001, 9001, bytesOf(line))});
    }
    const QString path = filesDir_.path() + "/flight.pcap";
    writeCapture(path.toStdString(), DLT_RAW, frames);

    // A file that cannot be replayed is told, and nothing changes.
    const auto told = answeringBoxes([&] { QVERIFY(!app().startReplay(filesDir_.path() + "/none.pcap")); });
    QVERIFY(told && told->contains("none.pcap"));
    ReplayController* replay = app().replayController();
    QVERIFY(!replay->active() && !app().telemetrySocket->repliesHeld());

    frame_->show();
    QVERIFY(QTest::qWaitForWindowActive(frame_));
    QVERIFY(app().startReplay(path));
    auto* bar = frame_->findChild<ReplayBar*>();
    QVERIFY(bar->isVisible());
    QVERIFY(app().telemetrySocket->repliesHeld());
    QVERIFY(frame_->stopReplayAction()->isEnabled());
    QCOMPARE(replay->scene().mark, std::string("REPLAY 1x"));
    // Every line stands at one place: one point of the track, from the recording.
    QCOMPARE(replay->scene().track.points().size(), std::size_t{1});
    // The cockpit display stays on the live aircraft until the operator sends the replay there.
    QAction* toCockpit = bar->toCockpitAction();
    QVERIFY(toCockpit->isCheckable() && !toCockpit->isChecked() && !replay->scene().toCockpit);
    toCockpit->trigger();
    QVERIFY(replay->scene().toCockpit && toCockpit->isChecked());
    QVERIFY(app().startReplay(path));
    QVERIFY2(!toCockpit->isChecked() && !replay->scene().toCockpit, "off at every replay start");

    QTest::keyClick(frame_, Qt::Key_Space);
    QCOMPARE(replay->scene().mark, std::string("PAUSED"));
    struct Key {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::int64_t expected;  // from the start
    };
    const Key keys[] = {
        {Qt::Key_Home, Qt::NoModifier, 0},
        {Qt::Key_Right, Qt::NoModifier, 10 * kSecond},
        {Qt::Key_Right, Qt::ShiftModifier, 10 * kSecond + kSecond / 10},
        {Qt::Key_Left, Qt::ShiftModifier, 10 * kSecond},
        {Qt::Key_Left, Qt::ShiftModifier, 10 * kSecond - kSecond / 10},
        {Qt::Key_Left, Qt::NoModifier, 0},
        {Qt::Key_End, Qt::NoModifier, 299 * kSecond / 10},
        {Qt::Key_Right, Qt::NoModifier, 299 * kSecond / 10},
        {Qt::Key_Left, Qt::NoModifier, 199 * kSecond / 10},
    };
    for (const Key& k : keys) {
        QTest::keyClick(frame_, k.key, k.modifiers);
        QCOMPARE(replay->shownMicros() - kStart, k.expected);
        QCOMPARE(replay->scene().telemetry.p.load(), static_cast<float>(k.expected / (kSecond / 10)));
    }
    QTest::keyClick(frame_, Qt::Key_Plus);
    QCOMPARE(replay->clock()->speed(), 2.0);
    for (int i = 0; i < 3; ++i) QTest::keyClick(frame_, Qt::Key_Minus);
    QCOMPARE(replay->clock()->speed(), 0.25);
    QTest::keyClick(frame_, Qt::Key_Space);
    QCOMPARE(replay->scene().mark, std::string("REPLAY 0.25x"));
    QCOMPARE(bar->speedBox()->currentText(), QString("0.25x"));

    // The slider shows the moment it is dragged to.
    bar->slider()->setValue(150);
    QVERIFY(std::llabs(replay->shownMicros() - (kStart + 15 * kSecond)) < 1000);
    QCOMPARE(replay->scene().telemetry.p.load(), 150.0f);

    // A clock set back an hour while recording: the bar tells the time the line was heard, as the
    // panel does, not the flight's time since the start.
    std::vector<FrameToWrite> stepped;
    for (int i = 0; i < 20; ++i) {
        const std::int64_t at = kStart + i * kSecond / 10 - (i >= 10 ? 3600 * kSecond : 0);
        stepped.push_back({at, udpPacket(0x7F000001, 14550, 0x7F000001, 9001,
                                         bytesOf("1 0 0 0 0 0 0 0 0 0 0 0 0 0 39.98 -75.21 0 1 2 1"))});
    }
    const QString steppedPath = filesDir_.path() + "/stepped.pcap";
    writeCapture(steppedPath.toStdString(), DLT_RAW, stepped);
    QVERIFY(app().startReplay(steppedPath));
    QTest::keyClick(frame_, Qt::Key_End);
    const std::time_t lastHeard =
        static_cast<std::time_t>((kStart + 19 * kSecond / 10 - 3600 * kSecond) / kSecond);
    QVERIFY2(bar->timeLabel()->text().endsWith(QString::fromStdString(formatPanelTime(lastHeard))),
             qPrintable(bar->timeLabel()->text()));

    for (QAction* action : bar->actions()) {
        if (action->text() == "Close") action->trigger();
    }
    QVERIFY(!replay->active() && bar->isHidden());
    QVERIFY(!app().telemetrySocket->repliesHeld());
    QVERIFY(!frame_->stopReplayAction()->isEnabled());
}
