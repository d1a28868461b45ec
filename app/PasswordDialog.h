#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace app {

// "Enter password": asked when the database wants a password that the configuration does not give. The
// field echoes "*"; "OK" is enabled once something is typed.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit PasswordDialog(const QString& databaseName, QWidget* parent = nullptr);

    QString password() const;
    // The typed password, which the field then no longer holds.
    QString takePassword();

private:
    QLineEdit* field_;
    QPushButton* ok_;
};

} // namespace app
