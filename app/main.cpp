#include "app/Program.h"
#include "app/SupportLog.h"
#include "app/Texts.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    // Answered before the application object exists, which needs a display.
    if (const std::optional<int> status = app::answerBeforeTheDisplay(argc, argv))
        return *status;
    app::installSupportLog(std::getenv(app::kSupportLogVariable));
    QApplication application(argc, argv);
    // The title captions the message boxes; it comes from the executable's own name.
    QApplication::setApplicationName(app::applicationTitle(QCoreApplication::applicationFilePath()));
    // Where the window system takes the icon from the desktop entry (Wayland), it finds the entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("pelmarot"));
    return app::runProgram(nullptr, app::showApplicationErrorBox);
}
