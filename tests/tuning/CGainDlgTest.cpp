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
#include <QWheelEvent>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "common/DialogNumbers.h"
#include "common/DialogUnits.h"
#include "map/Waypoints.h"
#include "net/NetSocket.h"
#include "net/UplinkFrame.h"
#include "net/UploadGate.h"
#include "tests/support/ScriptedAsker.h"
#include "tests/support/TextFit.h"
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

// Types a scale into its box and leaves the box with Tab, as the operator does.
void typeScale(QWidget* dialog, const char* id, const char* text) {
    auto* box = control<QLineEdit>(dialog, id);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::fromLatin1(text));
    QTest::keyClick(box, Qt::Key_Tab);
}

void wheel(QWidget* widget, int angle) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

const std::array<double, kFlightModeCount>& column(CGainDlg* dialog, const char* slider) {
    const std::string id = slider;
    if (id == "1003") return dialog->gains().proportional;
    if (id == "1005") return dialog->gains().integral;
    return dialog->gains().derivative;
}

// Answers the next message box once it is up (with `button` where the box has it, else accepts it)
// and returns its text through `text`. The returned watcher may be deleted to stop waiting.
QTimer* answerNextMessageBox(QString* text, QMessageBox::StandardButton button = QMessageBox::Ok) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, text, button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            if (QAbstractButton* answer = box->button(button)) {
                answer->click();
            } else {
                box->accept();
            }
            timer->deleteLater();
        }
    });
    timer->start(10);
    return timer;
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
    TelemetrySenders senders_;
    ScriptedAsker asker_;
    std::unique_ptr<UploadGate> gate_;

    CGainDlg* open() {
        auto* dialog = new CGainDlg(*gate_, nullptr);
        dialog->show();
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog)) qWarning("dialog not active");
        return dialog;
    }

public:
    static void initMain() { standInTextFitFace(); }

private slots:
    void init() {
        directory_ = std::make_unique<ScratchDirectory>();
        socket_ = std::make_unique<NetSocket>(notifier_);
        QVERIFY(socket_->startup() && socket_->create("UDP") && socket_->bindPort(0));
        senders_.pin(std::nullopt);
        gate_ = std::make_unique<UploadGate>(*socket_, senders_, asker_, notifier_, [] { return 0; });
    }

    void cleanup() {
        QList<QPointer<CGainDlg>> dialogs;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<CGainDlg*>(window)) dialogs.append(dialog);
        qDeleteAll(dialogs);
        gate_.reset();
        socket_->close();
        socket_.reset();
        directory_.reset();
    }

    void opensWithTheDefaultsAtTheTemplatePlaces() {
        CGainDlg* dialog = open();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Control Gain"));
        QVERIFY(dialog->windowFlags().testFlag(Qt::Tool));
        // The dialog is drawn with the face named for it, or the one fontconfig gives for it; the units
        // are that face's, wider where a text needs it.
        QCOMPARE(drawnFace(*dialog), expectedTextFitFace());
        const dialog_units::DialogUnits units = dialog_units::DialogUnits::of(*dialog);
        const dialog_units::DialogUnits faceUnits(dialog->font());
        QCOMPARE(units.baseY(), faceUnits.baseY());
        QVERIFY(units.baseX() >= faceUnits.baseX());
        QCOMPARE(dialog->size(), units.rect(0, 0, 279, 222).size());
        QCOMPARE(control<QComboBox>(dialog, "1001")->currentText(), QStringLiteral("Pitch Stabilization "));
        QCOMPARE(control<QComboBox>(dialog, "1001")->count(), 5);
        const char* const boxes[] = {"1006", "1007", "1008", "1010", "1011", "1012"};
        const char* const shown[] = {"0.256", "0", "0.011", "2", "1", "0.5"};
        for (int k = 0; k < 6; ++k) QCOMPARE(boxText(dialog, boxes[k]), QString::fromLatin1(shown[k]));
        QCOMPARE(control<QSlider>(dialog, "1003")->value(), 128);
        QCOMPARE(control<QSlider>(dialog, "1005")->value(), 0);
        QCOMPARE(control<QSlider>(dialog, "1004")->value(), 22);
        for (const char* id : {"1006", "1007", "1008"}) QVERIFY(control<QLineEdit>(dialog, id)->isReadOnly());
        // Template places in dialog units of the font the dialog is drawn with.
        QCOMPARE(control<QLineEdit>(dialog, "1006")->geometry(), units.rect(82, 70, 44, 12));
        QCOMPARE(control<QSlider>(dialog, "1003")->geometry(), units.rect(18, 85, 149, 22));
        QCOMPARE(control<QPushButton>(dialog, "1")->geometry(), units.rect(222, 7, 50, 14));
        QCOMPARE(control<QLineEdit>(dialog, "1011")->geometry(), units.rect(150, 153, 18, 12));
        // Every label, button text, group title and mode shows whole and uncovered.
        QCOMPARE(clippedTexts(*dialog), QStringList());
        QCOMPARE(control<QLabel>(dialog, "picture")->pixmap().size(), QSize(305, 117));
    }

    void mouseReleasesSetTheGainByTheValueRule() {
        struct Case {
            const char* slider;
            const char* scaleBox;
            const char* scale;
            int position;
            const char* valueBox;
            const char* shown;
        };
        const Case cases[] = {
            {"1003", "1010", "2", 500, "1006", "1"},      {"1003", "1010", "0.5", 1000, "1006", "0.5"},
            {"1005", "1011", "1", 1000, "1007", "1"},     {"1004", "1012", "0.5", 0, "1008", "0"},
            {"1004", "1012", "0.5", 1000, "1008", "0.5"}, {"1005", "1011", "100", 1, "1007", "0.1"},
        };
        CGainDlg* dialog = open();
        for (const Case& c : cases) {
            typeScale(dialog, c.scaleBox, c.scale);
            dragSliderTo(dialog, c.slider, c.position);
            QCOMPARE(boxText(dialog, c.valueBox), QString::fromLatin1(c.shown));
        }
        QCOMPARE(dialog->gains().proportional[0], 0.5);
        QCOMPARE(dialog->gains().integral[0], 0.1);
    }

    // Whatever moves a slider sets its gain as a release does, so what is shown is what is sent.
    void everySliderMovementSetsTheGain() {
        struct Case {
            const char* name;
            std::function<void(QSlider*)> move;
            int position;
        };
        const Case cases[] = {
            {"End key", [](QSlider* s) { QTest::keyClick(s, Qt::Key_End); }, 1000},
            {"Left key", [](QSlider* s) { QTest::keyClick(s, Qt::Key_Left); }, 999},
            {"Page Down key", [](QSlider* s) { QTest::keyClick(s, Qt::Key_PageDown); }, 989},
            {"Home key", [](QSlider* s) { QTest::keyClick(s, Qt::Key_Home); }, 0},
            {"Right key", [](QSlider* s) { QTest::keyClick(s, Qt::Key_Right); }, 1},
            {"Page Up key", [](QSlider* s) { QTest::keyClick(s, Qt::Key_PageUp); }, 11},
            {"wheel", [](QSlider* s) { wheel(s, 120); }, 14},
            {"groove click",
             [](QSlider* s) {
                 QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() - 3, s->height() / 2));
             },
             24},
        };
        CGainDlg* dialog = open();
        control<QComboBox>(dialog, "1001")->setCurrentIndex(1);
        auto* slider = control<QSlider>(dialog, "1004");
        slider->setFocus();
        for (const Case& c : cases) {
            c.move(slider);
            QVERIFY2(slider->value() == c.position, c.name);
            const double gain = c.position * 0.5 / 1000;
            QVERIFY2(dialog->gains().derivative[1] == gain, c.name);
            QCOMPARE(boxText(dialog, "1008"), QString::fromStdString(formatDialogNumber(gain)));
        }
    }

    // A new scale keeps every gain: the slider moves to show it, and only the next movement changes
    // it, by the steps of the new scale.
    void aNewScaleKeepsTheGainAndMovesItsSlider() {
        struct Case {
            const char* slider;
            const char* scaleBox;
            const char* scale;
            bool leaveTheBox;  // taken on leaving the box, or only at the next movement
            double gain;       // mode 1's gain of that slider
            int placed;
        };
        const Case cases[] = {
            {"1003", "1010", "20", true, 0.326, 16},
            {"1004", "1012", "0.05", true, 0.023, 459},   // 459.99... truncated
            {"1005", "1011", "0.01", false, 0.04, 1000},  // above the new scale: at the right end
            {"1003", "1010", "0.5", false, 0.326, 652},
        };
        for (const Case& c : cases) {
            CGainDlg* dialog = open();
            control<QComboBox>(dialog, "1001")->setCurrentIndex(1);
            auto* slider = control<QSlider>(dialog, c.slider);
            const double scale = std::stod(c.scale);
            if (c.leaveTheBox) {
                typeScale(dialog, c.scaleBox, c.scale);
            } else {
                setBox(dialog, c.scaleBox, c.scale);
                QTest::keyClick(slider, Qt::Key_Right);
            }
            QCOMPARE(slider->value(), c.placed);
            QCOMPARE(column(dialog, c.slider)[1], c.gain);
            // One click on the groove moves by one page of the new scale.
            QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(3, slider->height() / 2));
            QCOMPARE(slider->value(), c.placed - 10);
            QCOMPARE(column(dialog, c.slider)[1], (c.placed - 10) * scale / 1000);
            delete dialog;
        }
    }

    void aGainAboveItsScaleStaysUntilItsSliderIsReleased() {
        std::ofstream(kGainFileName) << "3.5 0.5 0.25\n";
        QString told;
        answerNextMessageBox(&told);
        CGainDlg* dialog = open();
        QTRY_VERIFY(told.contains(QLatin1String("row 2")));
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
        notifier_.messages.clear();
        QTest::keyClick(modes->lineEdit(), Qt::Key_Return);
        QCOMPARE(notifier_.messages, std::vector<std::string>{kNoAircraftHeardMessage});
        QCOMPARE(modes->count(), 5);
        QCOMPARE(dialog->mode(), 2);
    }

    void enterUploadsTheShownModeAndTheDialogStaysOpen() {
        LoopbackPeer aircraft;
        aircraft.sendTo(boundPort(socket_->socketHandle()), "telemetry");
        char line[200];
        QVERIFY(socket_->receiveFrom(line, sizeof line) > 0);
        QVERIFY(senders_.admit(socket_->lastSender(), 0));

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
        QVERIFY(senders_.admit(socket_->lastSender(), 0));
        Waypoints route;
        route.waypointCount = 1;
        route.waypointLat[0] = 39.9871;
        route.waypointLon[0] = -75.2123;

        socket_->holdReplies(true);
        CGainDlg* dialog = open();
        notifier_.messages.clear();
        QTest::keyClick(dialog, Qt::Key_Return);
        uploadWaypoints(route, *gate_, notifier_);
        QCOMPARE(notifier_.messages, std::vector<std::string>(2, std::string(kReplayNothingSentMessage)));
        QCOMPARE(route.routeShown, 0);
        // Nothing on the socket gets past the hold either.
        const char raw[kUplinkSize] = {};
        QCOMPARE(socket_->replyToSender(raw, kUplinkSize), -1);
        QCOMPARE(socket_->sendToAddress(raw, kUplinkSize, socket_->lastSender()), -1);
        QVERIFY(!aircraft.receive(200));

        socket_->holdReplies(false);
        uploadWaypoints(route, *gate_, notifier_);
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

    // A file with an unreadable row is told when the dialog opens, and Save asks before replacing
    // it; a file that cannot be opened at all is told the same way.
    void aFileNotReadWholeIsToldAndSaveAsks() {
        const std::string decimalCommas =
            " 0.2560  0.0000  0.0110 \n 0,3260  0,0400  0,0230 \n"
            " 0.7140  0.2030  0.0000 \n 0.0800  0.0970  0.0240 \n"
            " 0.2300  0.0000  0.0000 \n";
        std::ofstream(kGainFileName) << decimalCommas;
        QString told;
        answerNextMessageBox(&told);
        CGainDlg* dialog = open();
        QTRY_VERIFY(!told.isEmpty());
        QCOMPARE(told,
                 QStringLiteral("gainsetting.txt could not be read whole: row 2 is not three numbers, so "
                                "rows 2 to 5 show the default gains. Save asks before it replaces the "
                                "file."));
        QCOMPARE(dialog->gains().proportional[1], 0.326);

        told.clear();
        answerNextMessageBox(&told, QMessageBox::No);
        control<QPushButton>(dialog, "1013")->click();
        QVERIFY(told.endsWith(QLatin1String("Replace the file with the gains shown here?")));
        QCOMPARE(readFile(kGainFileName), decimalCommas);

        answerNextMessageBox(&told, QMessageBox::Yes);
        control<QPushButton>(dialog, "1013")->click();
        QCOMPARE(readFile(kGainFileName).size(), std::size_t{125});
        // Now whole: the next Save asks nothing.
        told.clear();
        QTimer* watcher = answerNextMessageBox(&told);
        control<QPushButton>(dialog, "1013")->click();
        QVERIFY(told.isEmpty());
        delete watcher;
        delete dialog;

        // A directory of that name cannot be opened as the file: every row is a default.
        std::filesystem::remove(kGainFileName);
        std::filesystem::create_directory(kGainFileName);
        answerNextMessageBox(&told);
        dialog = open();
        QTRY_VERIFY(told.contains(QLatin1String("could not be opened for reading and writing")));
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
