#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

namespace app {

class Prompter;

// What escaped the window's creation, for the "Application Error" box.
struct StartupFailure {
    QString kind;   // the failure's class name
    QString module; // the executable's file name
    std::uintptr_t place = 0;
    QString message;
};

StartupFailure describeStartupFailure(const std::exception& failure, const QString& executablePath);

// What the program answers from its command line alone, before any QApplication exists, which needs a display:
// --help and --version (or -h and -V) on standard output, exit status 0, the first asked winning; any word that
// is neither one of these nor an option the toolkit reads (-platform NAME, -display NAME, -style NAME, ...) is a
// usage error, one line and a hint on standard error, exit status 2. Returns nothing when the window should start.
std::optional<int> answerBeforeTheDisplay(int argc, const char* const* argv);

// Runs the program in an existing QApplication: creates the main window (which connects and opens the
// doctor list), shows it with the focus on the grid, and runs the event loop until it is closed. When the
// window cannot be created, `reportStartupFailure` is called and the result is 1.
int runProgram(Prompter* prompter, const std::function<void(const StartupFailure&)>& reportStartupFailure);

// The real "Application Error" box: task-modal, no owner, stop icon, OK.
void showApplicationErrorBox(const StartupFailure& failure);

} // namespace app
