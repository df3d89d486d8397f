// PgConnection: one libpq connection to a PostgreSQL server, for the history store and the
// shared queue: statements with text parameters, results read by row and column. Failures throw
// std::runtime_error with the server's message; a password never appears in one. Use it from one
// thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

struct pg_conn;
struct pg_result;

namespace quillrank {

// A statement's parameter as text; nullopt is SQL NULL.
using PgParam = std::optional<std::string>;

// The text of a PostgreSQL array of `values` ({"a","b",NULL}), for one parameter that carries
// many rows (unnest).
std::string pg_array(const std::vector<PgParam>& values);

class PgResult {
 public:
  explicit PgResult(pg_result* result);
  int rows() const;
  bool null(int row, int column) const;
  std::string text(int row, int column) const;
  std::int64_t number(int row, int column) const;
  std::optional<int> optional_int(int row, int column) const;
  int affected() const;  // rows an INSERT, UPDATE or DELETE touched

 private:
  std::shared_ptr<pg_result> result_;
};

class PgConnection {
 public:
  // Connects to the database `url` names (postgresql://...), waiting at most about `timeout_ms`
  // for the server (libpq counts whole seconds, at least 2).
  static PgConnection connect(const std::string& url, int timeout_ms);

  // Runs one statement; its parameters are $1, $2, ... in `sql`. Without parameters, `sql` may
  // hold several statements.
  PgResult exec(const std::string& sql, const std::vector<PgParam>& params = {});
  // Prepares `sql` once under `name`, then runs it.
  PgResult exec_prepared(const std::string& name, const std::string& sql,
                         const std::vector<PgParam>& params);

  // Runs `work` between BEGIN and COMMIT; ROLLBACK when it throws.
  template <typename Work>
  auto in_transaction(Work&& work) {
    exec("BEGIN");
    try {
      if constexpr (std::is_void_v<decltype(work())>) {
        work();
        exec("COMMIT");
      } else {
        auto result = work();
        exec("COMMIT");
        return result;
      }
    } catch (...) {
      rollback();
      throw;
    }
  }

 private:
  explicit PgConnection(pg_conn* connection);
  void rollback() noexcept;
  [[noreturn]] void fail(const std::string& what) const;
  PgResult checked(pg_result* result) const;  // throws unless the statement succeeded

  std::shared_ptr<pg_conn> connection_;
  std::vector<std::string> prepared_;
};

}  // namespace quillrank
