#include "demodb/DemoDatabase.h"

#include <sqlite3.h>

namespace demodb {
namespace {

// The declared types are the names by which the engine recognises the field types, so they are kept literally.
constexpr const char* createTables = R"sql(
CREATE TABLE Lekari(LEKAR_S TEXT(6), PRE TEXT, IME TEXT, OPS_S TEXT(3), AKTIVEN BOOLEAN);
CREATE TABLE Osigurenici(MB TEXT(13), PRE TEXT(20), TIME TEXT(15), IME TEXT(15), LEKAR_S TEXT(6), BR_PRI TEXT(8),
                         UCEN_30 BOOLEAN, UCEN_70 BOOLEAN, DATA_PRI DATE, BR_ODJ TEXT);
)sql";

constexpr const char* createIndex = "CREATE INDEX Osigurenici_LEKAR_S ON Osigurenici(LEKAR_S)";

} // namespace

// A prepared statement that is bound and run once per row.
class DemoDatabase::Statement {
public:
    Statement(const DemoDatabase& database, const char* sql) : database_(database) {
        if (sqlite3_prepare_v2(database.connection_, sql, -1, &statement_, nullptr) != SQLITE_OK)
            database.fail();
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The text is not copied: it only has to live until run(). An empty text is stored as '', never as null.
    void bindText(int column, std::string_view text) {
        check(sqlite3_bind_text(statement_, column, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                                SQLITE_STATIC));
    }
    void bindOptionalText(int column, const std::optional<std::string_view>& text) {
        if (text)
            bindText(column, *text);
        else
            check(sqlite3_bind_null(statement_, column));
    }
    void bindBoolean(int column, bool value) { check(sqlite3_bind_int(statement_, column, value ? 1 : 0)); }

    void run() {
        if (sqlite3_step(statement_) != SQLITE_DONE)
            database_.fail();
        check(sqlite3_reset(statement_));
    }

private:
    void check(int result) const {
        if (result != SQLITE_OK)
            database_.fail();
    }

    const DemoDatabase& database_;
    sqlite3_stmt* statement_ = nullptr;
};

DemoDatabase::DemoDatabase(const std::filesystem::path& file) : fileName_(file.string()) {
    if (sqlite3_open_v2(fileName_.c_str(), &connection_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
        fail();
    execute("PRAGMA journal_mode=OFF");
    execute("PRAGMA synchronous=OFF");
    execute("PRAGMA cache_size=-65536");
    execute("BEGIN");
    execute(createTables);
    insertDoctor_ = std::make_unique<Statement>(*this, "INSERT INTO Lekari VALUES(?1, ?2, ?3, ?4, ?5)");
    insertPerson_ =
        std::make_unique<Statement>(*this, "INSERT INTO Osigurenici VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
}

DemoDatabase::~DemoDatabase() {
    insertDoctor_.reset();
    insertPerson_.reset();
    sqlite3_close_v2(connection_);
}

void DemoDatabase::addDoctor(const Doctor& doctor) {
    insertDoctor_->bindText(1, doctor.code);
    insertDoctor_->bindText(2, doctor.surname);
    insertDoctor_->bindText(3, doctor.firstName);
    insertDoctor_->bindText(4, doctor.municipality);
    insertDoctor_->bindBoolean(5, doctor.active);
    insertDoctor_->run();
}

void DemoDatabase::addPerson(const Person& person) {
    insertPerson_->bindText(1, person.identityNumber);
    insertPerson_->bindText(2, person.surname);
    insertPerson_->bindText(3, person.fathersName);
    insertPerson_->bindText(4, person.firstName);
    insertPerson_->bindText(5, person.doctorCode);
    insertPerson_->bindText(6, person.registrationNumber);
    insertPerson_->bindBoolean(7, person.ucen30);
    insertPerson_->bindBoolean(8, person.ucen70);
    insertPerson_->bindOptionalText(9, person.registrationDate);
    insertPerson_->bindOptionalText(10, person.deregistrationNumber);
    insertPerson_->run();
}

void DemoDatabase::finish() {
    insertDoctor_.reset();
    insertPerson_.reset();
    execute(createIndex);
    execute("COMMIT");
    if (sqlite3_close(connection_) != SQLITE_OK)
        fail();
    connection_ = nullptr;
}

void DemoDatabase::execute(const char* sql) {
    if (sqlite3_exec(connection_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

void DemoDatabase::fail() const {
    const char* reason = connection_ != nullptr ? sqlite3_errmsg(connection_) : "out of memory";
    throw DemoDatabaseError("cannot write " + fileName_ + ": " + reason);
}

} // namespace demodb
