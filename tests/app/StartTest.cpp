// What happens before and as the window appears: the questions answered without a display, and where on
// screens of other sizes and densities the window stands. Both run real programs in child processes, since
// a process has one platform and one screen.
#include "GuiTests.h"
#include "WindowFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60'000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// This process's environment without anything that names a display or a platform, so that a program that
// opened one would try the real default and fail.
QProcessEnvironment withoutDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    return environment;
}

QRect rectFrom(const QString& line) {
    const QStringList numbers = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return numbers.size() == 4 ? QRect(numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt(), numbers[3].toInt())
                               : QRect();
}

} // namespace

class StartTest : public QObject, private WindowFixture {
    Q_OBJECT

private slots:
    void cleanup() { tearDown(); }

    void helpAndVersionNeedNoDisplay() {
        const QString program = QString::fromLocal8Bit(qgetenv("PELMAROT_PELMAROT_EXE"));
        QVERIFY2(!program.isEmpty(), "PELMAROT_PELMAROT_EXE names the built window program");
        const QProcessEnvironment environment = withoutDisplay();

        const Run help = run(program, {QStringLiteral("--help")}, environment);
        QCOMPARE(help.status, 0);
        QVERIFY2(help.out.startsWith(QStringLiteral("Usage: pelmarot ")), qPrintable(help.out));
        for (const char* named : {"kapitacija", "PELMAROT_ALIASES", "~/.config/pelmarot/aliases.ini",
                                  "/etc/pelmarot/aliases.ini", "pelmarot(1)"})
            QVERIFY2(help.out.contains(QString::fromLatin1(named)), named);
        QCOMPARE(help.err, QString());

        const Run version = run(
            program, {QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--version")}, environment);
        QCOMPARE(version.status, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^pelmarot \\d+\\.\\d+\\.\\d+\\n$")).match(version.out).hasMatch(),
                 qPrintable(version.out));
    }

    // A word that is neither the program's nor the toolkit's ends the program with the usage error before it
    // needs a display, which it would otherwise fail to open with an abort.
    void badArgumentsAreAUsageErrorWithoutADisplay() {
        const QString program = QString::fromLocal8Bit(qgetenv("PELMAROT_PELMAROT_EXE"));
        QVERIFY2(!program.isEmpty(), "PELMAROT_PELMAROT_EXE names the built window program");
        const QProcessEnvironment environment = withoutDisplay();
        const struct {
            QStringList arguments;
            const char* error;
        } cases[] = {
            {{QStringLiteral("--bogus")}, "unknown option --bogus"},
            {{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-x=1")}, "unknown option -x"},
            {{QStringLiteral("--version"), QStringLiteral("k.sqlite")}, "unexpected operand 'k.sqlite'"},
            {{QStringLiteral("-reverse=yes")}, "-reverse takes no value"},
            {{QStringLiteral("-style")}, "-style needs a value"},
        };
        for (const auto& bad : cases) {
            const Run result = run(program, bad.arguments, environment);
            QCOMPARE(result.status, 2);
            QCOMPARE(result.err, QStringLiteral("pelmarot: %1\nTry 'pelmarot --help' for more information.\n")
                                     .arg(QString::fromLatin1(bad.error)));
            QCOMPARE(result.out, QString());
        }
        // The toolkit's options pass, in both spellings: --version answers after them.
        const Run version = run(program,
                                {QStringLiteral("--style=fusion"), QStringLiteral("-display"), QStringLiteral(":9"),
                                 QStringLiteral("-reverse"), QStringLiteral("-V")},
                                environment);
        QCOMPARE(version.status, 0);
        QVERIFY2(version.out.startsWith(QStringLiteral("pelmarot ")), qPrintable(version.out + version.err));
    }

    // On this process's screen the whole frame lies within the available area. PELMAROT_PLACEMENT_REPORT names a
    // file for both geometries, which the runs on other screens below read.
    void windowLiesWithinTheScreen() {
        useRegister({{"100001", "Petrovski", "Ilija"}}, {});
        QVERIFY(openWindow());
        const QRect available = window_->screen()->availableGeometry();
        const QRect frame = window_->frameGeometry();
        QVERIFY2(available.contains(frame), qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                                           .arg(frame.x())
                                                           .arg(frame.y())
                                                           .arg(frame.width())
                                                           .arg(frame.height())));
        const QString report = qEnvironmentVariable("PELMAROT_PLACEMENT_REPORT");
        if (report.isEmpty())
            return;
        QFile file(report);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const QRect& r : {available, frame})
            file.write(QStringLiteral("%1 %2 %3 %4\n").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toUtf8());
    }

    void windowStandsAtItsPlaceOrAsNearAsTheScreenAllows_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<bool>("qtScales");
        QTest::addColumn<QPoint>("expectedCorner"); // of the frame; -1 for an axis where it is moved to fit
        QTest::newRow("large screen at 96 dpi") << "\"width\": 1920, \"height\": 1080" << true << QPoint(237, 191);
        // Qt scales by 1.25: 237,191 of the screen's own pixels is 190,153 of Qt's, but 1024 is only 819 wide.
        QTest::newRow("1024x768 at 120 dpi")
            << "\"width\": 1024, \"height\": 768, \"logicalDpi\": 120" << true << QPoint(-1, 153);
        // The window scales its own fonts and layout instead.
        QTest::newRow("1024x768 at 120 dpi, no scaling by Qt")
            << "\"width\": 1024, \"height\": 768, \"logicalDpi\": 120" << false << QPoint(-1, 191);
    }

    void windowStandsAtItsPlaceOrAsNearAsTheScreenAllows() {
        QFETCH(QString, screen);
        QFETCH(bool, qtScales);
        QFETCH(QPoint, expectedCorner);
        QTemporaryDir dir;
        QFile config(dir.filePath(QStringLiteral("screen.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("{\"screens\": [{\"name\": \"s\", %1}]}").arg(screen).toUtf8());
        config.close();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           QStringLiteral("offscreen:configfile=") + config.fileName());
        environment.insert(QStringLiteral("PELMAROT_PLACEMENT_REPORT"), dir.filePath(QStringLiteral("report")));
        if (!qtScales)
            environment.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), QStringLiteral("0"));
        const Run child = run(QCoreApplication::applicationFilePath(),
                              {QStringLiteral("StartTest"), QStringLiteral("windowLiesWithinTheScreen")}, environment);
        QVERIFY2(child.status == 0, qPrintable(child.out + child.err));

        QFile report(dir.filePath(QStringLiteral("report")));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'));
        QVERIFY(lines.size() >= 2);
        const QRect available = rectFrom(lines[0]);
        const QRect frame = rectFrom(lines[1]);
        QVERIFY(available.contains(frame));
        // Where it is moved, it is moved just enough: to the edge it would have passed.
        QCOMPARE(frame.x(), expectedCorner.x() >= 0 ? expectedCorner.x() : available.right() + 1 - frame.width());
        QCOMPARE(frame.y(), expectedCorner.y() >= 0 ? expectedCorner.y() : available.bottom() + 1 - frame.height());
    }
};

GUI_TEST_SUITE(StartTest)
#include "StartTest.moc"
