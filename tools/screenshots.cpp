// Takes the README's screenshots of the real window: run under an X server (scripts/screenshots.sh starts
// Xvfb) with PELMAROT_ALIASES naming a register. Writes OUTDIR/window.png (a doctor's list loaded) and
// OUTDIR/doctor-box.png (the doctor box open over it).
#include "app/DataGrid.h"
#include "app/DoctorLookupBox.h"
#include "app/Prompter.h"
#include "app/Texts.h"
#include "app/TfrmOsigurenici.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>

namespace {

// The part of the screen the window (and its drop-down below it) covers.
bool grab(const QWidget& window, int extraBelow, const QString& path) {
    QApplication::processEvents();
    QTest::qWait(300);
    const QRect frame = window.frameGeometry().adjusted(-2, -2, 2, 2 + extraBelow);
    const QPixmap shot = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return !shot.isNull() && shot.save(path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(app::applicationTitle(QCoreApplication::applicationFilePath()));
    app::TfrmOsigurenici window;
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window) || !QTest::qWaitForWindowActive(&window))
        return 1;
    QTest::qWait(300);

    // Choose the third doctor with the keyboard and leave the box, as a clerk would.
    window.cbLekar->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(window.cbLekar, Qt::Key_Down);
    QTest::keyClick(window.cbLekar, Qt::Key_Tab);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    bool ok = grab(window, 0, folder + QStringLiteral("/window.png"));

    window.cbLekar->setFocus();
    window.cbLekar->openDropDown();
    ok = grab(window, 0, folder + QStringLiteral("/doctor-box.png")) && ok;
    window.cbLekar->closeDropDown(false);
    return ok ? 0 : 1;
}
