#include "engine/PostgresSession.h"

#include "engine/EngineError.h"
#include "engine/Text.h"

#include <poll.h>
#include <system_error>
#include <thread>

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

// A cancel request is a new connection to the server's main process; when that process is frozen too, libpq
// waits for its answer for ever. The request therefore runs on a thread of its own that nobody waits for: the
// statement is given up either way, and the thread ends whenever the server answers (or with the program).
void requestCancelOf(PGcancel* cancel) {
    try {
        std::thread([cancel] {
            char reason[256];
            PQcancel(cancel, reason, sizeof reason);
            PQfreeCancel(cancel);
        }).detach();
    } catch (const std::system_error&) {
        PQfreeCancel(cancel); // no thread to spare: the dropped connection alone ends the session
    }
}

} // namespace

void requestCancel(PGconn* connection) {
    if (PGcancel* cancel = PQgetCancel(connection))
        requestCancelOf(cancel);
}

bool awaitServer(PGconn* connection, std::chrono::milliseconds timeout, bool untilResult) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const int unsent = PQflush(connection);
        // A broken connection is not waited for: the next call of libpq reports it without blocking.
        if (unsent < 0 || (unsent == 0 && !(untilResult && PQisBusy(connection))) || PQsocket(connection) < 0)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd socket{PQsocket(connection), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0};
        const int ready = poll(&socket, 1, static_cast<int>(left.count()) + 1);
        if (ready > 0 && (socket.revents & (POLLIN | POLLERR | POLLHUP)) && !PQconsumeInput(connection))
            return true;
    }
}

bool awaitInput(PGconn* connection, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (PQsocket(connection) < 0)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd socket{PQsocket(connection), POLLIN, 0};
        const int ready = poll(&socket, 1, static_cast<int>(left.count()) + 1);
        if (ready > 0 && (socket.revents & (POLLIN | POLLERR | POLLHUP))) {
            PQconsumeInput(connection); // a failure shows in the next call of libpq
            return true;
        }
    }
}

namespace {

std::string secondsText(std::chrono::seconds seconds) {
    return std::to_string(seconds.count()) + (seconds.count() == 1 ? " second" : " seconds");
}

} // namespace

std::vector<std::string> messageLines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\n') {
            if (!trimmed(line).empty())
                lines.push_back(trimmed(line));
            line.clear();
        } else {
            line += *p;
        }
    }
    if (!trimmed(line).empty())
        lines.push_back(trimmed(line));
    if (lines.empty())
        lines.emplace_back("The PostgreSQL server gave no reason");
    return lines;
}

PostgresSession::PostgresSession(PostgresSettings settings, const PasswordPrompt& askPassword,
                                 const std::string& promptName)
    : settings_(std::move(settings)) {
    for (;;) {
        connection_ = connect(password_);
        if (connected())
            return;
        std::vector<std::string> lines = {"Cannot connect to the PostgreSQL database " + name()};
        for (auto& line : messageLines(PQerrorMessage(connection_.get())))
            lines.push_back(line);
        // The server wants a password the alias and ~/.pgpass do not give (or the one given was wrong):
        // ask the user, and let the engine's error through when the user cancels.
        PGconn* failed = connection_.get();
        if ((PQconnectionNeedsPassword(failed) || (password_ && PQconnectionUsedPassword(failed))) && askPassword) {
            password_ = askPassword(promptName);
            if (password_)
                continue;
        }
        throw EngineError(lines);
    }
}

ConnectionHandle PostgresSession::connect(const std::optional<std::string>& password) const {
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (std::size_t i = 0; i < settings_.keys.size(); ++i) {
        keys.push_back(settings_.keys[i].c_str());
        values.push_back(settings_.values[i].c_str());
    }
    if (password) {
        keys.push_back("password");
        values.push_back(password->c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    ConnectionHandle connection(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!connection)
        throw EngineError("Out of memory while connecting to the PostgreSQL database " + name());
    // Sending never blocks either: waitForResult() flushes what is queued within the timeout.
    if (PQstatus(connection.get()) == CONNECTION_OK)
        PQsetnonblocking(connection.get(), 1);
    return connection;
}

bool PostgresSession::connected() const { return connection_ && PQstatus(connection_.get()) == CONNECTION_OK; }

PGTransactionStatusType PostgresSession::transactionStatus() const {
    return connected() ? PQtransactionStatus(connection_.get()) : PQTRANS_UNKNOWN;
}

std::string PostgresSession::errorMessage() const { return connection_ ? PQerrorMessage(connection_.get()) : ""; }

void PostgresSession::reconnect() {
    connection_.reset();
    connection_ = connect(password_);
    if (!connected()) {
        std::vector<std::string> lines = {"Lost the connection to the PostgreSQL database " + name()};
        for (auto& line : messageLines(PQerrorMessage(connection_.get())))
            lines.push_back(line);
        throw EngineError(lines);
    }
}

void PostgresSession::endStatement() {
    ++statement_;
    discardResults();
}

bool PostgresSession::send(const std::string& sql, const std::vector<const char*>& values) {
    if (!PQsendQueryParams(connection_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                           nullptr, nullptr, 0))
        return false;
    PQsetSingleRowMode(connection_.get());
    return true;
}

PostgresSession::~PostgresSession() { releaseCopyRow(); }

bool PostgresSession::sendCopy(const std::string& sql) { return PQsendQuery(connection_.get(), sql.c_str()) != 0; }

void PostgresSession::releaseCopyRow() {
    if (copyRow_ != nullptr)
        PQfreemem(copyRow_);
    copyRow_ = nullptr;
}

std::optional<std::string_view> PostgresSession::nextCopyRow() {
    releaseCopyRow();
    while (connection_) {
        const int length = PQgetCopyData(connection_.get(), &copyRow_, 1);
        if (length > 0)
            return std::string_view(copyRow_, static_cast<std::size_t>(length));
        if (length == 0 && PQstatus(connection_.get()) == CONNECTION_OK) {
            if (!awaitInput(connection_.get(), settings_.timeout))
                giveUp();
            continue;
        }
        if (PQstatus(connection_.get()) != CONNECTION_OK) {
            std::vector<std::string> lines = {"Lost the connection to the PostgreSQL database " + name() +
                                              " while it sent the rows of a copy"};
            for (auto& line : messageLines(PQerrorMessage(connection_.get())))
                lines.push_back(line);
            releaseCopyRow();
            throw EngineError(lines);
        }
        // -1: the rows are all there; -2: the connection failed. The statement's result says how it ended.
        if (std::optional<std::vector<std::string>> failure = copyFailure())
            throw EngineError(*failure);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> PostgresSession::copyFailure() {
    const ResultHandle result = nextResult();
    const bool ended = result && PQresultStatus(result.get()) == PGRES_COMMAND_OK;
    std::optional<std::vector<std::string>> failure;
    if (!ended)
        failure = messageLines(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(connection_.get()));
    discardResults();
    return failure;
}

ResultHandle PostgresSession::nextResult() {
    if (!connection_)
        return nullptr;
    if (!waitForResult())
        giveUp();
    return ResultHandle(PQgetResult(connection_.get()));
}

void PostgresSession::discardResults() {
    while (const ResultHandle result = nextResult()) {
        // A COPY's rows are read to their end: the transaction it runs in stays usable, as it would not after
        // a cancel.
        if (PQresultStatus(result.get()) == PGRES_COPY_OUT)
            while (nextCopyRow()) {
            }
    }
}

bool PostgresSession::waitForResult() { return awaitServer(connection_.get(), settings_.timeout, true); }

void PostgresSession::giveUp() {
    releaseCopyRow();
    requestCancel(connection_.get());
    // The connection is non-blocking, so its farewell message never waits for the silent server either.
    connection_.reset();
    ++statement_;
    abandonment_ = {"The PostgreSQL database " + name() + " did not answer in " + secondsText(settings_.timeout),
                    "The statement was abandoned and the connection closed; the next attempt connects again"};
    throw EngineError(abandonment_);
}

} // namespace engine
