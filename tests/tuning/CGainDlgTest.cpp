#include "tuning/CGainDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "map/Waypoints.h"
#include "net/NetSocket.h"
#include "net/UplinkFrame.h"
#include "tests/tuning/TuningTestSupport.h"
#include "tuning/GainUpload.h"

namespace {

template <typename T>
T* control(QWidget* dialog, const char* id) {
    T* found = dialog->findChild<T*>(QString::fromLatin1(id));
    if (!found) qFatal("no control %s", id);
    return found;
}

QString boxText(QWidget* dialog, const char* id) {
    return control<QLineEdit>(dialog, id)->text();
}

// A mouse release after dragging the handle, as the operator does it.
void dragSliderTo(QWidget* dialog, const char* id, int position) {
    auto* slider = control<QSlider>(dialog, id);
    slider->setSliderDown(true);
    slider->setValue(position);
    slider->setSliderDown(false);
}

void setBox(QWidget* dialog, const char* id, const char* text) {
    control<QLineEdit>(dialog, id)->setText(QString::fromLatin1(text));
}

// Accepts the next message box once it is up and returns its text through `text`.
void answerNextMessageBox(QString* text) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->accept();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

std::string readFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

class CGainDlgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchDirectory> directory_;
    RecordingNotifier notifier_;
    std::unique_ptr<NetSocket> socket_;

    CGainDlg* open() {
        auto* dialog = new CGainDlg(*socket_, nullptr);
        dialog->show();
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog)) qWarning("dialog not active");
        return dialog;
    }

private slots:
    void init() {
        directory_ = std::make_unique<ScratchDirectory>();
        socket_ = std::make_unique<NetSocket>(notifier_);
        QVERIFY(socket_->startup() && socket_->create("UDP") && socket_->bindPort(0));
    }

    void cleanup() {
        QList<QPointer<CGainDlg>> dialogs;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<CGainDlg*>(window)) dialogs.append(dialog);
        qDeleteAll(dialogs);
        socket_->close();
        socket_.reset();
        directory_.reset();
    }

    void opensWithTheDefaultsAtTheTemplatePlaces() {
        CGainDlg* dialog = open();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Control Gain"));
        QVERIFY(dialog->windowFlags().testFlag(Qt::Tool));
        QCOMPARE(dialog->size(), QSize(488, 444));
        QCOMPARE(control<QComboBox>(dialog, "1001")->currentText(), QStringLiteral("Pitch Stabilization "));
        QCOMPARE(control<QComboBox>(dialog, "1001")->count(), 5);
        const char* const boxes[] = {"1006", "1007", "1008", "1010", "1011", "1012"};
        const char* const shown[] = {"0.256", "0", "0.011", "2", "1", "0.5"};
        for (int k = 0; k < 6; ++k) QCOMPARE(boxText(dialog, boxes[k]), QString::fromLatin1(shown[k]));
        QCOMPARE(control<QSlider>(dialog, "1003")->value(), 128);
        QCOMPARE(control<QSlider>(dialog, "1005")->value(), 0);
        QCOMPARE(control<QSlider>(dialog, "1004")->value(), 22);
        for (const char* id : {"1006", "1007", "1008"}) QVERIFY(control<QLineEdit>(dialog, id)->isReadOnly());
        // Dialog units to pixels, halves rounded up: 82 x 7 / 4 = 143.5 and 149 x 7 / 4 = 260.75.
        QCOMPARE(control<QLineEdit>(dialog, "1006")->geometry(), QRect(144, 140, 77, 24));
        QCOMPARE(control<QSlider>(dialog, "1003")->geometry(), QRect(32, 170, 261, 44));
        QCOMPARE(control<QPushButton>(dialog, "1")->geometry(), QRect(389, 14, 88, 28));
        QCOMPARE(control<QLineEdit>(dialog, "1011")->geometry(), QRect(263, 306, 32, 24));
        QCOMPARE(control<QLabel>(dialog, "picture")->pixmap().size(), QSize(305, 117));
    }

    void mouseReleasesSetTheGainKeyboardMovesDoNot() {
        struct Case {
            const char* slider;
            const char* scaleBox;
            const char* scale;
            int position;
            const char* valueBox;
            const char* shown;
        };
        const Case cases[] = {
            {"1003", "1010", "2", 500, "1006", "1"},      {"1003", "1010", "0.5", 500, "1006", "0.25"},
            {"1005", "1011", "1", 1000, "1007", "1"},     {"1004", "1012", "0.5", 0, "1008", "0"},
            {"1004", "1012", "0.5", 1000, "1008", "0.5"}, {"1005", "1011", "100", 1, "1007", "0.1"},
        };
        CGainDlg* dialog = open();
        for (const Case& c : cases) {
            setBox(dialog, c.scaleBox, c.scale);
            dragSliderTo(dialog, c.slider, c.position);
            QCOMPARE(boxText(dialog, c.valueBox), QString::fromLatin1(c.shown));
        }
        QCOMPARE(dialog->gains().proportional[0], 0.25);
        QCOMPARE(dialog->gains().integral[0], 0.1);

        auto* slider = control<QSlider>(dialog, "1003");
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(slider->value(), 1000);
        QCOMPARE(boxText(dialog, "1006"), QStringLiteral("0.25"));
        QCOMPARE(dialog->gains().proportional[0], 0.25);
        // A click on the groove moves the slider and, on release, sets the gain from where it stands.
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(3, slider->height() / 2));
        QVERIFY(slider->value() < 1000);
        QCOMPARE(dialog->gains().proportional[0], slider->value() * 0.5 / 1000);
    }

    void aGainAboveItsScaleStaysUntilItsSliderIsReleased() {
        std::ofstream(kGainFileName) << "3.5 0.5 0.25\n";
        CGainDlg* dialog = open();
        QCOMPARE(control<QSlider>(dialog, "1003")->value(), 1000);
        QCOMPARE(boxText(dialog, "1006"), QStringLiteral("3.5"));
        dragSliderTo(dialog, "1005", 250);
        QCOMPARE(dialog->gains().proportional[0], 3.5);
        dragSliderTo(dialog, "1003", 1000);
        QCOMPARE(dialog->gains().proportional[0], 2.0);
        // The rows the short file lacks are the defaults.
        QCOMPARE(dialog->gains().proportional[1], 0.326);
    }

    void switchingModesShowsEachModesGains() {
        CGainDlg* dialog = open();
        auto* modes = control<QComboBox>(dialog, "1001");
        dragSliderTo(dialog, "1003", 500);
        modes->setCurrentIndex(2);
        QCOMPARE(dialog->mode(), 2);
        QCOMPARE(boxText(dialog, "1006"), QStringLiteral("0.714"));
        QCOMPARE(boxText(dialog, "1007"), QStringLiteral("0.203"));
        QCOMPARE(control<QSlider>(dialog, "1003")->value(), 357);
        QCOMPARE(control<QSlider>(dialog, "1005")->value(), 203);
        dragSliderTo(dialog, "1005", 100);
        modes->setCurrentIndex(0);
        QCOMPARE(boxText(dialog, "1006"), QStringLiteral("1"));
        QCOMPARE(control<QSlider>(dialog, "1003")->value(), 500);
        modes->setCurrentIndex(2);
        QCOMPARE(boxText(dialog, "1007"), QStringLiteral("0.1"));

        // No selection, or typed text, never becomes a mode.
        modes->setCurrentIndex(-1);
        QCOMPARE(dialog->mode(), 2);
        QCOMPARE(boxText(dialog, "1007"), QStringLiteral("0.1"));
        modes->lineEdit()->setText(QStringLiteral("Loiter"));
        // Enter in the combo box is the dialog's Enter: it uploads, which nothing heard can take.
        QString told;
        answerNextMessageBox(&told);
        QTest::keyClick(modes->lineEdit(), Qt::Key_Return);
        QCOMPARE(told, QString::fromLatin1(kNoAircraftHeardMessage));
        QCOMPARE(modes->count(), 5);
        QCOMPARE(dialog->mode(), 2);
    }

    void enterUploadsTheShownModeAndTheDialogStaysOpen() {
        LoopbackPeer aircraft;
        aircraft.sendTo(boundPort(socket_->socketHandle()), "telemetry");
        char line[200];
        QVERIFY(socket_->receiveFrom(line, sizeof line) > 0);

        CGainDlg* dialog = open();
        control<QComboBox>(dialog, "1001")->setCurrentIndex(4);
        dragSliderTo(dialog, "1003", 500);
        dragSliderTo(dialog, "1005", 500);
        QTest::keyClick(dialog, Qt::Key_Return);
        const auto received = aircraft.receive(1000);
        QVERIFY(received);
        QCOMPARE(received->size(), std::size_t{kUplinkSize});
        QCOMPARE(reinterpret_cast<const char*>(received->data()), "G 4 1.000000 0.500000 0.000000");
        QVERIFY(dialog->isVisible());
    }

    // While a recording is replayed neither upload reaches the aircraft: each tells why and sends
    // nothing; afterwards they go out again.
    void uploadsAreRefusedWhileARecordingIsReplayed() {
        LoopbackPeer aircraft;
        aircraft.sendTo(boundPort(socket_->socketHandle()), "telemetry");
        char line[200];
        QVERIFY(socket_->receiveFrom(line, sizeof line) > 0);
        Waypoints route;
        route.waypointCount = 1;
        route.waypointLat[0] = 39.9871;
        route.waypointLon[0] = -75.2123;

        socket_->holdReplies(true);
        CGainDlg* dialog = open();
        QString told;
        answerNextMessageBox(&told);
        QTest::keyClick(dialog, Qt::Key_Return);
        QTRY_COMPARE(told, QString("Replaying a recording: nothing is sent to the aircraft."));
        uploadWaypoints(route, *socket_, notifier_);
        QCOMPARE(notifier_.messages.size(), std::size_t{1});
        QCOMPARE(notifier_.messages.back(), std::string(kReplayNothingSentMessage));
        QCOMPARE(route.routeShown, 0);
        const char raw[kUplinkSize] = {};
        QCOMPARE(socket_->replyToSender(raw, kUplinkSize), -1);
        QVERIFY(!aircraft.receive(200));

        socket_->holdReplies(false);
        uploadWaypoints(route, *socket_, notifier_);
        const auto received = aircraft.receive(1000);
        QVERIFY(received);
        QCOMPARE(received->front(), std::uint8_t{'W'});
        QCOMPARE(route.routeShown, 1);
    }

    void saveWritesTheWholeTableOrTellsWhyNot() {
        CGainDlg* dialog = open();
        dragSliderTo(dialog, "1003", 500);
        control<QPushButton>(dialog, "1013")->click();
        const std::string saved = readFile(kGainFileName);
        QCOMPARE(saved.substr(0, 50), std::string(" 1.0000  0.0000  0.0110 \n 0.3260  0.0400  0.0230 \n"));
        QCOMPARE(saved.size(), std::size_t{125});

        std::filesystem::create_directory(kGainFileTempName);
        dragSliderTo(dialog, "1003", 250);
        QString told;
        answerNextMessageBox(&told);
        control<QPushButton>(dialog, "1013")->click();
        QVERIFY(told.contains(QStringLiteral("not saved")));
        QCOMPARE(readFile(kGainFileName), saved);
    }

    // A refused scale prompts, takes the focus, stops the exchange and is never used.
    void refusedScalesArePromptedAndNotUsed() {
        struct Case {
            const char* box;
            const char* text;
            const char* prompt;
        };
        const Case cases[] = {
            {"1011", "abc", "Please enter a number."},
            {"1010", "200", "Please enter a number between 0.01 and 100."},
            {"1010", "0", "Please enter a number between 0.01 and 100."},
        };
        for (const Case& c : cases) {
            CGainDlg* dialog = open();
            // Read after the refused box in the exchange order, so never read: the gain uses scale 2.
            setBox(dialog, "1010", "0.5");
            setBox(dialog, c.box, c.text);
            QString told;
            answerNextMessageBox(&told);
            dragSliderTo(dialog, "1003", 500);
            QCOMPARE(told, QString::fromLatin1(c.prompt));
            // The offscreen platform does not hand activation back after the box, so ask the window.
            QCOMPARE(dialog->focusWidget(), control<QLineEdit>(dialog, c.box));
            QCOMPARE(dialog->gains().proportional[0], 1.0);
            // Switching modes recomputes positions with the accepted scales, never the refused one.
            setBox(dialog, c.box, c.text);
            answerNextMessageBox(&told);
            control<QComboBox>(dialog, "1001")->setCurrentIndex(1);
            QCOMPARE(control<QSlider>(dialog, "1003")->value(), 163);
            QCOMPARE(control<QSlider>(dialog, "1005")->value(), 40);
            QCOMPARE(control<QSlider>(dialog, "1004")->value(), 46);
            delete dialog;
        }
    }

    void dialogsAreIndependentAndGoAwayWhenClosed() {
        QPointer<CGainDlg> first = open();
        QPointer<CGainDlg> second = open();
        dragSliderTo(first, "1003", 500);
        QCOMPARE(first->gains().proportional[0], 1.0);
        QCOMPARE(second->gains().proportional[0], 0.256);
        QCOMPARE(boxText(second, "1006"), QStringLiteral("0.256"));

        first->close();
        QTest::keyClick(second, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QVERIFY(second.isNull());
    }
};

QTEST_MAIN(CGainDlgTest)
#include "CGainDlgTest.moc"
