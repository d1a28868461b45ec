// Runs every widget test class in one program, offscreen.
#include "GuiTests.h"

#include <QApplication>
#include <QTest>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmarot"));
    int failures = 0;
    for (QObject* suite : guiTestSuites()) {
        failures += QTest::qExec(suite, argc, argv);
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
