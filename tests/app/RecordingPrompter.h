#pragma once

#include "app/Prompter.h"

#include <QStringList>
#include <functional>

// Stands in for the modal boxes and the save dialog so the window can be driven without blocking.
class RecordingPrompter final : public app::Prompter {
public:
    void showMessage(const QString& message) override { messages << message; }
    void showError(const QString& text) override { errors << text; }
    std::optional<QString> chooseSaveFolder(const QString& fileName) override {
        offeredNames << fileName;
        if (onDialog)
            onDialog();
        return nextFolder;
    }

    std::optional<QString> askPassword(const QString& databaseName) override {
        passwordRequests << databaseName;
        if (passwordAnswers.isEmpty())
            return std::nullopt;
        return passwordAnswers.takeFirst();
    }

    QStringList messages;
    QStringList passwordRequests;
    QStringList passwordAnswers; // answered in turn; none left: the user cancels
    QStringList errors;
    QStringList offeredNames;
    std::optional<QString> nextFolder; // nullopt: the user cancels
    std::function<void()> onDialog;    // runs while the dialog is "open"
};
