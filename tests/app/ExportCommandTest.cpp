// The export button through the real window: the dialog behind the recording prompter, real files.
#include "GuiTests.h"
#include "WindowFixture.h"
#include "app/DataGrid.h"
#include "app/DoctorLookupBox.h"
#include "app/SupportLog.h"
#include "app/TfrmOsigurenici.h"
#include "files/FileDescriptor.h"
#include "support/FixtureRegister.h"

#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const std::string kEol = "\r\n";
const std::string kTitleLine = "  FAKSIMIL           EMBG                 IME                TIME                 PRE"
                               "   DATUM PR.    BROJ PR.  PROCENT" +
                               kEol;

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

} // namespace

class ExportCommandTest : public QObject, private WindowFixture {
    Q_OBJECT

    QString startDir_;

    void openWindow() { QVERIFY(WindowFixture::openWindow()); }

    // Chooses a doctor with the keyboard and clicks the button, which first leaves the box.
    void chooseAndExport(int downPresses) {
        window_->cbLekar->setFocus();
        for (int i = 0; i < downPresses; ++i)
            QTest::keyClick(window_->cbLekar, Qt::Key_Down);
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
    }

    std::string exportFolder() const { return dir_->file("out"); }

private slots:
    void initTestCase() {
        startDir_ = QDir::currentPath();
        // The C locale: the short date pattern is "m/d/yy".
        qputenv("LC_ALL", "C");
    }
    void cleanupTestCase() { QDir::setCurrent(startDir_); }

    void init() {
        PersonRow first{"1234567890123", "Petrovski", "Ilija", "Ana", "A1", "12", true, false, "2001-02-03", {}};
        PersonRow second{"99", "", "", "Ќ", "A1", "87654321", true, true, {}, {}};
        PersonRow gone{"77", "Gone", "", "", "A1", "1", false, false, "2001-01-01", std::string("5")};
        useRegister({{"A1", "Petrovski", "Ilija"}, {"X/1", "Bad", "Code"}, {"E", "Empty", "Doc"}},
                    {first, second, gone});
        fs::create_directory(exportFolder());
        QDir::setCurrent(startDir_);
    }

    void cleanup() {
        tearDown();
        QDir::setCurrent(startDir_);
    }

    void writesTheDoctorsFileIntoTheChosenFolderWhateverNameWasTyped() {
        openWindow();
        prompter_->nextFolder = QString::fromStdString(exportFolder());
        fs::create_directory(dir_->file("out/A1.txt.d")); // unrelated entries stay untouched
        chooseAndExport(1);
        QCOMPARE(prompter_->offeredNames, QStringList{QStringLiteral("A1.txt")});
        QCOMPARE(prompter_->messages, QStringList{QString::fromUtf8(app::TfrmOsigurenici::kSuccessMessage)});
        const std::string expected = kTitleLine + " " + kEol + blanks(8) + "A1" + blanks(2) + "1234567890123" +
                                     blanks(17) + "Ana" + blanks(15) + "Ilija" + blanks(11) + "Petrovski" + blanks(6) +
                                     "2/3/01" + blanks(10) + "12" + blanks(7) + "30" + kEol + blanks(8) + "A1" +
                                     blanks(13) + "99" + blanks(19) + "\x8D" + blanks(20) + blanks(20) + blanks(4) +
                                     "12/30/99" + blanks(4) + "87654321" + blanks(7) + "70" + kEol;
        QCOMPARE(readFile(exportFolder() + "/A1.txt"), expected);
        QCOMPARE(folderEntries(exportFolder()), (std::vector<std::string>{"A1.txt", "A1.txt.d"}));
        // The folder of the dialog stays the current directory; the walk leaves the grid on the last row.
        QCOMPARE(QDir::currentPath(), QString::fromStdString(exportFolder()));
        QTRY_COMPARE(window_->DBGrid1->currentIndex().row(), 1);

        // A second export replaces the first without asking.
        std::ofstream(exportFolder() + "/A1.txt") << "an older, different export";
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        QCOMPARE(readFile(exportFolder() + "/A1.txt"), expected);
        QCOMPARE(prompter_->messages.size(), 2);
    }

    void cancelStopsSilentlyAndADoctorWithoutPersonsGivesTwoLines() {
        openWindow();
        chooseAndExport(3); // 'E', no persons; the prompter cancels
        QVERIFY(prompter_->messages.isEmpty());
        QVERIFY(folderEntries(exportFolder()).empty());
        prompter_->nextFolder = QString::fromStdString(exportFolder());
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        QCOMPARE(readFile(exportFolder() + "/E.txt"), kTitleLine + " " + kEol);
    }

    void failuresShowTheFailureMessageAndLeaveNothingBehind() {
        std::ofstream(exportFolder() + "/A1.txt") << "earlier export";
        openWindow();
        prompter_->nextFolder = QString::fromStdString(exportFolder());
        const QString failure = QString::fromUtf8(app::TfrmOsigurenici::kFailureMessage);

        // The doctor box never left: the list is closed; the file is named after the first doctor.
        window_->btnEksportiraj->click();
        QCOMPARE(prompter_->offeredNames, QStringList{QStringLiteral("A1.txt")});
        QCOMPARE(prompter_->messages, QStringList{failure});
        QCOMPARE(readFile(exportFolder() + "/A1.txt"), std::string("earlier export"));
        QCOMPARE(folderEntries(exportFolder()), std::vector<std::string>{"A1.txt"});

        // The folder is removed while the dialog is open.
        const std::string doomed = dir_->file("doomed");
        fs::create_directory(doomed);
        prompter_->nextFolder = QString::fromStdString(doomed);
        prompter_->onDialog = [&] { fs::remove(doomed); };
        chooseAndExport(1);
        QCOMPARE(prompter_->messages.size(), 2);
        QCOMPARE(prompter_->messages.last(), failure);
        QVERIFY(!fs::exists(doomed));

        // The name is taken by a folder.
        prompter_->onDialog = nullptr;
        const std::string taken = dir_->file("taken");
        fs::create_directories(taken + "/A1.txt");
        prompter_->nextFolder = QString::fromStdString(taken);
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        QCOMPARE(prompter_->messages.last(), failure);
        QCOMPARE(folderEntries(taken), std::vector<std::string>{"A1.txt"});

        // A code with "/" would write outside the folder: nothing is written anywhere.
        prompter_->nextFolder = QString::fromStdString(exportFolder());
        window_->cbLekar->setFocus();
        QTest::keyClick(window_->cbLekar, Qt::Key_Down);
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        QCOMPARE(prompter_->offeredNames.last(), QStringLiteral("X/1.txt"));
        QCOMPARE(prompter_->messages.last(), failure);
        QCOMPARE(folderEntries(exportFolder()), std::vector<std::string>{"A1.txt"});
        QVERIFY(!fs::exists(exportFolder() + "/X"));
        QCOMPARE(readFile(exportFolder() + "/A1.txt"), std::string("earlier export"));
    }

    void everyExportAndTheCauseOfAFailureReachTheSupportLog() {
        const std::string logPath = dir_->file("support.log");
        files::FileDescriptor log(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        QVERIFY(log.valid());
        app::installSupportLog("stderr", log.get());
        openWindow();
        prompter_->nextFolder = QString::fromStdString(exportFolder());
        chooseAndExport(1);
        const std::string taken = dir_->file("taken");
        fs::create_directories(taken + "/A1.txt");
        prompter_->nextFolder = QString::fromStdString(taken);
        QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
        qInstallMessageHandler(nullptr);
        log.reset();

        const QString written = QString::fromStdString(readFile(logPath));
        const QRegularExpression exported(
            QStringLiteral(R"(\d{4}-\d\d-\d\dT[\d:.]+ pelmarot\.export info: Exported 2 rows into A1\.txt in the )"
                           "folder %1 in \\d+ ms\n")
                .arg(QRegularExpression::escape(QString::fromStdString(exportFolder()))));
        QVERIFY2(exported.match(written).hasMatch(), qPrintable(written));
        const QString failed =
            QStringLiteral(" pelmarot.export warning: Export into %1 failed: ").arg(QString::fromStdString(taken));
        QVERIFY2(written.contains(failed), qPrintable(written));
        QVERIFY2(written.contains(QString::fromStdString(taken + "/A1.txt")), qPrintable(written));
        QCOMPARE(prompter_->messages.size(), 2);
    }

    // Without PELMAROT_SUPPORT_LOG, or with a value it does not understand, an export and a failed one leave no
    // line anywhere; a value not understood is named once.
    void theSupportLogIsWrittenOnlyWhenASupportPersonTurnsItOn() {
        openWindow();
        int downPresses = 1; // to the first doctor, who then stays chosen
        for (const char* setting : {static_cast<const char*>(nullptr), "", "Stderr"}) {
            const std::string logPath = dir_->file("support.log");
            files::FileDescriptor log(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
            QVERIFY(log.valid());
            app::installSupportLog(setting, log.get());
            prompter_->nextFolder = QString::fromStdString(exportFolder());
            chooseAndExport(std::exchange(downPresses, 0));
            prompter_->nextFolder = QString::fromStdString(dir_->file("missing"));
            QTest::mouseClick(window_->btnEksportiraj, Qt::LeftButton);
            qCWarning(app::lcEngine) << "a failure's cause";
            qInstallMessageHandler(nullptr);
            log.reset();
            const std::string expected =
                setting != nullptr && *setting != '\0'
                    ? " pelmarot.engine warning: PELMAROT_SUPPORT_LOG=Stderr is not understood; 'stderr' or "
                      "'journal' turns the support log on\n"
                    : "";
            const std::string written = readFile(logPath);
            QCOMPARE(written.empty() ? written : written.substr(written.find(' ')), expected);
        }
        const QString success = QString::fromUtf8(app::TfrmOsigurenici::kSuccessMessage);
        const QString failure = QString::fromUtf8(app::TfrmOsigurenici::kFailureMessage);
        QCOMPARE(prompter_->messages, (QStringList{success, failure, success, failure, success, failure}));
    }
};

GUI_TEST_SUITE(ExportCommandTest)
#include "ExportCommandTest.moc"
