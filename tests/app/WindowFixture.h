#pragma once

#include "RecordingPrompter.h"
#include "app/TfrmOsigurenici.h"
#include "support/FixtureRegister.h"

#include <QTest>
#include <memory>

// A register in a temporary folder, the alias kapitacija naming it, and the main window over it with the
// recording prompter. Test classes derive from it and call useRegister() in init() and tearDown() in cleanup().
class WindowFixture {
protected:
    void useRegister(const std::vector<testsupport::DoctorRow>& doctors,
                     const std::vector<testsupport::PersonRow>& persons) {
        dir_ = std::make_unique<testsupport::TempDir>();
        testsupport::writeSqliteRegister(registerPath(), doctors, persons);
        alias_ = std::make_unique<testsupport::AliasFileScope>(
            dir_->file("aliases.ini"), testsupport::AliasFileScope::sqliteAlias(registerPath()));
    }

    std::string registerPath() const { return dir_->file("k.sqlite"); }

    // Creates and shows the window; false when it never became visible.
    bool openWindow() {
        prompter_ = std::make_unique<RecordingPrompter>();
        window_ = std::make_unique<app::TfrmOsigurenici>(prompter_.get());
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }

    void tearDown() {
        window_.reset();
        prompter_.reset();
        alias_.reset();
        dir_.reset();
    }

    std::unique_ptr<testsupport::TempDir> dir_;
    std::unique_ptr<testsupport::AliasFileScope> alias_;
    std::unique_ptr<RecordingPrompter> prompter_;
    std::unique_ptr<app::TfrmOsigurenici> window_;
};
