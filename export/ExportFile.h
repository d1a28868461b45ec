#pragma once

#include "export/ExportError.h"
#include "export/ExportFormat.h"
#include "files/AtomicFile.h"

#include <string>
#include <string_view>

namespace exportfile {

// One export file of a folder, replaced whole or left as it was (files::AtomicFile), that the export format
// writes into.
class ExportFile final : public ExportOutput, public files::AtomicFile {
public:
    using files::AtomicFile::AtomicFile;
    void write(std::string_view bytes) override { files::AtomicFile::write(bytes); }
};

using files::FolderSync;

} // namespace exportfile
