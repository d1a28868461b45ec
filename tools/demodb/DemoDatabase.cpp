#include "demodb/DemoDatabase.h"

#include "engine/RegisterSchema.h"

#include <sqlite3.h>

namespace demodb {
namespace {

// "INSERT INTO Lekari VALUES (?1, ?2, ...)" with one parameter per column of the table.
std::string insertStatement(const engine::RegisterTable& table) {
    std::string sql = "INSERT INTO " + std::string(table.name) + " VALUES (";
    for (std::size_t i = 1; i <= table.columns.size(); ++i)
        sql += (i > 1 ? ", ?" : "?") + std::to_string(i);
    return sql + ")";
}

} // namespace

// A prepared statement that is bound and run once per row.
class DemoDatabase::Statement {
public:
    Statement(const DemoDatabase& database, const std::string& sql) : database_(database) {
        sqlite3_stmt* statement = nullptr;
        const int result = sqlite3_prepare_v2(database.connection_.get(), sql.c_str(), -1, &statement, nullptr);
        statement_.reset(statement);
        if (result != SQLITE_OK)
            database.fail();
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The text is not copied: it only has to live until run(). An empty text is stored as '', never as null.
    void bindText(int column, std::string_view text) {
        check(sqlite3_bind_text(statement_.get(), column, text.empty() ? "" : text.data(),
                                static_cast<int>(text.size()), SQLITE_STATIC));
    }
    void bindOptionalText(int column, const std::optional<std::string_view>& text) {
        if (text)
            bindText(column, *text);
        else
            check(sqlite3_bind_null(statement_.get(), column));
    }
    void bindBoolean(int column, bool value) { check(sqlite3_bind_int(statement_.get(), column, value ? 1 : 0)); }

    void run() {
        if (sqlite3_step(statement_.get()) != SQLITE_DONE)
            database_.fail();
        check(sqlite3_reset(statement_.get()));
    }

private:
    void check(int result) const {
        if (result != SQLITE_OK)
            database_.fail();
    }

    const DemoDatabase& database_;
    engine::SqliteStatement statement_;
};

DemoDatabase::DemoDatabase(const std::filesystem::path& file) : fileName_(file.string()) {
    sqlite3* connection = nullptr;
    const int result =
        sqlite3_open_v2(fileName_.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    connection_.reset(connection);
    if (result != SQLITE_OK)
        fail();
    execute("PRAGMA journal_mode=OFF");
    execute("PRAGMA synchronous=OFF");
    execute("PRAGMA cache_size=-65536");
    execute("BEGIN");
    for (const engine::RegisterTable* table : engine::registerTables())
        execute(engine::createTableStatement(*table, engine::SqlStore::Sqlite));
    insertDoctor_ = std::make_unique<Statement>(*this, insertStatement(engine::doctorTable()));
    insertPerson_ = std::make_unique<Statement>(*this, insertStatement(engine::insuredTable()));
}

// The statements go first: a connection closes only once its statements are finalized.
DemoDatabase::~DemoDatabase() {
    insertDoctor_.reset();
    insertPerson_.reset();
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
    execute(engine::createIndexStatement());
    execute("COMMIT");
    if (sqlite3_close(connection_.get()) != SQLITE_OK)
        fail();
    static_cast<void>(connection_.release());
}

void DemoDatabase::execute(const std::string& sql) {
    if (sqlite3_exec(connection_.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

void DemoDatabase::fail() const {
    const char* reason = connection_ ? sqlite3_errmsg(connection_.get()) : "out of memory";
    throw DemoDatabaseError("cannot write " + fileName_ + ": " + reason);
}

} // namespace demodb
