// Times the data-file driver against SQLite on the register's own work, in
// one run, on files in one temporary directory:
//
//   load    N people, both keys maintained: ADD under STREAM, then FLUSH;
//           vs INSERT into a table with both indexes, in one transaction.
//   scan    every record in key order, by DATA and by FIO: SET key, NEXT
//           to the end; vs SELECT ... ORDER BY over the index.
//   seek    10,000 surname prefixes, 20 records from each: SET on key 2
//           from the prefix in the record buffer, 20 NEXTs; vs an index
//           seek WHERE fio >= ? ORDER BY fio LIMIT 20.
//   build   BUILD of both keys; vs two CREATE INDEX (dropped just before,
//           untimed) in one transaction.
//
// Fairness: each side syncs once per workload that writes (FLUSH, the end
// of BUILD; SQLite's COMMIT with synchronous=NORMAL in its default rollback
// journal mode), and SQLite's reads run in one read transaction per
// workload, as our FILE is opened once.  SQLite keeps its default page size
// and cache; our driver has no cache of its own.  Both read through the
// operating system's cache.
//
// Prints, per workload, wall seconds for each side and the ratio
// ours/SQLite, and the same for process CPU seconds (the machine may be
// busy).  Not a test: nothing is asserted but that both sides return the
// same number of rows; whether the two orders agree is printed.
//
//   driver_vs_sqlite_bench [N [directory]]   (default 1000000, $TMPDIR or /tmp)
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/zun_dictionary.h"
#include "bench/people_generator.h"
#include "bench/sqlite_peer.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/error_state.h"

namespace {

namespace datfile = zuna::datfile;
namespace fs = std::filesystem;
using zuna::app::ZUN_Record;
using zuna::bench::Check;
using zuna::bench::Die;
using zuna::bench::MakePeople;
using zuna::bench::Person;
using zuna::bench::Random;
using zuna::bench::SurnameForms;
using zuna::bench::TimeOf;
using zuna::bench::Times;

constexpr int kSeeks = 10000;
constexpr int kRowsPerSeek = 20;

// ---- The people -----------------------------------------------------------

// 2 to 4 leading letters of a surname form.
std::vector<std::string> MakePrefixes(const std::vector<std::string>& forms) {
  Random random(4242);
  std::vector<std::string> prefixes;
  for (int i = 0; i < kSeeks; ++i) {
    const std::string& form = forms[random.Below(static_cast<uint32_t>(forms.size()))];
    prefixes.push_back(form.substr(0, 2 + random.Below(3)));
  }
  return prefixes;
}

// ---- Reporting ------------------------------------------------------------

// Order fingerprint: the sequence of record numbers, hashed.
struct Digest {
  uint64_t rows = 0;
  uint64_t hash = 1469598103934665603ull;
  void Add(int32_t number) {
    ++rows;
    hash = (hash ^ static_cast<uint32_t>(number)) * 1099511628211ull;
  }
  bool operator==(const Digest&) const = default;
};

const char* Agreement(const Digest& ours, const Digest& peer) {
  if (ours.rows != peer.rows) Die("row counts differ");
  return ours == peer ? "same order" : "same rows, order differs";
}

// ---- Our driver -----------------------------------------------------------

class Ours {
 public:
  explicit Ours(const std::string& dir) : zun_(zuna::app::ZunDeclaration()) {
    zun_.set_name(dir + "/ZUN");
    Check(datfile::CREATE(zun_), "CREATE");
    Check(datfile::OPEN(zun_), "OPEN");
  }
  ~Ours() { datfile::CLOSE(zun_); }

  void Load(const std::vector<Person>& people) { zuna::bench::AddPeople(zun_, people); }

  Digest Scan(int key) {
    Digest digest;
    Check(datfile::SET(zun_, datfile::Key{key}), "SET");
    while (datfile::NEXT(zun_) == 0) {
      const ZUN_Record r = zuna::app::ReadZunRecord(zun_.record());
      digest.Add(r.DATA1);
    }
    if (zuna::values::ERRORCODE() != 33) Check(zuna::values::ERRORCODE(), "NEXT");
    return digest;
  }

  Digest Seek(const std::vector<std::string>& prefixes) {
    Digest digest;
    const datfile::Key key2{zuna::app::kKey2Index};
    for (const std::string& prefix : prefixes) {
      zuna::app::WriteZunRecord(zuna::app::MakeZunRecord(prefix, 0, 0), zun_.record());
      Check(datfile::SET(zun_, key2, key2), "SET");
      for (int i = 0; i < kRowsPerSeek && datfile::NEXT(zun_) == 0; ++i) {
        digest.Add(zuna::app::ReadZunRecord(zun_.record()).DATA1);
      }
    }
    return digest;
  }

  void Build() { Check(datfile::BUILD(zun_), "BUILD"); }

  uint32_t Records() { return datfile::RECORDS(zun_); }

 private:
  datfile::DatFileInstance zun_;
};

// ---- SQLite ---------------------------------------------------------------

class Peer {
 public:
  explicit Peer(const std::string& path) : db_(path) {
    db_.Exec("CREATE TABLE people (fio TEXT, data INTEGER, data1 INTEGER)");
    CreateIndexes();
  }

  std::string JournalMode() { return db_.Text("PRAGMA journal_mode"); }
  std::string Pragma(const char* name) { return db_.Text(std::string("PRAGMA ") + name); }

  void Load(const std::vector<Person>& people) {
    db_.InsertPeople("INSERT INTO people (data1, fio, data) VALUES (?1, ?2, ?3)", people);
  }

  static constexpr const char* kScanByData =
      "SELECT fio, data, data1 FROM people ORDER BY data";
  static constexpr const char* kScanByFio =
      "SELECT fio, data, data1 FROM people ORDER BY fio COLLATE NOCASE";
  static constexpr const char* kSeek =
      "SELECT fio, data, data1 FROM people WHERE fio >= ?1 COLLATE NOCASE "
      "ORDER BY fio COLLATE NOCASE LIMIT 20";

  Digest Scan(const char* sql) {
    Digest digest;
    db_.Exec("BEGIN");
    sqlite3_stmt* select = db_.Prepare(sql);
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
      (void)sqlite3_column_text(select, 0);
      (void)sqlite3_column_int(select, 1);
      digest.Add(sqlite3_column_int(select, 2));
    }
    if (rc != SQLITE_DONE) Die("SELECT: " + db_.Error());
    sqlite3_finalize(select);
    db_.Exec("COMMIT");
    return digest;
  }

  Digest Seek(const std::vector<std::string>& prefixes) {
    Digest digest;
    db_.Exec("BEGIN");
    sqlite3_stmt* select = db_.Prepare(kSeek);
    for (const std::string& prefix : prefixes) {
      sqlite3_bind_text(select, 1, prefix.data(), static_cast<int>(prefix.size()),
                        SQLITE_STATIC);
      while (sqlite3_step(select) == SQLITE_ROW) {
        (void)sqlite3_column_text(select, 0);
        (void)sqlite3_column_int(select, 1);
        digest.Add(sqlite3_column_int(select, 2));
      }
      sqlite3_reset(select);
    }
    sqlite3_finalize(select);
    db_.Exec("COMMIT");
    return digest;
  }

  void DropIndexes() {
    db_.Exec("BEGIN");
    db_.Exec("DROP INDEX people_data");
    db_.Exec("DROP INDEX people_fio");
    db_.Exec("COMMIT");
  }
  void Build() {
    db_.Exec("BEGIN");
    CreateIndexes();
    db_.Exec("COMMIT");
  }

  std::string Plan(const char* sql) { return db_.Plan(sql); }

 private:
  void CreateIndexes() {
    db_.Exec("CREATE INDEX people_data ON people (data)");
    db_.Exec("CREATE INDEX people_fio ON people (fio COLLATE NOCASE)");
  }

  zuna::bench::SqliteDb db_;
};

uint64_t BytesOf(const std::string& dir, bool ours) {
  uint64_t total = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const bool is_peer = entry.path().filename().string().starts_with("people.db");
    if (entry.is_regular_file() && is_peer != ours) total += entry.file_size();
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const zuna::bench::Run run = zuna::bench::StartRun("driver_vs_sqlite_bench", argc, argv);
  const long n = run.n;
  const std::string& dir = run.dir;

  const std::vector<std::string> forms = SurnameForms();
  const std::vector<Person> people = MakePeople(static_cast<uint32_t>(n), forms);
  const std::vector<std::string> prefixes = MakePrefixes(forms);
  const zuna::bench::RatioTable table(14, 9, "sqlite cpu");

  {
    Ours ours(dir);
    Peer peer(dir + "/people.db");

    std::printf("driver_vs_sqlite_bench: N=%ld people, %d surname forms, directory %s\n", n,
                static_cast<int>(forms.size()), dir.c_str());
    std::printf("SQLite %s: journal_mode=%s synchronous=NORMAL page_size=%s cache_size=%s; "
                "one transaction per workload (reads too)\n",
                sqlite3_libversion(), peer.JournalMode().c_str(),
                peer.Pragma("page_size").c_str(), peer.Pragma("cache_size").c_str());
    std::printf("ours: OPEN read/write deny write; load under STREAM, one FLUSH; BUILD syncs "
                "once at its end; no cache of its own\n");
    std::printf("plan scan data: %s\n", peer.Plan(Peer::kScanByData).c_str());
    std::printf("plan scan fio:  %s\n", peer.Plan(Peer::kScanByFio).c_str());
    std::printf("plan seek:      %s\n\n", peer.Plan(Peer::kSeek).c_str());
    table.PrintHeader();

    Times t_ours = TimeOf([&] { ours.Load(people); });
    Times t_peer = TimeOf([&] { peer.Load(people); });
    if (ours.Records() != static_cast<uint32_t>(n)) Die("RECORDS differs from N");
    table.PrintRow("load", t_ours, t_peer, "");

    const struct {
      const char* name;
      int key;
      const char* sql;
    } scans[] = {{"scan by DATA", zuna::app::kZunKeyIndex, Peer::kScanByData},
                 {"scan by FIO", zuna::app::kKey2Index, Peer::kScanByFio}};
    for (const auto& scan : scans) {
      Digest d_ours, d_peer;
      t_ours = TimeOf([&] { d_ours = ours.Scan(scan.key); });
      t_peer = TimeOf([&] { d_peer = peer.Scan(scan.sql); });
      if (d_ours.rows != static_cast<uint64_t>(n)) Die("scan missed records");
      table.PrintRow(scan.name, t_ours, t_peer, Agreement(d_ours, d_peer));
    }

    {
      Digest d_ours, d_peer;
      t_ours = TimeOf([&] { d_ours = ours.Seek(prefixes); });
      t_peer = TimeOf([&] { d_peer = peer.Seek(prefixes); });
      table.PrintRow("seek 10000x20", t_ours, t_peer, Agreement(d_ours, d_peer));
    }

    t_ours = TimeOf([&] { ours.Build(); });
    peer.DropIndexes();
    t_peer = TimeOf([&] { peer.Build(); });
    table.PrintRow("build 2 keys", t_ours, t_peer, "");

    std::printf("\nfiles: ours %.1f MB, SQLite %.1f MB\n",
                static_cast<double>(BytesOf(dir, true)) / 1e6,
                static_cast<double>(BytesOf(dir, false)) / 1e6);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
