#pragma once

#include "data/InsuredList.h"
#include "data/RegionalSettings.h"
#include "export/ExportFile.h"
#include "files/FileError.h"

#include <cstddef>
#include <memory>
#include <string>

namespace exportfile {

// The name of a doctor's export file: the doctor code followed by ".txt" (the empty code gives ".txt").
std::string exportFileName(const std::string& doctorCode);

// Writes the export file of one doctor, "<doctorCode>.txt", into `folder` (the current directory when the
// folder is empty) from the insured-person list, replacing an earlier export of that name only once the new
// file is complete. A doctor code holding "/" or a NUL byte would name a file outside the folder: that throws
// files::FileError before anything is written. Every other failure throws too (files::FileError for the file system,
// the list's own error for a closed list) and leaves the folder as it was. Shows nothing.
//
// Before writing, the folder is swept of the temporary export files that dead exports left behind (see
// removeStaleExportFiles): this is the export of a single doctor, as the window makes it.
void exportDoctorFile(const std::string& folder, const std::string& doctorCode, data::InsuredList& list,
                      const data::RegionalSettings& settings);

// The same export without the sweep, for a run that writes many files into one folder and sweeps it once.
void writeDoctorFile(const std::string& folder, const std::string& doctorCode, data::InsuredList& list,
                     const data::RegionalSettings& settings);

// The export file of one doctor in `folder`, ready to take the bytes that writeDoctorFile would write; they
// replace an earlier export on commit(). Throws files::FileError for a code that names no plain file (see
// exportDoctorFile) and when the file cannot be created.
std::unique_ptr<ExportFile> createDoctorFile(const std::string& folder, const std::string& doctorCode);

// Removes the temporary files of export files (see randomTemporaryName) that no live export
// is writing, from exports that were killed or lost their machine. Returns how many it removed; never throws.
std::size_t removeStaleExportFiles(const std::string& folder);

} // namespace exportfile
