#pragma once

#include "engine/PostgresDatabase.h"
#include "engine/PostgresSettings.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <libpq-fe.h>

namespace engine {

struct ConnectionFinisher {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ConnectionHandle = std::unique_ptr<PGconn, ConnectionFinisher>;
using ResultHandle = std::unique_ptr<PGresult, ResultClearer>;

// The server's message split into lines without blanks; one line saying so when the server gave none.
std::vector<std::string> messageLines(const char* text);

// Waits until libpq can go on with a non-blocking connection without blocking: what is queued is sent and,
// when `untilResult`, a whole result has arrived. False when `timeout` passed first. A broken connection is not
// waited for; the next call of libpq reports it.
bool awaitServer(PGconn* connection, std::chrono::milliseconds timeout, bool untilResult);

// Waits until data from the server has arrived and been consumed, for a COPY, whose rows PQisBusy does not wait
// for. False when `timeout` passed first. A broken connection is not waited for, as in awaitServer.
bool awaitInput(PGconn* connection, std::chrono::milliseconds timeout);

// Asks the server to cancel the connection's statement, without waiting for the answer of a server that may be
// frozen.
void requestCancel(PGconn* connection);

// One libpq connection that never waits for the server longer than the alias's timeout. Every wait (sending a
// statement, its first result, each further row) has that long; when it passes, the statement is cancelled on
// the server, the connection is dropped and EngineError says that the server did not answer. A dropped or
// lost connection is made again by reconnect(), with the password that worked before.
class PostgresSession {
public:
    // Connects, asking askPassword when the server wants a password the settings do not give. Throws
    // EngineError "Cannot connect to the PostgreSQL database <name>" followed by libpq's reason.
    PostgresSession(PostgresSettings settings, const PasswordPrompt& askPassword, const std::string& promptName);
    ~PostgresSession();
    PostgresSession(const PostgresSession&) = delete;
    PostgresSession& operator=(const PostgresSession&) = delete;

    const std::string& name() const { return settings_.name; }
    // Whether there is a connection that libpq has not found broken (false after the connection was dropped).
    bool connected() const;
    // Whether the session is in a transaction (PQTRANS_UNKNOWN when there is no connection).
    PGTransactionStatusType transactionStatus() const;
    // libpq's message about the last failure of the connection.
    std::string errorMessage() const;
    // Why the session last dropped its connection itself (a server that did not answer in time); empty when it
    // never did.
    const std::vector<std::string>& abandonment() const { return abandonment_; }
    // The server's version as libpq gives it (150004 for 15.4); 0 without a connection.
    int serverVersion() const { return connection_ ? PQserverVersion(connection_.get()) : 0; }

    // Connects again with the same keywords. Throws EngineError "Lost the connection to the PostgreSQL
    // database <name>" followed by libpq's reason.
    void reconnect();

    // Ends the reading of the previous statement before a new one: its cursor sees statementNumber() change,
    // and whatever the server still sends of it is read and dropped. Throws as nextResult() does.
    void endStatement();
    std::uint64_t statementNumber() const { return statement_; }

    // Starts a statement in single-row mode. REQUIRES: connected() and endStatement() since the last one.
    // Returns false when the statement could not be sent (the connection is broken).
    bool send(const std::string& sql, const std::vector<const char*>& values);

    // Starts a statement of the form COPY ... TO STDOUT, whose rows nextCopyRow() reads. REQUIRES: as send().
    // Returns false when the statement could not be sent.
    bool sendCopy(const std::string& sql);
    // The next row of the COPY under way, as the server sends it (text format, with its line end), valid until
    // the next call; nullopt once the last row has come and the statement ended well. Throws EngineError with
    // the server's message when the statement fails or the connection breaks part-way, and as nextResult() does
    // when the server stays silent for the timeout.
    std::optional<std::string_view> nextCopyRow();

    // The statement's next result, or nullptr after its last one (or when there is no connection). Throws
    // EngineError after cancelling the statement and dropping the connection when the server stays silent
    // for the timeout.
    ResultHandle nextResult();
    // Reads and drops the results still pending, and the rows of a COPY under way. Throws as nextResult() does.
    void discardResults();

private:
    ConnectionHandle connect(const std::optional<std::string>& password) const;
    // The row of libpq that nextCopyRow() handed out, freed.
    void releaseCopyRow();
    // The result that ends a COPY whose rows have all been read: nullopt when it ended well, else its message.
    std::optional<std::vector<std::string>> copyFailure();
    // Waits until nextResult() would not block; false when the timeout passed first.
    bool waitForResult();
    [[noreturn]] void giveUp();

    PostgresSettings settings_;
    std::optional<std::string> password_;
    ConnectionHandle connection_;
    std::uint64_t statement_ = 0;
    char* copyRow_ = nullptr;
    std::vector<std::string> abandonment_;
};

} // namespace engine
