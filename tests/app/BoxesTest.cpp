// The texts of the message boxes and the plain message box itself.
#include "GuiTests.h"
#include "app/PasswordDialog.h"
#include "app/PlainMessageBox.h"
#include "app/Texts.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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
