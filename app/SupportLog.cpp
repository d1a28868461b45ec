#include "app/SupportLog.h"

#include "data/DataError.h"

#include <QByteArray>
#include <QDateTime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace app {
Q_LOGGING_CATEGORY(lcData, "pelmarot.data")
Q_LOGGING_CATEGORY(lcEngine, "pelmarot.engine")
Q_LOGGING_CATEGORY(lcExport, "pelmarot.export")

namespace {

int logFd = STDERR_FILENO;
bool alsoToJournal = false;

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "message";
}

int journalPriority(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtInfoMsg:
        return LOG_INFO;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_ERR;
    case QtFatalMsg:
        return LOG_CRIT;
    }
    return LOG_NOTICE;
}

// systemd names the stream it connects a service's standard error to in JOURNAL_STREAM ("device:inode").
bool standardErrorIsTheJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat status {};
    if (stream == nullptr || fstat(STDERR_FILENO, &status) != 0)
        return false;
    unsigned long long device = 0, inode = 0;
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && device == status.st_dev && inode == status.st_ino;
}

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (written <= 0)
            return;
        done += written;
    }
}

void logMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const char* category = context.category ? context.category : "default";
    writeAll(logFd, supportLogLine(type, category, message).toUtf8() + '\n');
    if (alsoToJournal)
        sd_journal_send("MESSAGE=%s", message.toUtf8().constData(), "PRIORITY=%d", journalPriority(type),
                        "SYSLOG_IDENTIFIER=pelmarot", "QT_CATEGORY=%s", category, nullptr);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QString supportLogLine(QtMsgType type, const char* category, const QString& message) {
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + QString::fromUtf8(category) +
           QLatin1Char(' ') + QString::fromLatin1(levelName(type)) + QStringLiteral(": ") + message;
}

void installSupportLog(int fd) {
    logFd = fd;
    const char* setting = std::getenv(kSupportLogVariable);
    const bool journalWanted = setting != nullptr && std::strcmp(setting, "journal") == 0;
    alsoToJournal = journalWanted && fd == STDERR_FILENO && access("/run/systemd/journal/socket", W_OK) == 0 &&
                    !standardErrorIsTheJournal();
    QLoggingCategory::setFilterRules(QStringLiteral("pelmarot.*.debug=false"));
    qInstallMessageHandler(logMessage);
    if (setting != nullptr && !journalWanted && *setting != '\0')
        qCWarning(lcEngine).noquote() << QStringLiteral("%1=%2 is not understood; only 'journal' turns the journal on")
                                             .arg(QString::fromLatin1(kSupportLogVariable),
                                                  QString::fromLocal8Bit(setting));
}

QString supportLogText(const std::exception& failure) {
    if (const auto* dataError = dynamic_cast<const data::DataError*>(&failure))
        return QString::fromStdString(dataError->logText());
    return QString::fromUtf8(failure.what());
}

} // namespace app
