#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>

#include <functional>
#include <optional>
#include <string>

#include "app/CAircraftAddressDlg.h"
#include "app/CMainFrame.h"
#include "app/COrvaneApp.h"
#include "app/MessageBoxAsker.h"
#include "app/RecentFileList.h"
#include "app/SenderStatusFields.h"
#include "tests/support/LoopbackUdp.h"

namespace {

COrvaneApp& app() {
    static COrvaneApp instance;
    return instance;
}

sockaddr_in senderAt(const char* address, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = ipv4(address);
    result.sin_port = htons(static_cast<std::uint16_t>(port));
    return result;
}

// No lookup leaves the machine: one known name.
std::optional<in_addr_t> testResolver(const std::string& name) {
    if (name == "aircraft.test") return ipv4("10.1.2.3");
    return std::nullopt;
}

// Runs `action`, which opens a modal window; `answer` handles that window once it is up.
template <typename Window>
void whenModal(const std::function<void(Window*)>& answer, const std::function<void()>& action) {
    QTimer poll;
    bool answered = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* window = qobject_cast<Window*>(QApplication::activeModalWidget()); window && !answered) {
            answered = true;
            answer(window);
        }
    });
    poll.start(10);
    action();
    QVERIFY(answered);
}

QString profileAddress() {
    return QSettings(kRegistryKey, kProfileName).value("Flight/Aircraft Address").toString();
}

QString pinnedText() {
    const std::optional<AircraftAddress> pinned = app().telemetry.senders.pinned();
    return pinned ? QString::fromStdString(pinned->text()) : QStringLiteral("(any)");
}

}  // namespace

class AircraftAddressTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(settingsDir_.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
    }

    // The question box: the text as given, Send and Cancel with Cancel the default; only Send is true.
    void askerSendsOnlyOnSend() {
        struct Case {
            const char* how;
            bool expected;
        };
        const Case cases[] = {{"send", true}, {"cancel", false}, {"escape", false}, {"enter", false}};
        for (const Case& c : cases) {
            MessageBoxAsker asker;
            QString text;
            QStringList buttons;
            bool answer = !c.expected;
            whenModal<QMessageBox>(
                [&](QMessageBox* box) {
                    text = box->text();
                    for (QAbstractButton* button : box->buttons()) buttons << button->text();
                    QCOMPARE(box->defaultButton()->text(), QString::fromLatin1(kCancelButtonText));
                    if (QString(c.how) == "send") box->buttons()[0]->click();
                    if (QString(c.how) == "cancel") box->buttons()[1]->click();
                    if (QString(c.how) == "escape") QTest::keyClick(box, Qt::Key_Escape);
                    if (QString(c.how) == "enter") QTest::keyClick(box, Qt::Key_Return);
                },
                [&] { answer = asker.askToSend("Send to the aircraft at 10.0.0.7:14550?"); });
            QCOMPARE(text, QStringLiteral("Send to the aircraft at 10.0.0.7:14550?"));
            QCOMPARE(buttons, (QStringList{"&Send", "Cancel"}));
            QVERIFY2(answer == c.expected, c.how);
        }
    }

    // A refused text keeps the dialog open with the reason and changes nothing; an accepted one pins
    // the aircraft and keeps it in the profile; an empty one takes telemetry from anyone again.
    void dialogRefusesBadAddressesAndChangesNothing() {
        QSettings(kRegistryKey, kProfileName).clear();
        app().telemetry.senders.pin(std::nullopt);
        struct Case {
            const char* typed;
            const char* reason;  // empty when accepted
            const char* pinned;
        };
        const Case cases[] = {
            {"127.0.0.1:40000", "", "127.0.0.1:40000"},
            {"10.0.0.300", "\"10.0.0.300\" is not an IPv4 address", "127.0.0.1:40000"},
            {"10.0.0.7:99999", "The port \"99999\" is not a number from 1 to 65535.", "127.0.0.1:40000"},
            {"unknown.test", "The name \"unknown.test\" does not resolve", "127.0.0.1:40000"},
            {"aircraft.test", "", "10.1.2.3"},
            {"", "", "(any)"},
        };
        for (const Case& c : cases) {
            const QString before = profileAddress();
            CAircraftAddressDlg dialog(
                app().aircraftAddressText(),
                [](const QString& text) { return app().setAircraftAddress(text, testResolver); }, nullptr);
            dialog.show();
            dialog.addressBox()->setText(QString::fromLatin1(c.typed));
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            const bool accepted = QString(c.reason).isEmpty();
            QVERIFY2(dialog.isVisible() == !accepted, c.typed);
            QVERIFY2(dialog.errorLabel()->isVisible() == !accepted, c.typed);
            QVERIFY2(accepted || dialog.errorLabel()->text().startsWith(QString::fromLatin1(c.reason)),
                     qPrintable(dialog.errorLabel()->text()));
            QCOMPARE(pinnedText(), QString::fromLatin1(c.pinned));
            QCOMPARE(profileAddress(), accepted ? QString::fromLatin1(c.typed) : before);
        }
    }

    // The frame's F&light menu opens the dialog, filled with the address in force.
    void flightMenuOpensTheDialog() {
        QVERIFY(app().setAircraftAddress("127.0.0.1").isEmpty());
        CMainFrame* frame = app().createDocumentAndFrame(new QWidget);
        QAction* item = nullptr;
        for (QAction* top : frame->menuBar()->actions())
            if (top->text() == "F&light")
                for (QAction* entry : top->menu()->actions())
                    if (entry->text() == "&Aircraft Address...") item = entry;
        QVERIFY(item != nullptr);
        QString shown;
        whenModal<CAircraftAddressDlg>(
            [&](CAircraftAddressDlg* dialog) {
                shown = dialog->addressBox()->text();
                dialog->addressBox()->setText("127.0.0.1:40001");
                QTest::keyClick(dialog->addressBox(), Qt::Key_Return);
            },
            [&] { item->trigger(); });
        QCOMPARE(shown, QStringLiteral("127.0.0.1"));
        QCOMPARE(pinnedText(), QStringLiteral("127.0.0.1:40001"));
        app().exitInstance(0);
    }

    // The status bar's fields follow the senders the receiver keeps.
    void statusBarShowsTheAircraftAndTheRefusedSenders() {
        QVERIFY(app().setAircraftAddress("").isEmpty());
        CMainFrame* frame = app().createDocumentAndFrame(new QWidget);
        frame->show();
        SenderStatusFields* fields = frame->senderFields();
        QVERIFY(fields != nullptr);
        TelemetrySenders& senders = app().telemetry.senders;
        const auto shows = [&](const char* sender, const char* refused) {
            fields->refresh();
            QCOMPARE(fields->senderField()->text(), QString::fromLatin1(sender));
            QCOMPARE(fields->refusedField()->text(), QString::fromLatin1(refused));
            QCOMPARE(fields->refusedField()->isVisible(), *refused != '\0');
        };
        shows("Aircraft: not heard yet", "");
        senders.admit(senderAt("127.0.0.1", 40123), 0);
        shows("Aircraft 127.0.0.1:40123", "");
        QVERIFY(app().setAircraftAddress("127.0.0.1").isEmpty());
        senders.admit(senderAt("127.0.0.2", 5000), 10);
        senders.admit(senderAt("127.0.0.2", 5001), 20);
        shows("Aircraft 127.0.0.1:40123 (pinned)",
              "Refused 2 datagrams from other senders, last 127.0.0.2:5001");
        QVERIFY(app().setAircraftAddress("127.0.0.9").isEmpty());
        shows("Aircraft 127.0.0.9 (pinned): not heard yet",
              "Refused 2 datagrams from other senders, last 127.0.0.2:5001");
        // The timer refreshes on its own.
        QVERIFY(app().setAircraftAddress("").isEmpty());
        QTRY_COMPARE(fields->senderField()->text(), QStringLiteral("Aircraft 127.0.0.1:40123"));
        app().exitInstance(0);
    }

    void commandLineTakesTheTelemetryOptions() {
        struct Case {
            QStringList arguments;
            QString expected;  // "aircraft|listen|port", or "error"
        };
        const Case cases[] = {
            {{"orvane"}, "||9001"},
            {{"orvane", "--aircraft", "10.0.0.7:14550"}, "10.0.0.7:14550||9001"},
            {{"orvane", "--aircraft", "aircraft.test", "--port", "9002"}, "10.1.2.3||9002"},
            {{"orvane", "--listen", "127.0.0.2", "doc"}, "|127.0.0.2|9001"},
            {{"orvane", "--aircraft"}, "error"},
            {{"orvane", "--aircraft", "unknown.test"}, "error"},
            {{"orvane", "--aircraft", "10.0.0.7:0"}, "error"},
            {{"orvane", "--listen", "192.0.2.1"}, "error"},
            {{"orvane", "--port", "65536"}, "error"},
            {{"orvane", "--port", "-1"}, "error"},
        };
        for (const Case& c : cases) {
            const CommandLine parsed = parseCommandLine(c.arguments, testResolver);
            QString result = "error";
            if (parsed.error.isEmpty()) {
                in_addr listen{parsed.listenAddress};
                result =
                    (parsed.aircraft ? QString::fromStdString(parsed.aircraft->text()) : QString()) + "|" +
                    (parsed.listenAddress == htonl(INADDR_ANY) ? QString() : QString(inet_ntoa(listen))) +
                    "|" + QString::number(parsed.telemetryPort);
            }
            QVERIFY2(result == c.expected, qPrintable(c.arguments.join(' ') + " -> " + result));
        }
    }

private:
    QTemporaryDir settingsDir_;
};

QTEST_MAIN(AircraftAddressTest)
#include "AircraftAddressTest.moc"
