#include "history/pg_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <stdexcept>

namespace quillrank {

std::string pg_array(const std::vector<PgParam>& values) {
  std::string array = "{";
  for (const PgParam& value : values) {
    if (array.size() > 1) array += ',';
    if (!value) {
      array += "NULL";
      continue;
    }
    array += '"';
    for (const char c : *value) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  return array + "}";
}

PgResult::PgResult(pg_result* result) : result_(result, PQclear) {}

int PgResult::rows() const { return PQntuples(result_.get()); }

bool PgResult::null(int row, int column) const {
  return PQgetisnull(result_.get(), row, column) != 0;
}

std::string PgResult::text(int row, int column) const {
  return std::string(PQgetvalue(result_.get(), row, column),
                     static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

std::int64_t PgResult::number(int row, int column) const {
  return null(row, column) ? 0 : std::stoll(text(row, column));
}

std::optional<int> PgResult::optional_int(int row, int column) const {
  if (null(row, column)) return std::nullopt;
  return static_cast<int>(number(row, column));
}

int PgResult::affected() const {
  const char* count = PQcmdTuples(result_.get());
  return *count ? std::stoi(count) : 0;
}

PgConnection::PgConnection(pg_conn* connection) : connection_(connection, PQfinish) {}

PgConnection PgConnection::connect(const std::string& url, int timeout_ms) {
  // The URL's own settings come after the time-out, so a connect_timeout it names wins.
  const std::string seconds = std::to_string(std::max(2, (timeout_ms + 999) / 1000));
  const char* keys[] = {"connect_timeout", "dbname", nullptr};
  const char* values[] = {seconds.c_str(), url.c_str(), nullptr};
  PgConnection connection(PQconnectdbParams(keys, values, 1));
  if (!connection.connection_)
    throw std::runtime_error("out of memory for a PostgreSQL connection");
  if (PQstatus(connection.connection_.get()) != CONNECTION_OK) {
    connection.fail("cannot connect");
  }
  // Notices ("relation already exists, skipping") are no business of the user's.
  PQsetNoticeProcessor(
      connection.connection_.get(), [](void*, const char*) {}, nullptr);
  connection.exec("SET client_min_messages = warning");
  return connection;
}

void PgConnection::fail(const std::string& what) const {
  std::string message = PQerrorMessage(connection_.get());
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  throw std::runtime_error("PostgreSQL: " + what + (message.empty() ? "" : ": " + message));
}

namespace {

// The parameters as libpq takes them: pointers to their texts, null for NULL.
std::vector<const char*> param_values(const std::vector<PgParam>& params) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const PgParam& param : params) values.push_back(param ? param->c_str() : nullptr);
  return values;
}

}  // namespace

PgResult PgConnection::checked(pg_result* result) const {
  PgResult kept(result);
  const ExecStatusType status = PQresultStatus(result);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return kept;
  // A lost connection has no result at all; the connection then says why.
  if (!result) fail("the statement failed");
  std::string message = PQresultErrorMessage(result);
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  throw std::runtime_error("PostgreSQL: " + message);
}

PgResult PgConnection::exec(const std::string& sql, const std::vector<PgParam>& params) {
  // Without parameters several statements may go at once (a migration).
  if (params.empty()) return checked(PQexec(connection_.get(), sql.c_str()));
  const std::vector<const char*> values = param_values(params);
  return checked(PQexecParams(connection_.get(), sql.c_str(), static_cast<int>(values.size()),
                              nullptr, values.data(), nullptr, nullptr, 0));
}

PgResult PgConnection::exec_prepared(const std::string& name, const std::string& sql,
                                     const std::vector<PgParam>& params) {
  if (std::find(prepared_.begin(), prepared_.end(), name) == prepared_.end()) {
    checked(PQprepare(connection_.get(), name.c_str(), sql.c_str(), 0, nullptr));
    prepared_.push_back(name);
  }
  const std::vector<const char*> values = param_values(params);
  return checked(PQexecPrepared(connection_.get(), name.c_str(), static_cast<int>(values.size()),
                                values.data(), nullptr, nullptr, 0));
}

void PgConnection::rollback() noexcept { PQclear(PQexec(connection_.get(), "ROLLBACK")); }

}  // namespace quillrank
