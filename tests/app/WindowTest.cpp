// The main window and the doctor box, driven with real key and mouse events offscreen.
#include "GuiTests.h"
#include "WindowFixture.h"
#include "app/DataGrid.h"
#include "app/DoctorLookupBox.h"
#include "app/Program.h"
#include "app/TfrmOsigurenici.h"
#include "support/FixtureRegister.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QToolTip>
#include <memory>

using namespace testsupport;

namespace {

PersonRow person(const std::string& mb, const std::string& doctor) {
    PersonRow p;
    p.mb = mb;
    p.surname = "Petrov";
    p.fathersName = "Ilija";
    p.firstName = "Ana";
    p.doctorCode = doctor;
    p.registrationNumber = "1";
    p.registrationDate = "2001-02-03";
    return p;
}

} // namespace

class WindowTest : public QObject, private WindowFixture {
    Q_OBJECT

    qint64 clockMs_ = 0;

    app::DoctorLookupBox* box() { return window_->cbLekar; }

    void openWindow() {
        QVERIFY(WindowFixture::openWindow());
        box()->setSearchClock([this] { return clockMs_; });
        window_->DBGrid1->setFocus();
    }

private slots:
    void init() {
        // Names in MAC C bytes: "Petrovski" shows as Петровски, "@ivkov" as Живков.
        useRegister({{"100001", "Petrovski", "Ilija"},
                     {"A1", "@ivkov", "Ana"},
                     {"900", "Neaktiven", "Lekar", "001", false},
                     {"300", "Petkov", "Marko"},
                     {"400", "Nikolov", "Ivan"}},
                    {person("1", "100001"), person("2", "100001"), person("3", "A1"), person("4", "300"),
                     person("5", "300"), person("6", "300")});
    }

    void cleanup() { tearDown(); }

    void startsWithAnEmptyBoxAnEmptyGridWithTheFocusAndTheFixedLayout() {
        openWindow();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Pelmarot"));
        QCOMPARE(window_->windowIcon().pixmap(QSize(64, 64)).size(), QSize(64, 64)); // the desktop entry's icon
        QVERIFY(!(window_->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(window_->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(window_->minimumSize(), window_->maximumSize());
        QCOMPARE(window_->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Лекар"));
        QCOMPARE(window_->findChild<QPushButton*>(QStringLiteral("btnEksportiraj"))->text(),
                 QStringLiteral("Експортирај"));
        QVERIFY(window_->DBGrid1->hasFocus());
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 0);
        QCOMPARE(box()->text(), QString());
        QVERIFY(!window_->qOsigurenici.active());
        // The doctor list stands on its first row although the box shows nothing; inactive doctors are absent.
        QCOMPARE(window_->qLekar.currentCode(), std::string("100001"));
        QCOMPARE(window_->qLekar.recordCount(), 4);
        // Tab order: grid, button, box.
        window_->btnEksportiraj->setFocus();
        QTest::keyClick(window_->btnEksportiraj, Qt::Key_Tab);
        QVERIFY(box()->hasFocus());
        QTest::keyClick(box(), Qt::Key_Tab);
        QVERIFY(window_->DBGrid1->hasFocus());
        // The stored layout scaled by the measured height of "0" over 12.
        const double scale = QFontMetrics(window_->font()).height() / 12.0;
        QCOMPARE(window_->width(), qRound(754 * scale));
        QCOMPARE(window_->btnEksportiraj->geometry(),
                 QRect(qRound(616 * scale), qRound(8 * scale), qRound(131 * scale), qRound(25 * scale)));
        QCOMPARE(window_->DBGrid1->columnWidth(0), qRound(66 * scale));
    }

    void leavingTheBoxBeforeAnyChoiceLoadsTheFirstDoctorsList() {
        openWindow();
        box()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box(), Qt::Key_Tab); // on to the grid
        QVERIFY(window_->qOsigurenici.active());
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 2);
        QCOMPARE(window_->DBGrid1->model()->index(0, 1).data().toString(), QStringLiteral("1"));
        QCOMPARE(window_->DBGrid1->currentIndex().row(), 0);
    }

    void escapeAfterMovingTheHighlightKeepsTheShownNameButMovesTheCurrentDoctor() {
        openWindow();
        QTest::mouseClick(box(), Qt::LeftButton);
        QVERIFY(box()->isDroppedDown());
        QListView* list = box()->dropDownList();
        QCOMPARE(list->model()->rowCount(), 4);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(window_->qLekar.currentCode(), std::string("300"));
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!box()->isDroppedDown());
        QCOMPARE(box()->text(), QString());
        QCOMPARE(window_->qLekar.currentCode(), std::string("300"));
        // Leaving the box loads the highlighted doctor's persons: three of them.
        QTest::mouseClick(window_->DBGrid1->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(window_->qOsigurenici.recordCount(), 3);
    }

    void enterAltArrowsAndArrowKeysChooseADoctor() {
        openWindow();
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Down, Qt::AltModifier);
        QVERIFY(box()->isDroppedDown());
        QTest::keyClick(box()->dropDownList(), Qt::Key_Down);
        QTest::keyClick(box()->dropDownList(), Qt::Key_Return);
        QVERIFY(!box()->isDroppedDown());
        QCOMPARE(box()->text(), QStringLiteral("Живков Ана"));
        QCOMPARE(box()->keyValue(), QByteArray("A1"));
        // Opening again starts at the shown doctor; Alt+Up chooses the highlight.
        QTest::keyClick(box(), Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(box()->dropDownList()->currentIndex().row(), 1);
        QTest::keyClick(box()->dropDownList(), Qt::Key_Down);
        QTest::keyClick(box()->dropDownList(), Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(box()->keyValue(), QByteArray("300"));
        // Closed: Up and Down choose the neighbours, and stop at the ends.
        QTest::keyClick(box(), Qt::Key_Up);
        QCOMPARE(box()->keyValue(), QByteArray("A1"));
        QTest::keyClick(box(), Qt::Key_Up);
        QTest::keyClick(box(), Qt::Key_Up);
        QCOMPARE(box()->keyValue(), QByteArray("100001"));
        QCOMPARE(window_->qLekar.currentCode(), std::string("100001"));
        // A release of the mouse on an entry of the open drop-down chooses it.
        QTest::mouseClick(box(), Qt::LeftButton);
        QListView* list = box()->dropDownList();
        const QRect fourth = list->visualRect(list->model()->index(3, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, fourth.center());
        QVERIFY(!box()->isDroppedDown());
        QCOMPARE(box()->keyValue(), QByteArray("400"));
    }

    void typedSearchUsesAPrefixThatLapsesAfterTwoSeconds() {
        openWindow();
        box()->setFocus();
        clockMs_ = 10'000;
        QTest::keyClicks(box(), QStringLiteral("pet")); // Latin keys: "Pet" shows Пет
        QCOMPARE(box()->keyValue(), QByteArray("100001"));
        clockMs_ += 500;
        QTest::keyClicks(box(), QStringLiteral("k")); // "petk": Petkov
        QCOMPARE(box()->keyValue(), QByteArray("300"));
        clockMs_ += 500;
        QTest::keyClicks(box(), QStringLiteral("x")); // no name starts "petkx": dropped, prefix kept
        QCOMPARE(box()->keyValue(), QByteArray("300"));
        clockMs_ += 500;
        QTest::keyClicks(box(), QStringLiteral("o"));
        QCOMPARE(box()->keyValue(), QByteArray("300"));
        // More than two seconds later a key starts a new search; a Cyrillic key finds the same name.
        clockMs_ += 2001;
        QTest::sendKeyEvent(QTest::Click, box(), Qt::Key_unknown, QStringLiteral("ж"), Qt::NoModifier);
        QCOMPARE(box()->keyValue(), QByteArray("A1"));
        // Within two seconds, but after Backspace: a new search too.
        clockMs_ += 100;
        QTest::keyClick(box(), Qt::Key_Backspace);
        QTest::keyClicks(box(), QStringLiteral("N"));
        QCOMPARE(box()->keyValue(), QByteArray("400"));
        // Exactly two seconds still continue the prefix ("Ni" + "k" finds Nikolov, "k" alone finds nobody).
        clockMs_ += 2000;
        QTest::keyClicks(box(), QStringLiteral("i"));
        QCOMPARE(box()->keyValue(), QByteArray("400"));
    }

    void tabWithTheDropDownOpenClosesItLeavesTheBoxAndReloadsOnce() {
        openWindow();
        QSignalSpy reloads(window_->DBGrid1->model(), &QAbstractItemModel::modelReset);
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Down, Qt::AltModifier);
        QVERIFY(box()->isDroppedDown());
        QTest::keyClick(box()->dropDownList(), Qt::Key_Down); // highlights A1 without choosing it
        QTest::keyClick(box()->dropDownList(), Qt::Key_Tab);
        QVERIFY(!box()->isDroppedDown());
        QVERIFY(window_->DBGrid1->hasFocus());
        QCOMPARE(reloads.count(), 1);
        QCOMPARE(box()->text(), QString()); // nothing chosen
        QCOMPARE(window_->qOsigurenici.recordCount(), 1);

        // Shift+Tab goes back, to the button.
        box()->setFocus();
        QCOMPARE(reloads.count(), 1);
        QTest::keyClick(box(), Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(reloads.count(), 1);
        QTest::keyClick(box()->dropDownList(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(!box()->isDroppedDown());
        QVERIFY(window_->btnEksportiraj->hasFocus());
        // One reload of a loaded list resets the grid twice: closed, then opened again.
        QCOMPARE(reloads.count(), 3);
    }

    void enterPressesTheFocusedButtonAndCtrlTabLeavesTheGrid() {
        openWindow();
        window_->btnEksportiraj->setFocus();
        QTest::keyClick(window_->btnEksportiraj, Qt::Key_Return);
        QTRY_COMPARE(prompter_->offeredNames.size(), 1);
        QTest::keyClick(window_->btnEksportiraj, Qt::Key_Enter, Qt::KeypadModifier);
        QTRY_COMPARE(prompter_->offeredNames.size(), 2);

        // With a list loaded, Tab moves between the grid's cells and Ctrl+Tab leaves it either way.
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Tab);
        QVERIFY(window_->DBGrid1->hasFocus());
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 2);
        const int column = window_->DBGrid1->currentIndex().column();
        QTest::keyClick(window_->DBGrid1, Qt::Key_Tab);
        QVERIFY(window_->DBGrid1->hasFocus());
        QCOMPARE(window_->DBGrid1->currentIndex().column(), column + 1);
        QTest::keyClick(window_->DBGrid1, Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(window_->btnEksportiraj->hasFocus());
        window_->DBGrid1->setFocus();
        QTest::keyClick(window_->DBGrid1, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(box()->hasFocus());
    }

    void theLabelsTextFitsItsWidthInTheFallbackFont() {
        openWindow();
        const QLabel* label = window_->Label1;
        const QFontInfo shown(label->font());
        if (!QFontDatabase::families().contains(QStringLiteral("MAC C Swiss")))
            QCOMPARE(shown.family(), QStringLiteral("Liberation Sans"));
        QVERIFY(shown.bold());
        const int textWidth = QFontMetrics(label->font()).horizontalAdvance(label->text());
        QVERIFY2(textWidth <= label->width(),
                 qPrintable(QStringLiteral("%1 pixels of text in %2").arg(textWidth).arg(label->width())));
        QVERIFY(label->geometry().right() < window_->cbLekar->geometry().left());
    }

    void switchingToAnotherWindowAndBackDoesNotLeaveTheBox() {
        openWindow();
        box()->setFocus();
        QWidget other;
        auto* field = new QPushButton(QStringLiteral("elsewhere"), &other);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QApplication::setActiveWindow(&other);
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QApplication::setActiveWindow(window_.get());
        QTRY_VERIFY(box()->hasFocus());
        QVERIFY(!window_->qOsigurenici.active());
        // Only a move to another control of the window reloads.
        window_->DBGrid1->setFocus(Qt::MouseFocusReason);
        QVERIFY(window_->qOsigurenici.active());
    }

    void theLeaveHandlerFinishesBeforeTheButtonsClickIsDelivered() {
        openWindow();
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Down); // choose 100001
        QTest::keyClick(box(), Qt::Key_Down); // choose A1; the list is not reloaded by choosing
        QVERIFY(!window_->qOsigurenici.active());
        int rowsWhenClicked = -1;
        prompter_->onDialog = [&] { rowsWhenClicked = window_->qOsigurenici.recordCount(); };
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        QCOMPARE(rowsWhenClicked, 1);
        QCOMPARE(prompter_->offeredNames, QStringList{QStringLiteral("A1.txt")});
        QVERIFY(prompter_->messages.isEmpty()); // cancelled: nothing written, nothing said
    }

    void failuresOfHandlersGoToTheErrorBoxAndTheProgramGoesOn() {
        runSql(registerPath(), "ALTER TABLE Osigurenici RENAME COLUMN MB TO EMBG");
        openWindow();
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Tab);
        QTRY_COMPARE(prompter_->errors, QStringList{QStringLiteral("qOsigurenici: Field 'MB' not found.")});
        QVERIFY(!window_->qOsigurenici.active());
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 0);
        // A click on the button that leaves the failing box does not export on top of the failure.
        box()->setFocus();
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        QTRY_COMPARE(prompter_->errors.size(), 2);
        QVERIFY(prompter_->offeredNames.isEmpty());
        // With the box no longer focused, the button exports; the list is closed, so the export fails.
        prompter_->nextFolder = QString::fromStdString(dir_->path());
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        QCOMPARE(prompter_->messages, QStringList{QString::fromUtf8(app::TfrmOsigurenici::kFailureMessage)});
    }

    void badValuesAreNamedInTheErrorBoxAndUnheldTextsInTheSupportLog() {
        // The first doctor's first person holds a letter windows-1251 lacks, and the other a bad date.
        runSql(registerPath(), "UPDATE Osigurenici SET IME = 'Hoxhë' WHERE MB = '1';"
                               "UPDATE Osigurenici SET DATA_PRI = '2024-13-45' WHERE MB = '3'");
        openWindow();
        // The support log names the doctor, the table, the row's place in the list and the column, never the
        // person's MB or name; the error box shows the MB for the clerk to find the person.
        QTest::ignoreMessage(QtWarningMsg, "qOsigurenici: doctor 100001, Osigurenici, row 1 of the list, column IME: "
                                           "a text the code page windows-1251 cannot hold is shown and exported "
                                           "transliterated");
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Tab);
        QVERIFY(prompter_->errors.isEmpty());
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 2);

        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Down); // the first doctor
        QTest::keyClick(box(), Qt::Key_Down); // A1
        QTest::ignoreMessage(QtWarningMsg, "qOsigurenici: doctor A1, Osigurenici, row 1 of the list: Invalid date "
                                           "'2024-13-45' in column DATA_PRI");
        QTest::keyClick(box(), Qt::Key_Tab);
        QTRY_COMPARE(prompter_->errors,
                     QStringList{QStringLiteral(
                         "qOsigurenici: Osigurenici, MB 3: Invalid date '2024-13-45' in column DATA_PRI.")});
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 0);
    }

    void aRefusedDoctorCodeLeavesTheGridEmptyBehindTheErrorBox() {
        runSql(registerPath(), "INSERT INTO Lekari VALUES ('中1', 'Wang', 'Li', '001', 1)");
        openWindow();
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Down); // the first doctor, with two persons
        QTest::keyClick(box(), Qt::Key_Tab);
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 2);

        box()->setFocus();
        for (int i = 0; i < 4; ++i) // past A1, 300 and 400 to 中1, a code windows-1251 cannot hold
            QTest::keyClick(box(), Qt::Key_Down);
        QTest::keyClick(box(), Qt::Key_Tab);
        QTRY_COMPARE(prompter_->errors,
                     QStringList{QStringLiteral("qLekar: The doctor code '中1' cannot be held exactly by the code page "
                                                "windows-1251; its list and its file would be another doctor's.")});
        QVERIFY(!window_->qOsigurenici.active());
        QCOMPARE(window_->DBGrid1->model()->rowCount(), 0);
    }

    void aDoctorListThatCannotOpenGivesTheErrorBoxAndAnEmptyBox() {
        runSql(registerPath(), "ALTER TABLE Lekari RENAME COLUMN OPS_S TO OPSTINA");
        openWindow();
        QCOMPARE(prompter_->errors, QStringList{QString::fromStdString(
                                        "Column 'ops_s' does not exist in the database " + registerPath() + ".")});
        QCOMPARE(box()->dropDownList()->model()->rowCount(), 0);
        QCOMPARE(window_->qLekar.currentCode(), std::string());
        QVERIFY(window_->isVisible());
    }

    void theDropDownShowsUpToSevenRowsBelowTheBoxOrAboveNearTheBottom() {
        std::string sql = "DELETE FROM Lekari;";
        for (int i = 0; i < 12; ++i)
            sql += "INSERT INTO Lekari VALUES ('D" + std::to_string(i) + "', 'Doktor', '" + std::to_string(i) +
                   "', '001', 1);";
        sql += "INSERT INTO Lekari VALUES ('', 'Bez', 'Kod', '001', 1);"; // an empty code is not "no choice"
        runSql(registerPath(), sql);
        openWindow();
        QCOMPARE(box()->text(), QString());
        QTest::mouseClick(box(), Qt::LeftButton);
        QListView* list = box()->dropDownList();
        QWidget* popup = list->window();
        const int rowHeight = list->sizeHintForRow(0);
        QCOMPARE(popup->height(), 7 * rowHeight + 2 * list->frameWidth());
        QCOMPARE(popup->width(), box()->width());
        QCOMPARE(popup->geometry().top(), box()->mapToGlobal(QPoint(0, box()->height())).y());
        QTest::keyClick(list, Qt::Key_Escape);

        // Near the bottom of the screen the drop-down opens above the box.
        const QRect screen = window_->screen()->availableGeometry();
        window_->move(window_->x(), screen.bottom() - window_->frameGeometry().height() / 4 - box()->y());
        QApplication::processEvents();
        QTest::mouseClick(box(), Qt::LeftButton);
        QVERIFY(box()->mapToGlobal(QPoint(0, box()->height())).y() + popup->height() > screen.bottom());
        QCOMPARE(popup->geometry().bottom() + 1, box()->mapToGlobal(QPoint(0, 0)).y());
        QTest::keyClick(list, Qt::Key_Escape);

        // A list whose last pixel row is the screen's last one still fits below; one pixel lower it does not.
        for (const int past : {0, 1}) {
            const int boxBottom = box()->mapToGlobal(QPoint(0, box()->height())).y();
            window_->move(window_->pos() + QPoint(0, screen.bottom() + 1 - popup->height() + past - boxBottom));
            QApplication::processEvents();
            QCOMPARE(box()->mapToGlobal(QPoint(0, box()->height())).y() + popup->height(), screen.bottom() + 1 + past);
            QTest::mouseClick(box(), Qt::LeftButton);
            QCOMPARE(popup->geometry().top() == box()->mapToGlobal(QPoint(0, box()->height())).y(), past == 0);
            QTest::keyClick(list, Qt::Key_Escape);
        }
    }

    void theDropDownIsAsWideAsTheBoxAndACutNameShowsWholeInItsTooltip() {
        runSql(registerPath(), "INSERT INTO Lekari VALUES ('500', 'Veqanovska-Stojanovska', 'Tatjana', '001', 1)");
        openWindow();
        QTest::mouseClick(box(), Qt::LeftButton);
        QListView* list = box()->dropDownList();
        QVERIFY(box()->isDroppedDown());
        QCOMPARE(list->window()->geometry(), QRect(box()->mapToGlobal(QPoint(0, box()->height())),
                                                   QSize(box()->width(), list->window()->height())));
        const auto askTooltip = [list](int row) {
            const QPoint inside(4, list->visualRect(list->model()->index(row, 0)).center().y());
            QHelpEvent help(QEvent::ToolTip, inside, list->viewport()->mapToGlobal(inside));
            QApplication::sendEvent(list->viewport(), &help);
        };
        QCOMPARE(list->font(), box()->font());
        const QString longName = QStringLiteral("Вељановска-Стојановска Татјана");
        QCOMPARE(list->model()->index(4, 0).data().toString(), longName);
        QVERIFY(QFontMetrics(list->font()).horizontalAdvance(longName) > list->viewport()->width());
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        askTooltip(0); // "Петровски Илија" fits
        QVERIFY(!QToolTip::isVisible());
        askTooltip(4);
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), longName);
        QTest::keyClick(list, Qt::Key_Escape);
    }

    void anEmptyDoctorTableOffersNothingAndTheCodeIsEmpty() {
        runSql(registerPath(), "DELETE FROM Lekari");
        openWindow();
        QTest::mouseClick(box(), Qt::LeftButton);
        QVERIFY(!box()->isDroppedDown());
        QTest::keyClick(box(), Qt::Key_Down);
        QTest::keyClicks(box(), QStringLiteral("p"));
        QCOMPARE(box()->text(), QString());
        QCOMPARE(window_->qLekar.currentCode(), std::string());
        QTest::keyClick(box(), Qt::Key_Tab);
        QVERIFY(window_->qOsigurenici.active());
        QCOMPARE(window_->qOsigurenici.recordCount(), 0);
        QVERIFY(prompter_->errors.isEmpty());
    }

    void aFailedConnectionReportsAnApplicationErrorAndEndsWithExitCodeOne() {
        alias_.reset();
        alias_ = std::make_unique<AliasFileScope>(dir_->file("aliases.ini"),
                                                  "[kapitacija]\ndriver = sqlite\npath = gone.sqlite\n");
        RecordingPrompter prompter;
        std::optional<app::StartupFailure> reported;
        const int code = app::runProgram(&prompter, [&](const app::StartupFailure& f) { reported = f; });
        QCOMPARE(code, 1);
        QVERIFY(reported.has_value());
        QCOMPARE(reported->kind, QStringLiteral("EngineError"));
        QCOMPARE(reported->message,
                 QString::fromStdString("Database file " + dir_->file("gone.sqlite") +
                                        " does not exist (alias 'kapitacija' in " + dir_->file("aliases.ini") + ")"));
        QVERIFY(prompter.errors.isEmpty());
    }
};

GUI_TEST_SUITE(WindowTest)
#include "WindowTest.moc"
