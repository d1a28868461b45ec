#include "app/Program.h"

#include "app/DataGrid.h"
#include "app/SupportLog.h"
#include "app/Texts.h"
#include "app/TfrmOsigurenici.h"
#include "engine/EngineError.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace app {
namespace {

QString className(const std::exception& failure) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(typeid(failure).name(), nullptr, nullptr, &status), std::free);
    QString name = QString::fromLatin1(status == 0 && demangled ? demangled.get() : typeid(failure).name());
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
    return colons >= 0 ? name.mid(colons + 2) : name;
}

} // namespace

StartupFailure describeStartupFailure(const std::exception& failure, const QString& executablePath) {
    StartupFailure described;
    described.kind = className(failure);
    described.module = QFileInfo(executablePath).fileName();
    if (const auto* engineError = dynamic_cast<const engine::EngineError*>(&failure))
        described.place = engineError->place();
    described.message = QString::fromUtf8(failure.what());
    return described;
}

void showApplicationErrorBox(const StartupFailure& failure) {
    const QString text = applicationErrorText(failure.kind, failure.module, failure.place, failure.message);
    // Also in the support log, for a start from a terminal, a script or the desktop.
    qCCritical(lcEngine).noquote() << text;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"), text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

int runProgram(Prompter* prompter, const std::function<void(const StartupFailure&)>& reportStartupFailure) {
    std::unique_ptr<TfrmOsigurenici> window;
    try {
        window = std::make_unique<TfrmOsigurenici>(prompter);
    } catch (const std::exception& failure) {
        reportStartupFailure(describeStartupFailure(failure, QCoreApplication::applicationFilePath()));
        return 1;
    }
    window->show();
    window->DBGrid1->setFocus(Qt::OtherFocusReason);
    return QApplication::exec();
}

} // namespace app
