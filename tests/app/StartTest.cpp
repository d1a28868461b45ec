// What happens before and as the window appears, run in child processes: the questions answered without a
// display.
#include "GuiTests.h"

#include <QProcess>
#include <QRegularExpression>
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

} // namespace

class StartTest : public QObject {
    Q_OBJECT

private slots:
    void helpAndVersionNeedNoDisplay() {
        const QString program = QString::fromLocal8Bit(qgetenv("PELMAROT_PELMAROT_EXE"));
        QVERIFY2(!program.isEmpty(), "PELMAROT_PELMAROT_EXE names the built window program");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(variable));

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
};

GUI_TEST_SUITE(StartTest)
#include "StartTest.moc"
