#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace app {

// Everything the window asks of the user or tells the user in a modal box, behind one seam so that the
// window can be driven by tests without blocking.
class Prompter {
public:
    virtual ~Prompter() = default;

    // The plain message box; returns when the user closes it.
    virtual void showMessage(const QString& message) = 0;
    // The error box with the stop icon; `text` is shown as it stands (the full-stop rule is applied before).
    virtual void showError(const QString& text) = 0;
    // The save dialog offering `fileName` in the process's current folder. Returns the folder in which the
    // user accepted it, or nullopt when the user cancelled.
    virtual std::optional<QString> chooseSaveFolder(const QString& fileName) = 0;
    // The "Enter password" dialog for a database; nullopt when the user cancels.
    virtual std::optional<QString> askPassword(const QString& databaseName) = 0;
};

// The real boxes and dialogs.
class DesktopPrompter final : public Prompter {
public:
    explicit DesktopPrompter(QWidget* owner) : owner_(owner) {}
    void showMessage(const QString& message) override;
    void showError(const QString& text) override;
    std::optional<QString> chooseSaveFolder(const QString& fileName) override;
    std::optional<QString> askPassword(const QString& databaseName) override;

private:
    QWidget* owner_;
};

} // namespace app
