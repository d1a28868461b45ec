#pragma once

#include <QPushButton>

namespace app {

// A push button that Enter and Return press when it has the focus, as Space does. The window has no default
// button, so without this a clerk who reaches the button by keyboard could press it with Space only, while
// Enter is the key that confirms everywhere else in the program.
class KeyboardPushButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace app
