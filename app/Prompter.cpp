#include "app/Prompter.h"

#include "app/PasswordDialog.h"
#include "app/PlainMessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

namespace app {

void DesktopPrompter::showMessage(const QString& message) {
    PlainMessageBox box(QApplication::applicationName(), message, owner_);
    box.exec();
}

void DesktopPrompter::showError(const QString& text) {
    // Application-modal: the other windows are disabled while it is up; the focus returns afterwards.
    QPointer<QWidget> focus = QApplication::focusWidget();
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok, owner_);
    box.setWindowModality(Qt::ApplicationModal);
    // A message may hold anything a file or folder name holds: it is never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
}

std::optional<QString> DesktopPrompter::chooseSaveFolder(const QString& fileName) {
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The export replaces an earlier file without asking; the name is fixed, only the folder counts.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setDirectory(QDir::currentPath());
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    const QFileInfo info(chosen);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

std::optional<QString> DesktopPrompter::askPassword(const QString& databaseName) {
    PasswordDialog dialog(databaseName, owner_);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.takePassword();
}

} // namespace app
