#include "export/DoctorExport.h"

#include "export/ExportFile.h"
#include "export/ExportFormat.h"
#include "files/Folder.h"
#include "files/StaleTemporaryFiles.h"

#include <string_view>

namespace exportfile {
namespace {

// The code as a message can show it: a NUL byte would end the text where a C string is read.
std::string printableCode(const std::string& code) {
    std::string out;
    for (char c : code) {
        if (c == '\0')
            out += "\\0";
        else
            out += c;
    }
    return out;
}

constexpr std::string_view kExtension = ".txt";

void checkDoctorCode(const std::string& doctorCode) {
    if (!files::isPlainFileName(exportFileName(doctorCode)))
        throw files::FileError("Cannot export the doctor code \"" + printableCode(doctorCode) +
                               "\": a file name cannot hold \"/\" or a NUL byte");
}

// Writes the file of a code already checked.
void writeCheckedDoctorFile(const std::string& folder, const std::string& doctorCode, data::InsuredList& list,
                            const data::RegionalSettings& settings) {
    ExportFile file(folder, exportFileName(doctorCode));
    writeExport(list, settings, file);
    file.atomicFile().commit();
}

} // namespace

std::unique_ptr<ExportFile> createDoctorFile(const std::string& folder, const std::string& doctorCode) {
    checkDoctorCode(doctorCode);
    return std::make_unique<ExportFile>(folder, exportFileName(doctorCode));
}

std::string exportFileName(const std::string& doctorCode) { return doctorCode + std::string(kExtension); }

void exportDoctorFile(const std::string& folder, const std::string& doctorCode, data::InsuredList& list,
                      const data::RegionalSettings& settings) {
    checkDoctorCode(doctorCode);
    removeStaleExportFiles(folder);
    writeCheckedDoctorFile(folder, doctorCode, list, settings);
}

void writeDoctorFile(const std::string& folder, const std::string& doctorCode, data::InsuredList& list,
                     const data::RegionalSettings& settings) {
    checkDoctorCode(doctorCode);
    writeCheckedDoctorFile(folder, doctorCode, list, settings);
}

std::size_t removeStaleExportFiles(const std::string& folder) {
    return files::removeStaleTemporaryFiles(folder, kExtension);
}

} // namespace exportfile
