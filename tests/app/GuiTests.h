#pragma once

#include <QObject>
#include <functional>
#include <vector>

// Each widget test file registers its suite with GUI_TEST_SUITE(ClassName).
std::vector<QObject*> guiTestSuites();
bool registerGuiSuite(std::function<QObject*()> make);

#define GUI_TEST_SUITE(Class) static const bool registered##Class = registerGuiSuite([] { return new Class; });
