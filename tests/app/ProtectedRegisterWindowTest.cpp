// The window on Paradox tables protected by a password: the "Enter password" dialog at start and at a reload.
#include "GuiTests.h"
#include "RecordingPrompter.h"
#include "app/DoctorLookupBox.h"
#include "app/TfrmOsigurenici.h"
#include "engine/ParadoxTestWriter.h"
#include "engine/RegisterSchema.h"
#include "support/FixtureRegister.h"

#include <QTest>

using namespace testsupport;

namespace {

constexpr const char* kPassword = "Tajna-9";

// Two doctors and one person of A1, in tables protected by the given passwords.
void writeRegister(const std::string& folder, const std::string& doctorsPassword, const std::string& personsPassword) {
    {
        ParadoxTestWriter doctors(folder + "/Lekari.DB", registerFields(engine::doctorTable()),
                                  {.password = doctorsPassword});
        for (const char* code : {"A1", "B2"}) {
            std::string record = doctors.blankRecord();
            doctors.alpha(record, 0, code);
            doctors.alpha(record, 1, "Petrovski");
            doctors.alpha(record, 2, code);
            doctors.logical(record, 4, true);
            doctors.append(record);
        }
    }
    ParadoxTestWriter persons(folder + "/Osigurenici.DB", registerFields(engine::insuredTable()),
                              {.password = personsPassword});
    std::string record = persons.blankRecord();
    persons.alpha(record, 0, "1234");
    persons.alpha(record, 1, "Nikolov");
    persons.alpha(record, 4, "A1");
    persons.append(record);
}

} // namespace

class ProtectedRegisterWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<AliasFileScope> alias_;

    void useRegister(const std::string& doctorsPassword, const std::string& personsPassword) {
        dir_ = std::make_unique<TempDir>();
        writeRegister(dir_->path(), doctorsPassword, personsPassword);
        alias_ = std::make_unique<AliasFileScope>(dir_->file("aliases.ini"),
                                                  "[kapitacija]\ndriver = paradox\npath = " + dir_->path() + "\n");
    }

    static void leaveTheBox(app::TfrmOsigurenici& window) {
        window.cbLekar->setFocus();
        QTest::keyClick(window.cbLekar, Qt::Key_Tab);
    }

private slots:
    void cleanup() {
        alias_.reset();
        dir_.reset();
    }

    // One password for both tables is asked for once, again after a wrong one; the reload asks nothing more.
    void aSharedPasswordIsAskedForOnceAndAgainAfterAWrongOne() {
        useRegister(kPassword, kPassword);
        RecordingPrompter prompter;
        prompter.passwordAnswers = {QStringLiteral("tajna"), QString::fromLatin1(kPassword)};
        app::TfrmOsigurenici window(&prompter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString doctors = QString::fromStdString(dir_->file("Lekari.DB"));
        QCOMPARE(prompter.passwordRequests, QStringList({doctors, doctors}));
        QCOMPARE(window.qLekar.recordCount(), 2);
        leaveTheBox(window);
        QCOMPARE(window.qOsigurenici.recordCount(), 1);
        QCOMPARE(prompter.passwordRequests.size(), 2);
        QVERIFY2(prompter.errors.isEmpty(), qPrintable(prompter.errors.join(QLatin1Char('\n'))));
    }

    // Cancel lets the engine's error through to the error box and the program goes on: at start with an empty
    // doctor box, at a reload with the list closed, until a reload gets the right password.
    void cancelShowsTheErrorAndTheProgramGoesOn() {
        useRegister(kPassword, "Druga-2");
        RecordingPrompter prompter;
        app::TfrmOsigurenici window(&prompter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(prompter.errors,
                 QStringList(QString::fromStdString(dir_->file("Lekari.DB") +
                                                    ": the table is protected by a password, and none was given.")));
        QCOMPARE(window.qLekar.recordCount(), 0);
        cleanup();

        useRegister(kPassword, "Druga-2");
        RecordingPrompter second;
        second.passwordAnswers = {QString::fromLatin1(kPassword), QStringLiteral("Druga")};
        app::TfrmOsigurenici reloading(&second);
        reloading.show();
        QVERIFY(QTest::qWaitForWindowExposed(&reloading));
        leaveTheBox(reloading);
        const QString persons = QString::fromStdString(dir_->file("Osigurenici.DB"));
        QCOMPARE(second.passwordRequests.mid(1), QStringList({persons, persons}));
        QTRY_COMPARE(second.errors,
                     QStringList(persons + QStringLiteral(": the password given is not the table's password.")));
        QVERIFY(!reloading.qOsigurenici.active());
        second.passwordAnswers = {QStringLiteral("Druga-2")};
        leaveTheBox(reloading);
        QCOMPARE(reloading.qOsigurenici.recordCount(), 1);
    }
};

GUI_TEST_SUITE(ProtectedRegisterWindowTest)
#include "ProtectedRegisterWindowTest.moc"
