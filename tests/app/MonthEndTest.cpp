// pelmarot-export, run as the built executable, against the window's own export of the same doctors.
#include "GuiTests.h"
#include "WindowFixture.h"
#include "app/DoctorLookupBox.h"

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <filesystem>
#include <fstream>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    QString errors; // failures, warnings, progress
    QString output; // the summary
};

Outcome runExport(const QStringList& arguments, const std::string& aliasFile) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PELMAROT_ALIASES"), QString::fromStdString(aliasFile));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(env);
    process.start(QString::fromLocal8Bit(qgetenv("PELMAROT_EXPORT_EXE")), arguments);
    process.waitForFinished(60000);
    return Outcome{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   QString::fromUtf8(process.readAllStandardError()),
                   QString::fromUtf8(process.readAllStandardOutput())};
}

} // namespace

class MonthEndTest : public QObject, private WindowFixture {
    Q_OBJECT

    QString startDir_;

    std::string aliasFile() const { return dir_->file("aliases.ini"); }

private slots:
    void initTestCase() {
        QVERIFY2(!qgetenv("PELMAROT_EXPORT_EXE").isEmpty(), "PELMAROT_EXPORT_EXE names the built pelmarot-export");
        startDir_ = QDir::currentPath();
        qputenv("LC_ALL", "C");
    }
    void cleanupTestCase() {
        QDir::setCurrent(startDir_);
        qunsetenv("LC_ALL");
    }

    void init() {
        PersonRow a1{"1234567890123", "Petrovski", "Ilija", "Ana", "A1", "12", true, false, "2001-02-03", {}};
        PersonRow a2{"99", "", "", "Ана", "A1", "87654321", true, true, {}, {}};
        PersonRow b{"5", "Ќосевска", "Т", "Марија", "B2", "1", false, false, "1999-12-31", {}};
        PersonRow inactive{"6", "X", "Y", "Z", "900", "1", false, false, "1999-12-31", {}};
        useRegister({{"A1", "Petrovski", "Ilija"},
                     {"B2", "Ќосевски", "Kiril"},
                     {"E", "Empty", "Doc"},
                     {"900", "Off", "Line", "001", false}},
                    {a1, a2, b, inactive});
    }
    void cleanup() {
        tearDown();
        QDir::setCurrent(startDir_);
    }

    void writesTheSameBytesAsTheWindowForEveryActiveDoctor() {
        const std::string byWindow = dir_->file("window");
        const std::string byCommand = dir_->file("command");
        fs::create_directories(byWindow);
        fs::create_directories(byCommand);
        QVERIFY(openWindow());
        prompter_->nextFolder = QString::fromStdString(byWindow);
        for (int downPresses : {1, 1, 1}) {
            window_->cbLekar->setFocus();
            for (int i = 0; i < downPresses; ++i)
                QTest::keyClick(window_->cbLekar, Qt::Key_Down);
            QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        }
        QCOMPARE(folderEntries(byWindow), (std::vector<std::string>{"A1.txt", "B2.txt", "E.txt"}));

        const Outcome outcome = runExport({"--all", "--out", QString::fromStdString(byCommand)}, aliasFile());
        QCOMPARE(outcome.exitCode, 0);
        QVERIFY2(outcome.output.contains(QStringLiteral("3 of 3 files written (3 rows)")), qPrintable(outcome.output));
        QCOMPARE(folderEntries(byCommand), folderEntries(byWindow)); // no file for the inactive doctor
        for (const char* name : {"A1.txt", "B2.txt", "E.txt"})
            QCOMPARE(readFile(byCommand + "/" + name), readFile(byWindow + "/" + name));
        QVERIFY(readFile(byCommand + "/B2.txt").find("\x8D\xEE\xF1\xE5\xE2\xF1\xEA\xE0") != std::string::npos);
    }

    void namesEachFailureAndStillWritesTheOthers() {
        const std::string out = dir_->file("out");
        fs::create_directories(out);
        const Outcome mixed = runExport({"--out", QString::fromStdString(out), "A1", "900", "ZZZ", "E"}, aliasFile());
        QCOMPARE(mixed.exitCode, 1);
        QVERIFY2(mixed.errors.contains(QStringLiteral("pelmarot-export: 900: unknown or inactive doctor code")),
                 qPrintable(mixed.errors));
        QVERIFY(mixed.errors.contains(QStringLiteral("pelmarot-export: ZZZ: unknown or inactive doctor code")));
        QVERIFY(mixed.output.contains(QStringLiteral("2 of 4 files written")));
        QCOMPARE(folderEntries(out), (std::vector<std::string>{"A1.txt", "E.txt"}));

        // A folder that cannot be written: one message before any doctor is read, nothing is left behind.
        std::ofstream(dir_->file("plain-file")) << "not a folder";
        const Outcome blocked =
            runExport({"--out", QString::fromStdString(dir_->file("plain-file")), "A1", "E"}, aliasFile());
        QCOMPARE(blocked.exitCode, 1);
        QCOMPARE(blocked.errors, QStringLiteral("pelmarot-export: cannot write into %1: it is not a folder\n")
                                     .arg(QString::fromStdString(dir_->file("plain-file"))));
        QCOMPARE(readFile(dir_->file("plain-file")), std::string("not a folder"));
    }

    void textsTheCodePageCannotHoldAreWarnedAndCodesRefused() {
        runSql(registerPath(),
               "UPDATE Osigurenici SET IME = 'Hoxhë', PRE = 'Çlirim' WHERE MB = '1234567890123';"
               "INSERT INTO Lekari VALUES ('中1', 'Wang', 'Li', '001', 1), ('中2', 'Wang', 'Mei', '001', 1)");
        const std::string out = dir_->file("out");
        fs::create_directories(out);
        const Outcome all = runExport({"--all", "--out", QString::fromStdString(out)}, aliasFile());
        QCOMPARE(all.exitCode, 1);
        for (const char* line :
             {"pelmarot-export: warning: A1: Osigurenici, MB 1234567890123, column PRE: 'Çlirim' is delivered as "
              "'Clirim' (the code page windows-1251 cannot hold it)",
              "pelmarot-export: warning: A1: Osigurenici, MB 1234567890123, column IME: 'Hoxhë' is delivered as "
              "'Hoxhe' (the code page windows-1251 cannot hold it)",
              "pelmarot-export: ?1: qLekar: The doctor code '中1' cannot be held exactly by the code page windows-1251",
              "pelmarot-export: ?2: qLekar: The doctor code '中2' cannot be held exactly by the code page "
              "windows-1251"})
            QVERIFY2(all.errors.contains(QString::fromUtf8(line)), qPrintable(all.errors));
        for (const char* line : {"3 of 5 files written", "2 texts written transliterated; see the warnings above"})
            QVERIFY2(all.output.contains(QString::fromUtf8(line)), qPrintable(all.output));
        // Codes that would read "?1" and "?2" get no file, which could be another doctor's.
        QCOMPARE(folderEntries(out), (std::vector<std::string>{"A1.txt", "B2.txt", "E.txt"}));
        QVERIFY(readFile(out + "/A1.txt").find("Hoxhe") != std::string::npos);

        const Outcome accepted =
            runExport({"--accept-transliterated", "--out", QString::fromStdString(out), "A1"}, aliasFile());
        QCOMPARE(accepted.exitCode, 0);
        QVERIFY2(accepted.output.contains(
                     QStringLiteral("2 texts written transliterated; see the warnings above (accepted)")),
                 qPrintable(accepted.output));
        const Outcome unheldCode = runExport({"--out", QString::fromStdString(out), "中1", "E"}, aliasFile());
        QCOMPARE(unheldCode.exitCode, 1);
        QVERIFY2(unheldCode.errors.contains(QString::fromUtf8(
                     "pelmarot-export: 中1: the code page windows-1251 cannot hold this doctor code")),
                 qPrintable(unheldCode.errors));
        QVERIFY(unheldCode.output.contains(QStringLiteral("1 of 2 files written")));
    }

    void badUsageAndAMissingAliasAreReported() {
        QCOMPARE(runExport({}, aliasFile()).exitCode, 2);
        QCOMPARE(runExport({"--all", "A1"}, aliasFile()).exitCode, 2);
        QCOMPARE(runExport({"--bogus"}, aliasFile()).exitCode, 2);
        QCOMPARE(runExport({"--out"}, aliasFile()).exitCode, 2);
        QCOMPARE(runExport({"--help"}, aliasFile()).exitCode, 0);
        const Outcome noAlias = runExport({"--alias", "nowhere", "--all"}, aliasFile());
        QCOMPARE(noAlias.exitCode, 1);
        QVERIFY2(noAlias.errors.contains(QStringLiteral("Alias 'nowhere' is not defined")), qPrintable(noAlias.errors));

        // A month end that cannot read the register makes no month's folder.
        const std::string month = dir_->file("2026-12");
        const Outcome unread =
            runExport({"--alias", "nowhere", "--all", "--out", QString::fromStdString(month)}, aliasFile());
        QCOMPARE(unread.exitCode, 1);
        QVERIFY2(!fs::exists(month), "a month end that failed left an empty folder behind");
    }
};

GUI_TEST_SUITE(MonthEndTest)
#include "MonthEndTest.moc"
