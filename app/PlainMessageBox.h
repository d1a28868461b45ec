#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace app {

// The program's own message box: caption the application title, no icon, the message word-wrapped at most
// half the screen wide, one "OK" button that is both default and cancel button, centred on the screen.
// Ctrl+C beeps and copies the box's text to the clipboard.
class PlainMessageBox : public QDialog {
    Q_OBJECT
public:
    PlainMessageBox(const QString& caption, const QString& message, QWidget* parent = nullptr);

    QString message() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* label_;
    QPushButton* ok_;
};

} // namespace app
