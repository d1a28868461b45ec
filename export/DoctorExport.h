#pragma once

#include "data/InsuredList.h"
#include "data/RegionalSettings.h"
#include "export/ExportError.h"

#include <string>

namespace exportfile {

// The name of a doctor's export file: the doctor code followed by ".txt" (the empty code gives ".txt").
std::string exportFileName(const std::string& doctorCode);

// Writes the export file of one doctor, "<doctorCode>.txt", into `folder` (the current directory when the
// folder is empty) from the insured-person list, replacing an earlier export of that name only once the new
// file is complete. A doctor code holding "/" or a NUL byte would name a file outside the folder: that throws
// ExportError before anything is written. Every other failure throws too (ExportError for the file system,
// the list's own error for a closed list) and leaves the folder as it was. Shows nothing.
void exportDoctorFile(const std::string& folder, const std::string& doctorCode, data::InsuredList& list,
                      const data::RegionalSettings& settings);

} // namespace exportfile
