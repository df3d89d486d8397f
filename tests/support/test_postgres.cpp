#include "support/test_postgres.h"

#include <glob.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace quillrank::testing {
namespace {

// The newest installed server's bin folder (/usr/lib/postgresql/<version>/bin); empty: none.
std::string server_bin() {
  glob_t found{};
  std::string bin;
  if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
    bin = std::filesystem::path(found.gl_pathv[found.gl_pathc - 1]).parent_path();
  }
  globfree(&found);
  return bin;
}

void run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

std::string TestPostgres::why_missing() {
  return "no PostgreSQL server here (Debian package postgresql): the PostgreSQL cases are skipped";
}

TestPostgres* TestPostgres::get() {
  static const std::unique_ptr<TestPostgres> server = []() -> std::unique_ptr<TestPostgres> {
    const std::string bin = server_bin();
    if (bin.empty()) return nullptr;
    // Root may not run a server: the postgres user the package made runs it.
    const bool as_postgres = geteuid() == 0;
    std::string folder = "/tmp/quillrank-pg-XXXXXX";
    if (!mkdtemp(folder.data())) throw std::runtime_error("cannot make a temporary folder");
    if (as_postgres) {
      const passwd* user = getpwnam("postgres");
      if (!user || chown(folder.c_str(), user->pw_uid, user->pw_gid) != 0) {
        throw std::runtime_error("cannot give " + folder + " to the postgres user");
      }
    }
    return std::unique_ptr<TestPostgres>(new TestPostgres(bin, folder, as_postgres));
  }();
  return server.get();
}

TestPostgres::TestPostgres(std::string bin, std::string folder, bool as_postgres)
    : bin_(std::move(bin)), folder_(std::move(folder)), as_postgres_(as_postgres) {
  run(command("initdb") + " -D " + folder_ + "/data -A trust -U postgres --no-sync -E UTF8 " +
      "--locale=C >" + folder_ + "/initdb.log 2>&1");
  // The socket in the folder, no TCP; no fsync: the cluster is thrown away.
  run(command("pg_ctl") + " -D " + folder_ + "/data -w -l " + folder_ + "/server.log -o \"-k " +
      folder_ + " -c listen_addresses='' -F\" start >/dev/null");
}

TestPostgres::~TestPostgres() {
  std::system(
      (command("pg_ctl") + " -D " + folder_ + "/data -m immediate stop >/dev/null 2>&1").c_str());
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string TestPostgres::command(const std::string& program) const {
  return (as_postgres_ ? "runuser -u postgres -- " : "") + bin_ + "/" + program;
}

std::string TestPostgres::url(const std::string& database) const {
  return "postgresql://postgres@/" + database + "?host=" + folder_;
}

std::string TestPostgres::new_database() {
  const std::string name = "t" + std::to_string(++databases_);
  std::unique_ptr<PGconn, decltype(&PQfinish)> admin(PQconnectdb(url("postgres").c_str()),
                                                     PQfinish);
  std::unique_ptr<PGresult, decltype(&PQclear)> made(
      PQexec(admin.get(), ("CREATE DATABASE " + name).c_str()), PQclear);
  if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
    throw std::runtime_error("cannot make database " + name + ": " + PQerrorMessage(admin.get()));
  }
  return url(name);
}

}  // namespace quillrank::testing
