#pragma once

#include "export/ExportFormat.h"
#include "files/AtomicFile.h"
#include "files/FileError.h"

#include <string>
#include <string_view>

namespace exportfile {

// One export file of a folder that the export format writes into: its bytes go to a files::AtomicFile, which
// replaces an earlier file of the name whole on its commit, or leaves it as it was.
class ExportFile final : public ExportOutput {
public:
    // See files::AtomicFile::AtomicFile. Throws files::FileError.
    ExportFile(const std::string& folder, const std::string& fileName) : file_(folder, fileName) {}

    void write(std::string_view bytes) override { file_.write(bytes); }

    // The file the bytes go to, for its commit.
    files::AtomicFile& atomicFile() { return file_; }

private:
    files::AtomicFile file_;
};

} // namespace exportfile
