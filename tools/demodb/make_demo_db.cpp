// pelmarot-demo-db: writes a demo register, an SQLite database with the tables Lekari and Osigurenici filled
// with made-up doctors and insured persons whose names are real Macedonian names in MAC C. The same options and
// seed always give the same file, byte for byte.

#include "demodb/DemoDatabase.h"
#include "demodb/DemoOptions.h"
#include "demodb/NameLists.h"
#include "demodb/Register.h"
#include "demodb/SplitMix64.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace demodb;

// The half-written file. It is removed unless the finished file has been moved to its place, so that neither the
// output nor a stale temporary file is left behind by a failure.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path) : path_(std::move(path)) {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    ~TemporaryFile() {
        std::error_code ignored;
        if (!moved_)
            fs::remove(path_, ignored);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const fs::path& path() const { return path_; }

    void moveTo(const fs::path& destination) {
        fs::rename(path_, destination);
        moved_ = true;
    }

private:
    fs::path path_;
    bool moved_ = false;
};

struct Summary {
    std::size_t doctors = 0;
    std::size_t inactiveDoctors = 0;
    std::size_t doctorsWithoutPersons = 0;
    std::uint64_t persons = 0;
    std::uint64_t deregisteredPersons = 0;
};

Summary writeRegister(const DemoOptions& options, const fs::path& file) {
    SplitMix64 random(options.seed);
    const NameLists& names = NameLists::macedonian();
    const DoctorRoster roster(options.doctors, names, random);
    DemoDatabase database(file);
    for (const Doctor& doctor : roster.doctors())
        database.addDoctor(doctor);

    Summary summary{roster.doctors().size(), roster.inactiveCount(), roster.withoutPersonsCount(), 0, 0};
    PersonGenerator persons(roster, names, random);
    for (; summary.persons < options.persons; ++summary.persons) {
        const Person& person = persons.next();
        database.addPerson(person);
        if (person.deregistrationNumber)
            ++summary.deregisteredPersons;
    }
    database.finish();
    return summary;
}

void refuseToReplace(const DemoOptions& options) {
    if (fs::is_directory(options.output))
        throw std::runtime_error(options.output.string() + " is a folder");
    if (!options.force && fs::exists(options.output))
        throw std::runtime_error(options.output.string() + " already exists; use --force to replace it");
}

void run(const DemoOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    refuseToReplace(options);
    TemporaryFile temporary(fs::path(options.output) += ".tmp");
    const Summary summary = writeRegister(options, temporary.path());
    refuseToReplace(options); // the output may have appeared while the register was written
    temporary.moveTo(options.output);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;

    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", elapsed.count());
    std::cout << "Wrote " << options.output.string() << ": " << summary.doctors << " doctors ("
              << summary.inactiveDoctors << " inactive, " << summary.doctorsWithoutPersons << " without persons), "
              << summary.persons << " persons (" << summary.deregisteredPersons << " deregistered), seed "
              << options.seed << ", in " << seconds << " s" << std::endl;
}

} // namespace

int main(int argc, char** argv) {
    DemoOptions options;
    if (const std::optional<int> status = parseCommandLine(argc, argv, options))
        return *status;
    try {
        run(options);
    } catch (const std::exception& error) {
        std::cerr << "pelmarot-demo-db: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
