// Runs every widget test class in one program, offscreen.
#include "GuiTests.h"

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <cstring>

// "pelmarot_gui_tests [Class] [Qt Test arguments]": the arguments go to every suite, or to the one named first.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmarot"));
    const std::vector<QObject*> suites = guiTestSuites();
    const auto named = std::find_if(suites.begin(), suites.end(), [&](const QObject* suite) {
        return argc > 1 && std::strcmp(suite->metaObject()->className(), argv[1]) == 0;
    });
    std::vector<char*> arguments(argv, argv + argc);
    if (named != suites.end())
        arguments.erase(arguments.begin() + 1);
    int failures = 0;
    for (QObject* suite : suites) {
        if (named == suites.end() || suite == *named)
            failures += QTest::qExec(suite, static_cast<int>(arguments.size()), arguments.data());
        delete suite;
    }
    return failures == 0 ? 0 : 1;
}

namespace {
std::vector<std::function<QObject*()>>& factories() {
    static std::vector<std::function<QObject*()>> list;
    return list;
}
} // namespace

bool registerGuiSuite(std::function<QObject*()> make) {
    factories().push_back(std::move(make));
    return true;
}

std::vector<QObject*> guiTestSuites() {
    std::vector<QObject*> suites;
    for (const auto& make : factories())
        suites.push_back(make());
    return suites;
}
