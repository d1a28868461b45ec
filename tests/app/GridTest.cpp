// The grid of insured persons: its model, titles, cell texts, widths and the MAC C display.
#include "GuiTests.h"
#include "WindowFixture.h"
#include "app/DataGrid.h"
#include "app/DoctorLookupBox.h"
#include "app/InsuredSource.h"
#include "app/MacCDisplay.h"
#include "app/TfrmOsigurenici.h"
#include "support/FixtureRegister.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QTest>
#include <memory>

using namespace testsupport;

class GridTest : public QObject, private WindowFixture {
    Q_OBJECT

    void leaveBoxFor(int downPresses) {
        window_->cbLekar->setFocus();
        for (int i = 0; i < downPresses; ++i)
            QTest::keyClick(window_->cbLekar, Qt::Key_Down);
        QTest::keyClick(window_->cbLekar, Qt::Key_Tab);
    }

private slots:
    void init() {
        qputenv("LC_ALL", "C");
        PersonRow first{"1234567890123", "Petrovski", "Ilija", "Ana", "A1", "12", true, false, "2001-02-03", {}};
        PersonRow second{"99", "", "", "Ќ", "A1", "87654321", false, false, {}, {}};
        useRegister({{"A1", "Petrovski", "Ilija"}, {"E", "Empty", "Doc"}}, {first, second});
        QVERIFY(openWindow());
    }

    void cleanup() {
        tearDown();
        qunsetenv("LC_ALL");
    }

    void gridShowsEightTitledColumnsWithDateTextAndPercentage() {
        QAbstractItemModel* model = window_->DBGrid1->model();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->columnCount(), 8);
        QStringList titles;
        for (int c = 0; c < model->columnCount(); ++c)
            titles << model->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"Факсимил", "ЕМБГ", "Презиме", "Татково име", "Име", "Датум пријава",
                                      "Број ИЛ образец", "Процент"}));
        leaveBoxFor(1);
        QCOMPARE(model->rowCount(), 2);
        QStringList first, second;
        for (int c = 0; c < 8; ++c) {
            first << model->index(0, c).data().toString();
            second << model->index(1, c).data().toString();
        }
        QCOMPARE(first, (QStringList{"А1", "1234567890123", "Петровски", "Илија", "Ана", "2/3/01", "12", "30"}));
        // An empty date is an empty cell; a byte from 0x80 shows as the code page's letter.
        QCOMPARE(second, (QStringList{"А1", "99", "", "", "Ќ", "", "87654321", "100"}));
        QVERIFY(model->index(0, 7).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(!(model->flags(model->index(0, 2)) & Qt::ItemIsEditable));

        // A doctor without persons empties the grid; the model stays consistent through every reset.
        leaveBoxFor(1);
        QCOMPARE(model->rowCount(), 0);
    }

    void theRowIndicatorMarksTheCurrentRowOnly() {
        leaveBoxFor(1);
        QAbstractItemModel* model = window_->DBGrid1->model();
        const auto marks = [&] {
            return QStringList{model->headerData(0, Qt::Vertical).toString(),
                               model->headerData(1, Qt::Vertical).toString()};
        };
        QCOMPARE(marks(), (QStringList{QStringLiteral("\u25B8"), QString()}));
        QTest::keyClick(window_->DBGrid1, Qt::Key_Down);
        QCOMPARE(window_->qOsigurenici.recNo(), 1); // the grid moves the list
        QCOMPARE(marks(), (QStringList{QString(), QStringLiteral("\u25B8")}));
    }

    void columnWidthsFollowTheFontWithTitlesAsMinimum() {
        app::DataGrid* grid = window_->DBGrid1;
        const QFontMetrics cells(grid->font());
        const QFontMetrics titles(grid->horizontalHeader()->font());
        const int digit = cells.horizontalAdvance(QLatin1Char('0'));
        QCOMPARE(grid->columnWidth(2), std::max(digit * 20 + 4, titles.horizontalAdvance("Презиме") + 4));
        QCOMPARE(grid->columnWidth(6), std::max(digit * 8 + 4, titles.horizontalAdvance("Број ИЛ образец") + 4));
        QCOMPARE(grid->columnWidth(6), titles.horizontalAdvance("Број ИЛ образец") + 4); // the title is wider
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(3), QHeaderView::Interactive);
    }

    void aChangeOfRegionalSettingsRewritesTheDates() {
        leaveBoxFor(1);
        QCOMPARE(window_->DBGrid1->model()->index(0, 5).data().toString(), QStringLiteral("2/3/01"));
        qputenv("LC_ALL", "de_DE.UTF-8");
        QEvent change(QEvent::LocaleChange);
        QApplication::sendEvent(window_.get(), &change);
        QCOMPARE(window_->DBGrid1->model()->index(0, 5).data().toString(), QStringLiteral("03.02.01"));
    }

    void macCDisplayMapsLettersAndTypedCyrillic() {
        const auto& cp = engine::CodePage::named("windows-1251");
        const app::MacCDisplay mapped(cp, false);
        QCOMPARE(mapped.show("Lekar"), QStringLiteral("Лекар"));
        QCOMPARE(mapped.show("@ `[{\\|]}^~QqWwXxYyJjCcVvHh"), QStringLiteral("Ж жШшЃѓЌќЧчЉљЊњЏџЅѕЈјЦцВвХх"));
        QCOMPARE(mapped.show("09.-/_\xE6"), QStringLiteral("09.-/_ж"));
        QCOMPARE(mapped.byteForTyped(QChar(u'ж')), std::optional<char>('`'));
        QCOMPARE(mapped.byteForTyped(QChar(u'Ч')), std::optional<char>('^'));
        QCOMPARE(mapped.byteForTyped(QChar(u'k')), std::optional<char>('k'));
        QCOMPARE(mapped.byteForTyped(QChar(u'Ω')), std::nullopt);
        const app::MacCDisplay withFont(cp, true);
        QCOMPARE(withFont.show("Lekar\xE6"), QStringLiteral("Lekarж"));
    }
};

GUI_TEST_SUITE(GridTest)
#include "GridTest.moc"
