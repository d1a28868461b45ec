#include "app/Texts.h"

#include <QFileInfo>

namespace app {

QString applicationTitle(const QString& executablePath) {
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

QString applicationErrorText(const QString& kind, const QString& module, std::uintptr_t place, const QString& message) {
    QString text =
        QStringLiteral("Exception %1 in module %2 at %3.\r\n")
            .arg(kind, module,
                 QStringLiteral("%1").arg(static_cast<qulonglong>(place & 0xFFFFFFFFu), 8, 16, QChar(u'0')).toUpper());
    text += message;
    if (!message.isEmpty() && !message.endsWith(u'.'))
        text += u'.';
    return text + QStringLiteral("\r\n");
}

QString plainMessageClipboardText(const QString& caption, const QString& message) {
    const QString rule(27, u'-');
    const QString eol = QStringLiteral("\r\n");
    return rule + eol + caption + eol + rule + eol + message + eol + rule + eol + QStringLiteral("OK   ") + eol + rule +
           eol;
}

} // namespace app
