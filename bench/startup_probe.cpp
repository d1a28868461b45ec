// Starts the program exactly as main.cpp does and ends as soon as the window has been shown and painted, so
// that the time from process start to the window shown can be measured from outside.
#include "app/DataGrid.h"
#include "app/Program.h"
#include "app/Texts.h"
#include "app/TfrmOsigurenici.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(app::applicationTitle(QCoreApplication::applicationFilePath()));
    app::TfrmOsigurenici window;
    window.show();
    window.DBGrid1->setFocus();
    window.repaint();
    QTimer::singleShot(0, &application, [] { QApplication::exit(0); });
    return QApplication::exec();
}
