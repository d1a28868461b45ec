#pragma once

#include "files/FileError.h"

namespace exportfile {

// A failure to write an export file. The text names the file (or folder) and the system's reason, so that a
// command-line caller can show it as it stands; the window shows its own fixed message instead.
using ExportError = files::FileError;

} // namespace exportfile
