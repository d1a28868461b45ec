// The texts of the message boxes and the plain message box itself.
#include "GuiTests.h"
#include "app/PasswordDialog.h"
#include "app/PlainMessageBox.h"
#include "app/Prompter.h"
#include "app/Texts.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

class BoxesTest : public QObject {
    Q_OBJECT
private slots:
    void applicationTitleComesFromTheExecutablesName() {
        const std::pair<const char*, const char*> cases[] = {
            {"/usr/bin/ABCdef.Gh.EXE", "Abcdef"},
            {"pelmarot", "pelmarot"},
            {"/opt/x/PELMAROT", "Pelmarot"},
            {"./Zz.", "Zz"},
            {"/a.b/c", "c"},
            {".hidden", ""},
        };
        for (const auto& [path, title] : cases)
            QCOMPARE(app::applicationTitle(QString::fromUtf8(path)), QString::fromUtf8(title));
    }

    void errorBoxAppendsAFullStopOnlyAfterCharactersBeyondIt() {
        const std::pair<const char*, const char*> cases[] = {
            {"Transfer failed!", "Transfer failed!"},
            {"Done.", "Done."},
            {"Field 'MB' not found", "Field 'MB' not found."},
            {"error 42", "error 42."},
            {"Why?", "Why?."},
            {"path /", "path /."},
            {"", ""},
            {"ends in comma,", "ends in comma,"},
            {"dash -", "dash -"},
        };
        for (const auto& [message, shown] : cases)
            QCOMPARE(app::errorBoxText(QString::fromUtf8(message)), QString::fromUtf8(shown));
    }

    void applicationErrorTextNamesKindModulePlaceAndMessage() {
        QCOMPARE(app::applicationErrorText(QStringLiteral("EngineError"), QStringLiteral("pelmarot"), 0x1a2b,
                                           QStringLiteral("Alias 'kapitacija' is not defined")),
                 QStringLiteral("Exception EngineError in module pelmarot at 00001A2B.\r\n"
                                "Alias 'kapitacija' is not defined.\r\n"));
        QCOMPARE(app::applicationErrorText(QStringLiteral("E"), QStringLiteral("p"), 0xFFFFFFFFFull,
                                           QStringLiteral("Ends.")),
                 QStringLiteral("Exception E in module p at FFFFFFFF.\r\nEnds.\r\n"));
    }

    void plainBoxCopiesSevenLinesAndClosesWithEnterEscOrOk() {
        app::PlainMessageBox box(QStringLiteral("Pelmarot"), QStringLiteral("Transferot e zavrsen!"));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.windowTitle(), QStringLiteral("Pelmarot"));
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("message"))->text(), QStringLiteral("Transferot e zavrsen!"));
        QVERIFY(box.findChild<QLabel*>(QStringLiteral("message"))->wordWrap());
        QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("---------------------------\r\nPelmarot\r\n---------------------------\r\n"
                                "Transferot e zavrsen!\r\n---------------------------\r\nOK   \r\n"
                                "---------------------------\r\n"));
        QVERIFY(box.isVisible()); // copying does not close it
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());

        app::PlainMessageBox second(QStringLiteral("Pelmarot"), QStringLiteral("x"));
        second.show();
        QPushButton* ok = second.findChild<QPushButton*>(QStringLiteral("ok"));
        QVERIFY(ok->isDefault());
        QTest::keyClick(&second, Qt::Key_Return);
        QCOMPARE(second.result(), int(QDialog::Accepted));
    }

    void plainBoxKeepsALineWholeUpToHalfTheScreenAndWrapsPastIt() {
        const int halfScreen = QApplication::primaryScreen()->availableGeometry().width() / 2;
        app::PlainMessageBox shortBox(QStringLiteral("Pelmarot"), QStringLiteral("Transferot e zavrsen!"));
        shortBox.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shortBox));
        const QLabel* shortLabel = shortBox.findChild<QLabel*>(QStringLiteral("message"));
        const QFontMetrics metrics(shortLabel->font());
        QVERIFY(shortLabel->width() >= metrics.horizontalAdvance(QStringLiteral("Transferot e zavrsen!")));
        QVERIFY2(shortLabel->height() < 2 * metrics.lineSpacing(), "the short message is on one line");

        const QString longText = QStringLiteral("Ova e dolga poraka. ").repeated(40);
        app::PlainMessageBox longBox(QStringLiteral("Pelmarot"), longText);
        longBox.show();
        QVERIFY(QTest::qWaitForWindowExposed(&longBox));
        const QLabel* longLabel = longBox.findChild<QLabel*>(QStringLiteral("message"));
        QVERIFY(longLabel->width() <= halfScreen);
        QVERIFY(longLabel->width() >= halfScreen - metrics.horizontalAdvance(QStringLiteral("dolga ")));
        QVERIFY2(longLabel->height() >= 3 * metrics.lineSpacing(), "the long message wraps");
    }

    void errorBoxShowsATextThatLooksLikeMarkupAsItStands() {
        app::DesktopPrompter prompter(nullptr);
        QString shownText;
        Qt::TextFormat shownFormat = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownText = box->text();
            shownFormat = box->textFormat();
            box->accept();
        });
        prompter.showError(QStringLiteral("Cannot create /home/<b>bold</b>/1.txt"));
        QCOMPARE(shownText, QStringLiteral("Cannot create /home/<b>bold</b>/1.txt"));
        QCOMPARE(shownFormat, Qt::PlainText);
    }

    void passwordDialogEchoesStarsAndEnablesOkOnceTextIsTyped() {
        app::PasswordDialog dialog(QStringLiteral("register"));
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Enter password"));
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("ok"));
        auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("password"));
        QCOMPARE(ok->text(), QStringLiteral("&OK"));
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("cancel"))->text(), QStringLiteral("Cancel"));
        QVERIFY(!ok->isEnabled());
        QTest::keyClicks(field, QStringLiteral("abc"));
        QVERIFY(ok->isEnabled());
        QCOMPARE(field->displayText(), QStringLiteral("***"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.password(), QStringLiteral("abc"));
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Backspace);
        QVERIFY(!ok->isEnabled());
    }
};

GUI_TEST_SUITE(BoxesTest)
#include "BoxesTest.moc"
