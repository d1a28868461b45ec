#include "app/SupportLog.h"

#include "data/DataError.h"

#include <QByteArray>
#include <QDateTime>
#include <cstdlib>
#include <cstring>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace app {
Q_LOGGING_CATEGORY(lcData, "pelmarot.data")
Q_LOGGING_CATEGORY(lcEngine, "pelmarot.engine")
Q_LOGGING_CATEGORY(lcExport, "pelmarot.export")

namespace {

int logFd = STDERR_FILENO;
SupportLogTarget target = SupportLogTarget::None;
QtMessageHandler toolkitHandler = nullptr; // where Qt sends messages when the support log is off

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
    switch (target) {
    case SupportLogTarget::None:
        // The program's own lines are dropped; the toolkit's go on as they would without this handler.
        if (std::strncmp(category, "pelmarot.", 9) != 0 && toolkitHandler != nullptr)
            toolkitHandler(type, context, message);
        break;
    case SupportLogTarget::StandardError:
        writeAll(logFd, supportLogLine(type, category, message).toUtf8() + '\n');
        break;
    case SupportLogTarget::Journal:
        sd_journal_send("MESSAGE=%s", message.toUtf8().constData(), "PRIORITY=%d", journalPriority(type),
                        "SYSLOG_IDENTIFIER=pelmarot", "QT_CATEGORY=%s", category, nullptr);
        break;
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QString supportLogLine(QtMsgType type, const char* category, const QString& message) {
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + QString::fromUtf8(category) +
           QLatin1Char(' ') + QString::fromLatin1(levelName(type)) + QStringLiteral(": ") + message;
}

std::optional<SupportLogTarget> supportLogTarget(const char* setting) {
    if (setting == nullptr || *setting == '\0')
        return SupportLogTarget::None;
    if (std::strcmp(setting, "stderr") == 0)
        return SupportLogTarget::StandardError;
    if (std::strcmp(setting, "journal") == 0)
        return SupportLogTarget::Journal;
    return std::nullopt;
}

void installSupportLog(const char* setting, int fd) {
    logFd = fd;
    const std::optional<SupportLogTarget> wanted = supportLogTarget(setting);
    target = wanted.value_or(SupportLogTarget::None);
    QString note;
    if (!wanted) {
        note = QStringLiteral("%1=%2 is not understood; 'stderr' or 'journal' turns the support log on")
                   .arg(QString::fromLatin1(kSupportLogVariable), QString::fromLocal8Bit(setting));
    } else if (target == SupportLogTarget::Journal && access("/run/systemd/journal/socket", W_OK) != 0) {
        target = SupportLogTarget::StandardError;
        note = QStringLiteral("%1=journal: this session has no journal; the support log goes to standard error")
                   .arg(QString::fromLatin1(kSupportLogVariable));
    }
    QLoggingCategory::setFilterRules(QStringLiteral("pelmarot.*.debug=false"));
    const QtMessageHandler previous = qInstallMessageHandler(logMessage);
    if (previous != logMessage)
        toolkitHandler = previous;
    if (!note.isEmpty())
        writeAll(logFd, supportLogLine(QtWarningMsg, "pelmarot.engine", note).toUtf8() + '\n');
}

QString supportLogText(const std::exception& failure) {
    if (const auto* dataError = dynamic_cast<const data::DataError*>(&failure))
        return QString::fromStdString(dataError->logText());
    return QString::fromUtf8(failure.what());
}

} // namespace app
