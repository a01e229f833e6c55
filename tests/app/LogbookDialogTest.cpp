#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "app/CLogbookDlg.h"
#include "tests/record/RecordTestSupport.h"

namespace {

constexpr std::int64_t kStart = 1796761967LL * 1000000;  // 2026-12-08 20:32:47 UTC
constexpr std::int64_t kDay = 86400LL * 1000000;

// `seconds` of lines at ten a second from `aircraft` (host byte order).
void writeFlight(const std::filesystem::path& path, std::uint32_t aircraft, std::int64_t start, int seconds) {
    std::vector<FrameToWrite> frames;
    for (int i = 0; i <= seconds * 10; ++i) {
        frames.push_back(
            {start + i * 100000, udpPacket(aircraft, 4000, 0x0A000001, 9001,
                                           bytesOf("0 0 0 0 0 0 0 0 0 0 0 0 100 20 40.1 -75.2 120 1 1 1"))});
    }
    writeCapture(path, DLT_RAW, frames);
}

QString cell(QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column)).toString();
}

QStringList column(QAbstractItemModel* model, int column) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) texts << cell(model, row, column);
    return texts;
}

}  // namespace

class LogbookDialogTest : public QObject {
    Q_OBJECT
private slots:
    void fillsSortsFiltersFollowsAndReplays() {
        ScratchFolder scratch;
        const std::filesystem::path folder = scratch.path();
        writeFlight(folder / "a1.pcap", 0x0A000002, kStart, 30);
        writeFlight(folder / "a2.pcap", 0x0A000002, kStart + kDay, 10);
        writeFlight(folder / "b1.pcap", 0x0A000003, kStart + 2 * kDay, 20);
        std::ofstream(folder / "junk.pcap") << "no capture";
        const QString recording = QString::fromStdString((folder / "b1.pcap").string());

        QString replayed;
        CLogbookDlg dialog(
            QString::fromStdString(folder.string()), 9001, [&](const QString& path) { replayed = path; },
            [&] { return recording; }, nullptr);
        dialog.show();
        QAbstractItemModel* rows = dialog.table()->model();
        QTRY_COMPARE(rows->rowCount(), 4);
        QTRY_VERIFY(dialog.statusLabel()->text().startsWith(QStringLiteral("4 recordings")));

        // Oldest first, the file that is no capture below the flights whichever way it sorts.
        QCOMPARE(column(rows, CLogbookDlg::file),
                 QStringList({"a1.pcap", "a2.pcap", "b1.pcap", "junk.pcap"}));
        dialog.table()->sortByColumn(CLogbookDlg::duration, Qt::DescendingOrder);
        QCOMPARE(column(rows, CLogbookDlg::file),
                 QStringList({"a1.pcap", "b1.pcap", "a2.pcap", "junk.pcap"}));
        QCOMPARE(column(rows, CLogbookDlg::duration), QStringList({"0:00:30", "0:00:20", "0:00:10", "-"}));
        QCOMPARE(cell(rows, 1, CLogbookDlg::problem), QStringLiteral("being recorded"));
        QVERIFY(cell(rows, 3, CLogbookDlg::problem).contains(QStringLiteral("not a pcap capture file")));

        // Totals of the rows shown: per aircraft, then all.
        QTableWidget* totals = dialog.totals();
        QCOMPARE(totals->rowCount(), 3);
        QCOMPARE(totals->item(0, 0)->text(), QStringLiteral("10.0.0.2"));
        QCOMPARE(totals->item(0, 1)->text(), QStringLiteral("2"));
        QCOMPARE(totals->item(0, 2)->text(), QStringLiteral("0:00:40"));
        QCOMPARE(totals->item(2, 0)->text(), QStringLiteral("All"));
        QCOMPARE(totals->item(2, 2)->text(), QStringLiteral("0:01:00"));

        const struct {
            const char* filter;
            QStringList files;
            const char* allHours;
        } filters[] = {
            {"10.0.0.3", {"b1.pcap"}, "0:00:20"},
            {"10.0.0.2 2026-12-09", {"a2.pcap"}, "0:00:10"},
            {"2026-12", {"a1.pcap", "b1.pcap", "a2.pcap"}, "0:01:00"},
            {"10.0.0.9", {}, "0:00:00"},
        };
        for (const auto& test : filters) {
            dialog.filterBox()->setText(QString::fromLatin1(test.filter));
            QCOMPARE(column(rows, CLogbookDlg::file), test.files);
            QCOMPARE(totals->item(totals->rowCount() - 1, 2)->text(), QString::fromLatin1(test.allHours));
        }
        dialog.filterBox()->clear();
        QCOMPARE(rows->rowCount(), 4);

        // A double-click replays the flight of that row.
        const QRect second = dialog.table()->visualRect(rows->index(1, CLogbookDlg::file));
        QTest::mouseClick(dialog.table()->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(dialog.table()->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(replayed, recording);

        // The recording grows, another file goes: the table follows.
        writeFlight(folder / "b1.pcap", 0x0A000003, kStart + 2 * kDay, 50);
        std::filesystem::remove(folder / "a2.pcap");
        QTRY_COMPARE_WITH_TIMEOUT(rows->rowCount(), 3, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(cell(rows, 0, CLogbookDlg::file), QStringLiteral("b1.pcap"), 10000);
        QCOMPARE(cell(rows, 0, CLogbookDlg::lines), QStringLiteral("501"));
    }

    void tellsWhenThereIsNoFolderYet() {
        ScratchFolder scratch;
        CLogbookDlg dialog(QString::fromStdString((scratch.path() / "flights").string()), 9001, {}, {},
                           nullptr);
        QTRY_COMPARE(dialog.statusLabel()->text(), QStringLiteral("No recordings yet."));
        QCOMPARE(dialog.table()->model()->rowCount(), 0);
        QCOMPARE(dialog.totals()->item(0, 1)->text(), QStringLiteral("0"));
    }
};

QTEST_MAIN(LogbookDialogTest)
#include "LogbookDialogTest.moc"
