// The window on a register held by the PostgreSQL test server: the password dialog and a lost server.
#include "GuiTests.h"
#include "RecordingPrompter.h"
#include "app/DoctorLookupBox.h"
#include "app/Program.h"
#include "app/TfrmOsigurenici.h"
#include "support/PostgresRegister.h"

#include <QTest>

using namespace testsupport;

namespace {

// Stops or starts the test server; a failure fails the test instead of escaping from it.
bool serverDoes(const char* action) {
    try {
        controlTestServer(action);
        return true;
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        return false;
    }
}

} // namespace

class PostgresWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir_;
    std::string database_;

private slots:
    void init() {
        if (!testServerFolder())
            QSKIP("no PostgreSQL test server (PELMAROT_PG_SOCKET is not set; the test command starts one)");
        dir_ = std::make_unique<TempDir>();
        qputenv("PGPASSFILE", QByteArray::fromStdString(dir_->file("no-pgpass")));
        PersonRow person{"1", "Petrovski", "Ilija", "Ana", "A1", "12", true, false, "2001-02-03", {}};
        try {
            database_ = writePostgresRegister({{"A1", "Petrovski", "Ilija"}, {"B2", "Nikolov", "Ivan"}}, {person});
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
    }
    void cleanup() {
        dir_.reset();
        // A test that failed while the server was stopped must not take the next tests with it; a server that
        // was running already resumes to nothing, which is no failure.
        if (testServerFolder()) {
            const int resumed = std::system((qgetenv("PELMAROT_PG_SCRIPT") + " resume " +
                                             QByteArray::fromStdString(*testServerFolder()) + " >/dev/null 2>&1")
                                                .constData());
            static_cast<void>(resumed);
        }
    }

    void theUserGivesThePasswordTheServerAsksFor() {
        AliasFileScope alias(dir_->file("a.ini"), postgresAlias(database_, "clerk"));
        RecordingPrompter prompter;
        prompter.passwordAnswers = {QStringLiteral("wrong"), QStringLiteral("clerk-secret")};
        app::TfrmOsigurenici window(&prompter);
        QCOMPARE(prompter.passwordRequests.size(), 2);
        QCOMPARE(prompter.passwordRequests.first(), QString::fromStdString(database_));
        QCOMPARE(window.qLekar.recordCount(), 2);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.cbLekar->setFocus();
        QTest::keyClick(window.cbLekar, Qt::Key_Tab);
        QCOMPARE(window.qOsigurenici.recordCount(), 1);

        // The server goes away: the reload fails in the error box and the program goes on; once the server
        // is back the next reload works.
        QVERIFY(serverDoes("halt"));
        window.cbLekar->setFocus();
        QTest::keyClick(window.cbLekar, Qt::Key_Tab);
        QTRY_COMPARE(prompter.errors.size(), 1);
        QVERIFY2(prompter.errors.first().startsWith(QStringLiteral("Lost the connection to the PostgreSQL database")),
                 qPrintable(prompter.errors.first()));
        QVERIFY(serverDoes("resume"));
        window.cbLekar->setFocus();
        QTest::keyClick(window.cbLekar, Qt::Key_Tab);
        QCOMPARE(window.qOsigurenici.recordCount(), 1);
    }

    // A server process that stops answering mid-session (a frozen backend): leaving the doctor box shows the
    // error box after the alias's timeout instead of freezing the window, and the window goes on.
    void aStoppedServerSessionGivesTheErrorBoxAndTheWindowGoesOn() {
        AliasFileScope alias(dir_->file("a.ini"), postgresAlias(database_) + "timeout = 2\n");
        RecordingPrompter prompter;
        app::TfrmOsigurenici window(&prompter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.cbLekar->setFocus();
        QTest::keyClick(window.cbLekar, Qt::Key_Tab);
        QCOMPARE(window.qOsigurenici.recordCount(), 1);

        pid_t session = 0;
        try {
            session = sessionProcess(database_);
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
        {
            // Let go after 20 seconds at the latest, so that a window that waits for ever fails the test.
            StoppedProcess frozen(session, std::chrono::seconds(20));
            window.cbLekar->setFocus();
            QTest::keyClick(window.cbLekar, Qt::Key_Tab);
            QVERIFY2(!frozen.resumedByWatchdog(), "the window waited for the stopped server");
            QTRY_COMPARE(prompter.errors.size(), 1);
            QVERIFY2(prompter.errors.first().contains(QStringLiteral(" did not answer in 2 seconds")),
                     qPrintable(prompter.errors.first()));
        }
        window.cbLekar->setFocus();
        QTest::keyClick(window.cbLekar, Qt::Key_Tab);
        QCOMPARE(prompter.errors.size(), 1);
        QCOMPARE(window.qOsigurenici.recordCount(), 1);
    }

    void cancellingThePasswordEndsTheStartWithTheServersError() {
        AliasFileScope alias(dir_->file("a.ini"), postgresAlias(database_, "clerk"));
        RecordingPrompter prompter; // no answers: the user cancels
        std::optional<app::StartupFailure> reported;
        QCOMPARE(app::runProgram(&prompter, [&](const app::StartupFailure& f) { reported = f; }), 1);
        QCOMPARE(prompter.passwordRequests.size(), 1);
        QVERIFY(reported.has_value());
        QVERIFY2(reported->message.contains(QStringLiteral("Cannot connect to the PostgreSQL database")),
                 qPrintable(reported->message));
    }
};

GUI_TEST_SUITE(PostgresWindowTest)
#include "PostgresWindowTest.moc"
