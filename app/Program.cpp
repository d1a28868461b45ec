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
#include <algorithm>
#include <cxxabi.h>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

namespace app {
namespace {

constexpr const char* kProgram = "pelmarot";

constexpr const char* kUsage = "Usage: pelmarot [--help | --version] [toolkit options]\n"
                               "\n"
                               "Opens the window that lists the insured persons registered with a doctor and\n"
                               "exports the list as a fixed-width text file named after the doctor's code.\n"
                               "\n"
                               "The register is the database alias kapitacija of the alias file: the file that\n"
                               "PELMAROT_ALIASES names, else ~/.config/pelmarot/aliases.ini (under\n"
                               "$XDG_CONFIG_HOME when that is set), else /etc/pelmarot/aliases.ini.\n"
                               "\n"
                               "  -h, --help       this text\n"
                               "  -V, --version    the program's version\n"
                               "\n"
                               "The toolkit's own options are accepted as well, such as -platform NAME, -display\n"
                               "NAME or -style NAME. See pelmarot(1).\n";

// The options Qt reads from the command line itself, written "-name" or "--name"; a value follows as the next
// word or after "=".
struct ToolkitOption {
    std::string_view name;
    bool takesValue;
};
constexpr ToolkitOption kToolkitOptions[] = {{"platform", true},
                                             {"platformpluginpath", true},
                                             {"platformtheme", true},
                                             {"plugin", true},
                                             {"qwindowgeometry", true},
                                             {"qwindowicon", true},
                                             {"qwindowtitle", true},
                                             {"display", true},
                                             {"geometry", true},
                                             {"name", true},
                                             {"session", true},
                                             {"style", true},
                                             {"stylesheet", true},
                                             {"qmljsdebugger", true},
                                             {"reverse", false},
                                             {"widgetcount", false},
                                             {"nograb", false},
                                             {"dograb", false},
                                             {"sync", false}};

// Checks the words from argv[1] on; throws UsageError for the first that is neither the program's nor the
// toolkit's. Returns the program's own question (--help or --version), the first asked, when there is one.
std::optional<std::string_view> checkArguments(int argc, const char* const* argv) {
    std::optional<std::string_view> question;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h" || word == "--version" || word == "-V") {
            if (!question)
                question = word == "--help" || word == "-h" ? "--help" : "--version";
            continue;
        }
        if (word.size() < 2 || word.front() != '-')
            throw commandline::UsageError("unexpected operand '" + std::string(word) + "'");
        std::string_view name = word.substr(word.starts_with("--") ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool valueAttached = equals != std::string_view::npos;
        name = name.substr(0, equals);
        const auto known = std::find_if(std::begin(kToolkitOptions), std::end(kToolkitOptions),
                                        [name](const ToolkitOption& option) { return option.name == name; });
        if (known == std::end(kToolkitOptions))
            throw commandline::UsageError("unknown option " + std::string(word.substr(0, word.find('='))));
        if (!known->takesValue && valueAttached)
            throw commandline::UsageError(std::string(word.substr(0, word.find('='))) + " takes no value");
        if (known->takesValue && !valueAttached && ++i >= argc)
            throw commandline::UsageError(std::string(word) + " needs a value");
    }
    return question;
}

QString className(const std::exception& failure) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(typeid(failure).name(), nullptr, nullptr, &status), std::free);
    QString name = QString::fromLatin1(status == 0 && demangled ? demangled.get() : typeid(failure).name());
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
    return colons >= 0 ? name.mid(colons + 2) : name;
}

} // namespace

std::optional<int> answerBeforeTheDisplay(int argc, const char* const* argv) {
    try {
        const std::optional<std::string_view> question = checkArguments(argc, argv);
        if (question == "--help")
            return commandline::printHelpOrVersion(kProgram, kUsage);
        if (question == "--version")
            return commandline::printHelpOrVersion(kProgram, commandline::versionText(kProgram));
    } catch (const commandline::UsageError& error) {
        return commandline::usageError(kProgram, error.what());
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
    // Where no window manager activates a new window (a bare X session, a kiosk), the keyboard would reach the
    // window without the application knowing which control has the focus, so leaving the box would load nothing.
    window->activateWindow();
    window->DBGrid1->setFocus(Qt::OtherFocusReason);
    return QApplication::exec();
}

} // namespace app
