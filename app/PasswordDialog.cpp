#include "app/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

PasswordDialog::PasswordDialog(const QString& databaseName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      field_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("PasswordDialog"));
    setWindowTitle(QStringLiteral("Enter password"));
    setModal(true);
    auto* label = new QLabel(QStringLiteral("Password for %1:").arg(databaseName), this);
    label->setBuddy(field_);
    field_->setObjectName(QStringLiteral("password"));
    field_->setEchoMode(QLineEdit::Password);
    field_->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // '*'
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    ok_->setEnabled(false);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(field_, &QLineEdit::textChanged, this, [this](const QString& text) { ok_->setEnabled(!text.isEmpty()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(field_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString PasswordDialog::password() const { return field_->text(); }

QString PasswordDialog::takePassword() {
    QString password = field_->text();
    field_->clear();
    return password;
}

} // namespace app
