#pragma once

#include <QPushButton>

namespace app {

// A push button that Enter and Return press when it has the focus, as Space does, the way buttons of the
// desktop the window follows behave outside dialogs too.
class KeyboardPushButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace app
