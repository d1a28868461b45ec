#include "app/Program.h"

#include "app/DataGrid.h"
#include "app/SupportLog.h"
#include "app/Texts.h"
#include "app/TfrmOsigurenici.h"
#include "engine/EngineError.h"

#include "cli/CommandLine.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace app {
namespace {

constexpr const char* kProgram = "pelmarot";

constexpr const char* kUsage = "Usage: pelmarot [--help | --version]\n"
                               "\n"
                               "Opens the window that lists the insured persons registered with a doctor and\n"
                               "exports the list as a fixed-width text file named after the doctor's code.\n"
                               "\n"
                               "The register is the database alias kapitacija of the alias file: the file that\n"
                               "PELMAROT_ALIASES names, else ~/.config/pelmarot/aliases.ini (under\n"
                               "$XDG_CONFIG_HOME when that is set), else /etc/pelmarot/aliases.ini.\n"
                               "\n"
                               "      --help       this text\n"
                               "      --version    the program's version\n"
                               "\n"
                               "Other arguments are the toolkit's own, such as -platform. See pelmarot(1).\n";

QString className(const std::exception& failure) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(typeid(failure).name(), nullptr, nullptr, &status), std::free);
    QString name = QString::fromLatin1(status == 0 && demangled ? demangled.get() : typeid(failure).name());
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
    return colons >= 0 ? name.mid(colons + 2) : name;
}

} // namespace

std::optional<int> answerHelpOrVersion(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0)
            return commandline::printHelpOrVersion(kProgram, kUsage);
        if (std::strcmp(argv[i], "--version") == 0)
            return commandline::printHelpOrVersion(kProgram, commandline::versionText(kProgram));
    }
    return std::nullopt;
}

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
