// What the benchmarks that measure us against SQLite share besides the
// people (bench/people_generator.h): how a run starts and fails, how our
// side loads ZUN, how a pair of timings is printed, and the SQLite
// connection that is the peer.
//
// Single-threaded: a bench runs its workloads one after the other on the
// main thread.  Any failure ends the process with a message on stderr.
#ifndef ZUNA_BENCH_SQLITE_PEER_H_
#define ZUNA_BENCH_SQLITE_PEER_H_

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/zun_dictionary.h"
#include "bench/people_generator.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"

namespace zuna::bench {

// ---- The run ---------------------------------------------------------------

// The name failures are reported under: StartRun sets it.
inline const char* program_name = "bench";

[[noreturn]] inline void Die(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program_name, what.c_str());
  std::exit(1);
}

// Dies, with the runtime's error texts, unless `code` is 0.
inline void Check(int32_t code, const char* what) {
  if (code != 0) {
    Die(std::string(what) + ": error " + std::to_string(code) + " " +
        zuna::values::Cp1251ToUtf8(zuna::values::ERROR()) + " " +
        zuna::values::Cp1251ToUtf8(zuna::values::FILEERROR()));
  }
}

struct Run {
  long n = 0;       // people to load
  std::string dir;  // a fresh directory; the caller removes it at the end
};

// Reads `program [N [directory]]` (N 1000000, the directory $TMPDIR or
// /tmp when absent) and makes a zuna-bench-XXXXXX directory in it.  Dies
// with the usage when N is not positive.
inline Run StartRun(const char* program, int argc, char** argv) {
  program_name = program;
  Run run;
  run.n = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  if (run.n <= 0) Die(std::string("usage: ") + program + " [N [directory]]");
  std::string base = argc > 2 ? argv[2] : "";
  if (base.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    base = tmp && *tmp ? tmp : "/tmp";
  }
  std::string pattern = base + "/zuna-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Die("mkdtemp " + pattern);
  run.dir = pattern;
  return run;
}

// Adds `people` to ZUN under STREAM, both keys maintained, then FLUSHes;
// person i becomes record i + 1.
// REQUIRES: `zun` is open for writing and empty.
inline void AddPeople(zuna::datfile::DatFileInstance& zun, const std::vector<Person>& people) {
  Check(zuna::datfile::STREAM(zun), "STREAM");
  for (const Person& p : people) {
    zuna::app::WriteZunRecord(zuna::app::MakeZunRecord(p.fio, p.data, p.data1), zun.record());
    Check(zuna::datfile::ADD(zun), "ADD");
  }
  Check(zuna::datfile::FLUSH(zun), "FLUSH");
}

// The table of results: per workload, wall seconds for each side and the
// ratio ours/SQLite, then the same for process CPU seconds.
class RatioTable {
 public:
  // `name_width` for the workload column, `number_width` for the seconds
  // (ratios take two less); `peer_cpu` heads SQLite's CPU column.
  constexpr RatioTable(int name_width, int number_width, const char* peer_cpu)
      : name_width_(name_width), number_width_(number_width), peer_cpu_(peer_cpu) {}

  void PrintHeader() const {
    const int ratio = number_width_ - 2;
    std::printf("%-*s %*s %*s %*s   %*s %*s %*s\n", name_width_, "workload", number_width_,
                "ours s", number_width_, "sqlite s", ratio, "ratio", number_width_, "ours cpu",
                number_width_, peer_cpu_, ratio, "ratio");
    std::fflush(stdout);
  }

  void PrintRow(const char* name, const Times& ours, const Times& peer,
                const std::string& note) const {
    const int ratio = number_width_ - 2;
    std::printf("%-*s %*.3f %*.3f %*.2f   %*.3f %*.3f %*.2f   %s\n", name_width_, name,
                number_width_, ours.wall, number_width_, peer.wall, ratio,
                peer.wall > 0 ? ours.wall / peer.wall : 0.0, number_width_, ours.cpu,
                number_width_, peer.cpu, ratio, peer.cpu > 0 ? ours.cpu / peer.cpu : 0.0,
                note.c_str());
    std::fflush(stdout);
  }

 private:
  int name_width_;
  int number_width_;
  const char* peer_cpu_;
};

// ---- SQLite ----------------------------------------------------------------

// A connection to one database file, synchronous=NORMAL, holding table
// `people` once its owner has created it.  Owns the connection; not
// copyable.  Every failure dies with SQLite's message.
class SqliteDb {
 public:
  explicit SqliteDb(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("sqlite3_open " + path);
    Exec("PRAGMA synchronous=NORMAL");
  }
  ~SqliteDb() { sqlite3_close(db_); }
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      Die(sql + ": " + (error ? error : "?"));
    }
  }

  // The caller finalizes the statement.
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      Die(sql + ": " + sqlite3_errmsg(db_));
    }
    return stmt;
  }

  // The first column of the first row, or "" when there is none.
  std::string Text(const std::string& sql) {
    sqlite3_stmt* stmt = Prepare(sql);
    std::string text;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return text;
  }

  // EXPLAIN QUERY PLAN, details joined.
  std::string Plan(const char* sql) {
    sqlite3_stmt* stmt = Prepare(std::string("EXPLAIN QUERY PLAN ") + sql);
    std::string plan;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      if (!plan.empty()) plan += "; ";
      plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
    }
    sqlite3_finalize(stmt);
    return plan;
  }

  // Runs `insert_sql` once per person, with ?1 its number (data1), ?2 its
  // name and ?3 its date of birth, in one transaction.
  void InsertPeople(const char* insert_sql, const std::vector<Person>& people) {
    Exec("BEGIN");
    sqlite3_stmt* insert = Prepare(insert_sql);
    for (const Person& p : people) {
      sqlite3_bind_int(insert, 1, p.data1);
      sqlite3_bind_text(insert, 2, p.fio.data(), static_cast<int>(p.fio.size()), SQLITE_STATIC);
      sqlite3_bind_int(insert, 3, p.data);
      if (sqlite3_step(insert) != SQLITE_DONE) Die(std::string("INSERT: ") + Error());
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }

  // The message of the last failed call.
  std::string Error() { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace zuna::bench

#endif  // ZUNA_BENCH_SQLITE_PEER_H_
