#include "map/CMapLoadDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <vector>

#include "common/DialogUnits.h"
#include "map/MapCatalog.h"
#include "map/MapGeometry.h"
#include "tests/support/TextFit.h"

namespace {

// The view as the dialog sees it: a map geometry and a record of what was asked of it.
class RecordingView : public MapDialogTarget {
public:
    RecordingView() { initMapGeometry(geometry, kShippedWidth, kShippedHeight); }
    MapGeometry& mapGeometry() override { return geometry; }
    bool loadMapForIndex(int index, const MapCorners& corners) override {
        loadedFiles.push_back(QString::fromLatin1(mapBitmapFile(index)));
        if (pictureMissing) return false;
        setMapCorners(geometry, corners);
        return true;
    }
    void requestRepaint() override { ++repaints; }
    std::vector<MapOpenRequest> openedMaps() override { return before; }
    void openMap(const MapOpenRequest& request) override { reopened.push_back(request); }
    std::vector<MapOpenRequest> before;
    std::vector<MapOpenRequest> reopened;

    static constexpr int kShippedWidth = 989;
    static constexpr int kShippedHeight = 826;
    MapGeometry geometry;
    QStringList loadedFiles;
    int repaints = 0;
    bool pictureMissing = false;
};

// Answers every message box as soon as it is up and keeps its caption and text.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                captions.append(box->windowTitle());
                texts.append(box->text());
                box->accept();
            }
        });
        timer_.start(5);
    }
    QStringList captions;
    QStringList texts;

private:
    QTimer timer_;
};

template <typename T>
T* control(QWidget* dialog, const char* id) {
    T* found = dialog->findChild<T*>(QString::fromLatin1(id));
    if (!found) qFatal("no control %s", id);
    return found;
}

QStringList boxTexts(QWidget* dialog) {
    QStringList texts;
    for (const char* id : {"1017", "1018", "1019", "1020"})
        texts.append(control<QLineEdit>(dialog, id)->text());
    return texts;
}

void typeInto(QWidget* dialog, const char* id, const char* text) {
    auto* box = control<QLineEdit>(dialog, id);
    box->selectAll();
    QTest::keyClicks(box, QString::fromLatin1(text));
}

// The operator's click on a list entry.
void selectEntry(QWidget* dialog, int row) {
    auto* list = control<QListWidget>(dialog, "1016");
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

void clickButton(QWidget* dialog, const char* id) {
    QTest::mouseClick(control<QPushButton>(dialog, id), Qt::LeftButton);
}

QStringList builtIn(int index) {
    const MapSite& site = kMapCatalog[static_cast<std::size_t>(index)];
    QStringList texts;
    for (const double value : {site.upperLeftLat, site.upperLeftLon, site.lowerRightLat, site.lowerRightLon})
        texts.append(QString::number(value, 'g', 15));
    return texts;
}

}  // namespace

class CMapLoadDlgTest : public QObject {
    Q_OBJECT

    RecordingView view_;

    CMapLoadDlg* open() {
        auto* dialog = new CMapLoadDlg(view_, nullptr);
        dialog->show();
        if (!QTest::qWaitForWindowExposed(dialog)) qWarning("dialog not exposed");
        return dialog;
    }

    static void closeAll() {
        QList<QPointer<CMapLoadDlg>> dialogs;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<CMapLoadDlg*>(window)) dialogs.append(dialog);
        qDeleteAll(dialogs);
    }

public:
    static void initMain() { standInTextFitFace(); }

private slots:
    void init() { view_ = RecordingView(); }
    void cleanup() { closeAll(); }

    void opensOnTheFirstMapAtTheTemplatePlaces() {
        MessageBoxAnswerer answerer;
        CMapLoadDlg* dialog = open();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Map Loading Dialog"));
        QVERIFY(!dialog->isModal());
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        auto* list = control<QListWidget>(dialog, "1016");
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->item(3)->text(), QStringLiteral("User Defined Map - xxxxx"));
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(list->currentItem()->text(), QStringLiteral("Fairmount Park 1"));
        QCOMPARE(boxTexts(dialog), (QStringList{"39.988195", "-75.214313", "39.985642", "-75.210061"}));
        QVERIFY(control<QPushButton>(dialog, "1")->isDefault());
        // The dialog is drawn with the face named for it, or the one fontconfig gives for it; the units
        // are that face's, wider where a text needs it.
        QCOMPARE(drawnFace(*dialog), expectedTextFitFace());
        const dialog_units::DialogUnits units = dialog_units::DialogUnits::of(*dialog);
        const dialog_units::DialogUnits faceUnits(dialog->font());
        QCOMPARE(units.baseY(), faceUnits.baseY());
        QVERIFY(units.baseX() >= faceUnits.baseX());
        // Template places in those units; halves round away from zero (206 x 7 / 4 = 360.5 gives 361).
        QCOMPARE(dialog_units::mulDiv(206, 7, 4), 361);
        QCOMPARE(dialog->size(), units.rect(0, 0, 299, 185).size());
        QCOMPARE(list->geometry(), units.rect(19, 25, 206, 64));
        QCOMPARE(control<QLineEdit>(dialog, "1020")->geometry(), units.rect(193, 157, 89, 13));
        // Every text shows whole with the font the dialog is drawn with.
        QCOMPARE(clippedTexts(*dialog), QStringList());
        QTest::qWait(20);
        QVERIFY(answerer.texts.isEmpty());
    }

    void selectingAnEntryShowsItsBuiltInCoordinates() {
        MessageBoxAnswerer answerer;
        CMapLoadDlg* dialog = open();

        selectEntry(dialog, 2);
        QCOMPARE(boxTexts(dialog), builtIn(2));
        typeInto(dialog, "1017", "12.5");
        typeInto(dialog, "1020", "-3");
        // Fetching the same entry again, or coming back to it, discards what was typed.
        selectEntry(dialog, 2);
        QCOMPARE(boxTexts(dialog), builtIn(2));
        typeInto(dialog, "1018", "7");
        selectEntry(dialog, 1);
        QCOMPARE(boxTexts(dialog), builtIn(1));
        selectEntry(dialog, 2);
        QCOMPARE(boxTexts(dialog), builtIn(2));
        // The keyboard selects as well.
        QTest::keyClick(control<QListWidget>(dialog, "1016"), Qt::Key_Up);
        QCOMPARE(boxTexts(dialog), builtIn(1));
        QVERIFY(answerer.texts.isEmpty());

        selectEntry(dialog, 3);
        QCOMPARE(boxTexts(dialog), (QStringList{"0", "0", "0", "0"}));
        QCOMPARE(answerer.texts, QStringList{CMapLoadDlg::kInvalidReferenceWarning});
        QCOMPARE(answerer.captions, QStringList{"Orvane"});
        QVERIFY(dialog->isVisible());
    }

    void theMapsOpenedBeforeAreListedBelowTheEntriesAndOpenAgain() {
        MessageBoxAnswerer answerer;
        view_.before = {{"/maps/photo.tif", ""}, {"/maps/scan.png", "EPSG:32618"}};
        QPointer<CMapLoadDlg> dialog = open();
        auto* list = control<QListWidget>(dialog, "1016");
        QCOMPARE(list->count(), 6);
        QCOMPARE(list->item(4)->text(), QString("/maps/photo.tif"));
        QCOMPARE(list->item(5)->text(), QString("/maps/scan.png"));
        selectEntry(dialog, 5);
        // Its coordinates are the file's own: nothing to type, nothing to warn of.
        QVERIFY(!control<QLineEdit>(dialog, "1017")->isEnabled());
        QVERIFY(answerer.texts.isEmpty());
        clickButton(dialog, "1");
        QCOMPARE(view_.reopened, (std::vector<MapOpenRequest>{{"/maps/scan.png", "EPSG:32618"}}));
        QVERIFY(view_.loadedFiles.isEmpty());
        // The four entries stay as they are.
        dialog = open();
        selectEntry(dialog, 0);
        QVERIFY(control<QLineEdit>(dialog, "1017")->isEnabled());
        QCOMPARE(boxTexts(dialog), builtIn(0));
        view_.before.clear();
        view_.reopened.clear();
        closeAll();
    }

    void okAppliesTheEntryToTheViewAndCloses() {
        MessageBoxAnswerer answerer;
        QPointer<CMapLoadDlg> dialog = open();
        selectEntry(dialog, 1);
        clickButton(dialog, "1");

        QCOMPARE(view_.loadedFiles, QStringList{"site2.bmp"});
        QVERIFY(view_.repaints >= 1);
        const MapGeometry& g = view_.geometry;
        QCOMPARE(g.upperLeftLat, 39.988472);
        QCOMPARE(g.upperLeftLon, -75.214814);
        QCOMPARE(g.lowerRightLat, 39.985713);
        QCOMPARE(g.lowerRightLon, -75.209491);
        QCOMPARE(g.lonPerUnit, (-75.209491 - -75.214814) / (g.mapRight - g.mapLeft));
        QCOMPARE(g.latPerUnit, (39.985713 - 39.988472) / (g.mapBottom - g.mapTop));
        QVERIFY(answerer.texts.isEmpty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog.isNull());
    }

    // The user entry with typed corners and no picture: nothing is applied, and the dialog stays
    // open with what was typed (the view has told the operator why).
    void okWhoseMapCannotBeLoadedAppliesNothingAndStaysOpen() {
        MessageBoxAnswerer answerer;
        view_.pictureMissing = true;
        QPointer<CMapLoadDlg> dialog = open();
        selectEntry(dialog, 3);
        answerer.texts.clear();
        const MapGeometry before = view_.geometry;
        typeInto(dialog, "1017", "40.5");
        typeInto(dialog, "1018", "-75.5");
        typeInto(dialog, "1019", "40.4");
        typeInto(dialog, "1020", "-75.4");
        clickButton(dialog, "1");
        QCOMPARE(view_.loadedFiles, QStringList{"user.bmp"});
        QCOMPARE(view_.repaints, 0);
        QCOMPARE(view_.geometry.upperLeftLat, before.upperLeftLat);
        QCOMPARE(view_.geometry.lowerRightLon, before.lowerRightLon);
        QCOMPARE(view_.geometry.lonPerUnit, before.lonPerUnit);
        QCOMPARE(view_.geometry.latPerUnit, before.latPerUnit);
        QVERIFY(answerer.texts.isEmpty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!dialog.isNull() && dialog->isVisible());
        QCOMPARE(boxTexts(dialog), (QStringList{"40.5", "-75.5", "40.4", "-75.4"}));

        // Once the picture is there, the same OK applies it.
        view_.pictureMissing = false;
        clickButton(dialog, "1");
        QCOMPARE(view_.geometry.upperLeftLat, 40.5);
        QVERIFY(view_.repaints >= 1);
    }

    void okWithCornersOfEqualLatitudeOrLongitudeAppliesNothing() {
        struct Case {
            const char* upperLeftLat;
            const char* upperLeftLon;
            const char* lowerRightLat;
            const char* lowerRightLon;
        };
        const Case cases[] = {
            {"0", "0", "0", "0"},
            {"40", "-75.5", "40", "-75"},
            {"40", "-75", "39", "-75"},
        };
        MessageBoxAnswerer answerer;
        CMapLoadDlg* dialog = open();
        selectEntry(dialog, 3);
        const MapGeometry before = view_.geometry;
        for (const Case& c : cases) {
            answerer.texts.clear();
            typeInto(dialog, "1017", c.upperLeftLat);
            typeInto(dialog, "1018", c.upperLeftLon);
            typeInto(dialog, "1019", c.lowerRightLat);
            typeInto(dialog, "1020", c.lowerRightLon);
            clickButton(dialog, "1");
            QCOMPARE(answerer.texts, QStringList{CMapLoadDlg::kDegenerateCornersMessage});
            QVERIFY(dialog->isVisible());
        }
        QVERIFY(view_.loadedFiles.isEmpty());
        QCOMPARE(view_.repaints, 0);
        QCOMPARE(view_.geometry.upperLeftLat, before.upperLeftLat);
        QCOMPARE(view_.geometry.lonPerUnit, before.lonPerUnit);
        QCOMPARE(view_.geometry.latPerUnit, before.latPerUnit);
    }

    void okWithTextThatIsNoNumberPromptsAndStaysOpen() {
        MessageBoxAnswerer answerer;
        CMapLoadDlg* dialog = open();
        selectEntry(dialog, 1);
        typeInto(dialog, "1017", "40.1");
        typeInto(dialog, "1019", "north");
        typeInto(dialog, "1020", "-70");
        clickButton(dialog, "1");
        // Once for reading the boxes, once for the closing read.
        QCOMPARE(answerer.texts, (QStringList{"Please enter a number.", "Please enter a number."}));
        QCOMPARE(answerer.captions.value(0), QStringLiteral("Orvane"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), control<QLineEdit>(dialog, "1019"));
        // What was read before the refusal is applied; the refused box and the one after it keep
        // the entry's values.
        QCOMPARE(view_.geometry.upperLeftLat, 40.1);
        QCOMPARE(view_.geometry.lowerRightLat, 39.985713);
        QCOMPARE(view_.geometry.lowerRightLon, -75.209491);

        answerer.texts.clear();
        typeInto(dialog, "1019", "nan");
        clickButton(dialog, "1");
        QCOMPARE(answerer.texts.size(), 2);
        QVERIFY(std::isfinite(view_.geometry.latPerUnit));
    }

    void cancelChangesNothing() {
        MessageBoxAnswerer answerer;
        QPointer<CMapLoadDlg> dialog = open();
        const MapGeometry before = view_.geometry;
        selectEntry(dialog, 2);
        typeInto(dialog, "1017", "41");
        clickButton(dialog, "2");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog.isNull());
        QVERIFY(view_.loadedFiles.isEmpty());
        QCOMPARE(view_.repaints, 0);
        QCOMPARE(view_.geometry.upperLeftLat, before.upperLeftLat);
        QCOMPARE(view_.geometry.lonPerUnit, before.lonPerUnit);
    }

    void twoDialogsAreIndependent() {
        MessageBoxAnswerer answerer;
        CMapLoadDlg* first = open();
        selectEntry(first, 2);
        typeInto(first, "1017", "41");
        CMapLoadDlg* second = open();
        QCOMPARE(control<QListWidget>(second, "1016")->currentRow(), 0);
        QCOMPARE(boxTexts(second), builtIn(0));
        clickButton(second, "1");
        QCOMPARE(view_.loadedFiles, QStringList{"site3.bmp"});
        QCOMPARE(control<QListWidget>(first, "1016")->currentRow(), 2);
        QCOMPARE(control<QLineEdit>(first, "1017")->text(), QStringLiteral("41"));
    }
};

QTEST_MAIN(CMapLoadDlgTest)
#include "CMapLoadDlgTest.moc"
