// Times the register's upcoming-birthdays list against SQLite computing the
// same list, in one run, over the same N people (bench/people_generator.h):
//
//   upcoming  our view over ZUN exactly as `zunatool upcoming` builds it:
//             order app::kUpcomingOrder (ZUN:zun_key), filter
//             app::kUpcomingFilter over the five date variables that
//             app::RefreshUpcomingDates fills and app::BindUpcomingDates
//             binds, today fixed by a FixedClock.  The file is opened
//             exclusively (OPEN 0x22) and, separately, shared (SHARE 0x42),
//             whose protocol costs something per record.  vs one SELECT
//             that computes, with SQLite's date functions, the people whose
//             birthday in today's year or the next lies today to 7 days
//             ahead, ordered by date of birth then rowid (our view breaks
//             ties by record number, and record i is rowid i).  SQLite runs
//             it under two plans, walking its date index or scanning the
//             table and sorting what passes; the faster one is the peer.
//   range     a view over ZUN:DATA ordered by ZUN:DATA whose filter
//             "ZUN:DATA >= a AND ZUN:DATA <= b" holds for about 1% of the
//             people, in the middle of the dates: read from the first record
//             (Set(), the filter's early end stops the scan after b) and from
//             a (Set(1) with a in the record buffer); vs
//             WHERE data BETWEEN a AND b ORDER BY data, rowid.
//
// 29 February.  The filter rebuilds a birthday as DEFORMAT of year & MMDD
// with @d12, which reads day 29 of February in a common year as DATE(2, 29,
// year): the first of the month plus 28 days, 1 March.  The SQL builds the
// birthday the same way, julianday(year-MM-01) + DD - 1, so it rolls over
// alike.  Besides the timed day (28 December 2009, when the list spans the
// year end), the lists are compared, untimed, on 25 December 2009 (the first
// day the filter looks into the next year), 25 February 2010 (29 February
// read as 1 March) and 25 February 2012 (a leap year).
//
// Each side reads the operating system's cache: both files were just written.
// Our timings cover the view (SetOrder, SetFilter, Open, Set, the reads,
// Close) on a FILE already open; SQLite's cover prepare, the steps and
// finalize in one read transaction on an open connection.  Each workload
// runs kRepeats times; the least wall and the least CPU seconds are printed,
// with the ratio ours/SQLite (the register's goal for the list: 0.5 or
// less).  Not a test: nothing is asserted but that both sides list the same
// people; whether their orders agree is printed as well.
//
//   upcoming_vs_sqlite_bench [N [directory]]   (default 1000000, $TMPDIR or /tmp)
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/upcoming_filter.h"
#include "app/zun_dictionary.h"
#include "bench/people_generator.h"
#include "bench/sqlite_peer.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/view.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace {

namespace datfile = zuna::datfile;
namespace fs = std::filesystem;
using zuna::app::ZUN_Record;
using zuna::bench::Check;
using zuna::bench::Die;
using zuna::bench::MakePeople;
using zuna::bench::Person;
using zuna::bench::Serial;
using zuna::bench::Stopwatch;
using zuna::bench::SurnameForms;
using zuna::bench::TimeOf;
using zuna::bench::Times;
using zuna::values::LocalDateTime;

constexpr int kRepeats = 3;
constexpr int32_t kEndOfRecords = 33;

constexpr uint32_t kOpenExclusive = datfile::kAccessReadWrite | datfile::kShareDenyWrite;
constexpr uint32_t kShareMode = datfile::kAccessReadWrite | datfile::kShareDenyNone;
static_assert(kOpenExclusive == 0x22 && kShareMode == 0x42);

constexpr LocalDateTime kTimedToday{2009, 12, 28, 0};
constexpr LocalDateTime kCheckedTodays[] = {
    {2009, 12, 25, 0}, {2010, 2, 25, 0}, {2012, 2, 25, 0}};

// ---- Reporting ------------------------------------------------------------

constexpr zuna::bench::RatioTable kTable(24, 8, "sql cpu");

Times Least(const Times& a, const Times& b) {
  return {std::min(a.wall, b.wall), std::min(a.cpu, b.cpu)};
}

std::string IsoDate(const LocalDateTime& day) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", day.year, day.month, day.day);
  return text;
}

// A list as either side returns it: names (1251) and record numbers, in
// the order read.
struct Listing {
  std::vector<std::string> names;
  std::vector<uint32_t> record_numbers;
  void Add(std::string_view name, uint32_t record_no) {
    names.emplace_back(name);
    record_numbers.push_back(record_no);
  }
};

// "same people" (and whether the orders agree), or the names only one side
// lists.  Dies when the people differ: the timings would mean nothing.
std::string Compare(const Listing& ours, const Listing& peer) {
  std::vector<std::string> a = ours.names;
  std::vector<std::string> b = peer.names;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  if (a == b) {
    return ours.record_numbers == peer.record_numbers ? "same people, same order"
                                                      : "same people, order differs";
  }
  std::vector<std::string> only_ours, only_peer;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(only_ours));
  std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(only_peer));
  std::string text = "people differ: " + std::to_string(a.size()) + " ours, " +
                     std::to_string(b.size()) + " SQLite";
  const auto list = [&text](const char* side, const std::vector<std::string>& names) {
    text.append("\n  only ").append(side).append(" (");
    text.append(std::to_string(names.size())).append("):");
    for (size_t i = 0; i < names.size() && i < 10; ++i) {
      text.append(" ").append(zuna::values::Cp1251ToUtf8(names[i])).append(";");
    }
  };
  list("ours", only_ours);
  list("SQLite", only_peer);
  Die(text);
}

// ---- Our side -------------------------------------------------------------

struct ViewRun {
  Listing listing;
  Times time;
  uint64_t examined = 0;
  datfile::View::AccessPath path;
  bool can_end_early = false;
};

class Ours {
 public:
  explicit Ours(const std::string& dir) : zun_(zuna::app::ZunDeclaration()) {
    zun_.set_name(dir + "/ZUN");
  }

  // N people under STREAM, both keys maintained, then FLUSH.
  void Load(const std::vector<Person>& people) {
    Check(datfile::CREATE(zun_), "CREATE");
    Check(datfile::OPEN(zun_, kOpenExclusive), "OPEN");
    zuna::bench::AddPeople(zun_, people);
    Check(datfile::CLOSE(zun_), "CLOSE");
  }

  void Open(bool shared) {
    Check(shared ? datfile::SHARE(zun_, kShareMode) : datfile::OPEN(zun_, kOpenExclusive),
          shared ? "SHARE" : "OPEN");
  }
  void Close() { Check(datfile::CLOSE(zun_), "CLOSE"); }
  uint32_t Records() { return datfile::RECORDS(zun_); }

  // One pass of a view over the open FILE, as zunatool's lists read it.
  // With `start`, the view starts at that ZUN:DATA (Set(1)), else at the
  // first record of the order.
  ViewRun Read(std::string_view order, std::string_view filter,
               std::optional<int32_t> start = std::nullopt) {
    ViewRun run;
    Stopwatch watch;
    {
      datfile::View view(zun_);
      Check(view.SetOrder(order), "View::SetOrder");
      Check(view.SetFilter(filter), "View::SetFilter");
      Check(view.Open(), "View::Open");
      if (start) {
        ZUN_Record r = zuna::app::ReadZunRecord(zun_.record());
        r.DATA = *start;
        zuna::app::WriteZunRecord(r, zun_.record());
        Check(view.Set(1), "View::Set(1)");
      } else {
        Check(view.Set(), "View::Set");
      }
      int32_t error;
      while ((error = view.Next()) == 0) {
        const ZUN_Record r = zuna::app::ReadZunRecord(zun_.record());
        run.listing.Add(zuna::app::ZunName(r), view.current_record());
      }
      if (error != kEndOfRecords) Check(error, "View::Next");
      run.examined = view.records_examined();
      run.path = view.access_path();
      run.can_end_early = view.can_end_early();
      Check(view.Close(), "View::Close");
    }
    run.time = watch.Elapsed();
    return run;
  }

  // The least times of kRepeats passes; the listing of the last.
  ViewRun Best(std::string_view order, std::string_view filter,
               std::optional<int32_t> start = std::nullopt) {
    ViewRun best = Read(order, filter, start);
    for (int i = 1; i < kRepeats; ++i) {
      ViewRun next = Read(order, filter, start);
      next.time = Least(next.time, best.time);
      best = std::move(next);
    }
    return best;
  }

 private:
  datfile::DatFileInstance zun_;
};

std::string PathName(const datfile::View::AccessPath& path) {
  switch (path.kind) {
    case datfile::View::AccessPath::Kind::kKey:
      return "key " + std::to_string(path.key + 1) + (path.backwards ? " backwards" : "");
    case datfile::View::AccessPath::Kind::kSortedPass:
      return "sorted pass";
    case datfile::View::AccessPath::Kind::kFileOrder:
      return "file order";
    case datfile::View::AccessPath::Kind::kNone:
      break;
  }
  return "none";
}

// ---- SQLite ---------------------------------------------------------------

// Parameters: ?1 today as YYYY-MM-DD.  A date serial s is the day
// julianday('1801-01-01') + s - 4 (serial 4 is 1 January 1801).  A
// birthday in year y is julianday(y-MM-01) + DD - 1, so 29 February rolls
// into 1 March in a common year, as the filter's DEFORMAT reads it.
constexpr std::string_view kUpcomingSelect =
    "SELECT fio, people.rowid FROM people,"
    " (SELECT julianday(?1) AS t, CAST(strftime('%Y', ?1) AS INTEGER) AS y,"
    "         julianday('1801-01-01') - 4 AS epoch) AS today "
    "WHERE julianday(y || strftime('-%m-01', data + epoch))"
    "        + CAST(strftime('%d', data + epoch) AS INTEGER) - 1 - t BETWEEN 0 AND 7"
    "   OR julianday((y + 1) || strftime('-%m-01', data + epoch))"
    "        + CAST(strftime('%d', data + epoch) AS INTEGER) - 1 - t BETWEEN 0 AND 7 ";
const std::string kUpcomingSql =
    std::string(kUpcomingSelect) + "ORDER BY data, people.rowid";
// The same with the index kept out of the ordering (unary +): a scan of
// the table and a sort of the ~2% that pass, instead of the index's walk
// with a table lookup per person.  Whichever SQLite plan is faster is the
// peer.
const std::string kUpcomingSqlScan =
    std::string(kUpcomingSelect) + "ORDER BY +data, +people.rowid";

// Parameters: ?1, ?2 the bounds, date serials.
constexpr const char* kRangeSql =
    "SELECT fio, rowid FROM people WHERE data BETWEEN ?1 AND ?2 ORDER BY data, rowid";

class Peer {
 public:
  explicit Peer(const std::string& path) : db_(path) {
    // The same indexes as ZUN's two keys.
    db_.Exec("CREATE TABLE people (fio TEXT, data INTEGER)");
    db_.Exec("CREATE INDEX people_data ON people (data)");
    db_.Exec("CREATE INDEX people_fio ON people (fio COLLATE NOCASE)");
  }

  // Rowid i + 1 for person i, as record i + 1 in ZUN.
  void Load(const std::vector<Person>& people) {
    db_.InsertPeople("INSERT INTO people (rowid, fio, data) VALUES (?1, ?2, ?3)", people);
  }

  struct Run {
    Listing listing;
    Times time;
  };

  using Parameter = std::variant<int64_t, std::string>;

  // One query in one read transaction.
  Run Query(const char* sql, const std::vector<Parameter>& parameters) {
    Run run;
    Stopwatch watch;
    db_.Exec("BEGIN");
    sqlite3_stmt* select = db_.Prepare(sql);
    for (size_t i = 0; i < parameters.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      if (const auto* number = std::get_if<int64_t>(&parameters[i])) {
        sqlite3_bind_int64(select, index, *number);
      } else {
        const std::string& text = std::get<std::string>(parameters[i]);
        sqlite3_bind_text(select, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_STATIC);
      }
    }
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
      run.listing.Add(std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(select, 0))),
                      static_cast<uint32_t>(sqlite3_column_int64(select, 1)));
    }
    if (rc != SQLITE_DONE) Die("SELECT: " + db_.Error());
    sqlite3_finalize(select);
    db_.Exec("COMMIT");
    run.time = watch.Elapsed();
    return run;
  }

  Run Best(const char* sql, const std::vector<Parameter>& parameters) {
    Run best = Query(sql, parameters);
    for (int i = 1; i < kRepeats; ++i) {
      Run next = Query(sql, parameters);
      next.time = Least(next.time, best.time);
      best = std::move(next);
    }
    return best;
  }

  std::string Plan(const char* sql) { return db_.Plan(sql); }

 private:
  zuna::bench::SqliteDb db_;
};

// ---- The workloads ---------------------------------------------------------

// Fixes today at `day` for the runtime and refreshes the list's variables.
// REQUIRES: `clock` outlives its installation.
void SetToday(const LocalDateTime& day, zuna::values::FixedClock* clock,
              zuna::app::UpcomingDates* dates) {
  *clock = zuna::values::FixedClock(day);
  zuna::values::SetClock(clock);
  zuna::app::RefreshUpcomingDates(zuna::values::TODAY(), dates);
}

void TimeUpcoming(Ours& ours, Peer& peer) {
  const std::vector<Peer::Parameter> today{IsoDate(kTimedToday)};
  const Peer::Run by_index = peer.Best(kUpcomingSql.c_str(), today);
  const Peer::Run by_scan = peer.Best(kUpcomingSqlScan.c_str(), today);
  const bool scan_wins = by_scan.time.wall < by_index.time.wall;
  const Peer::Run& sql = scan_wins ? by_scan : by_index;
  for (const bool shared : {false, true}) {
    ours.Open(shared);
    const ViewRun view = ours.Best(zuna::app::kUpcomingOrder, zuna::app::kUpcomingFilter);
    ours.Close();
    kTable.PrintRow(shared ? "upcoming, SHARE 0x42" : "upcoming, OPEN 0x22", view.time, sql.time,
           std::to_string(view.listing.names.size()) + " rows, " + PathName(view.path) +
               ", examined " + std::to_string(view.examined) + "; " +
               Compare(view.listing, sql.listing));
  }
  std::printf("  SQLite's plans for it: index walk %.3f s (cpu %.3f), table scan and sort "
              "%.3f s (cpu %.3f), %s; the %s is the peer above\n",
              by_index.time.wall, by_index.time.cpu, by_scan.time.wall, by_scan.time.cpu,
              Compare(by_scan.listing, by_index.listing).c_str(),
              scan_wins ? "scan" : "index walk");
  std::fflush(stdout);
}

// Untimed: the lists of kCheckedTodays, and how many of their people were
// born on 29 February (record i + 1 is person i).
void CheckOtherDays(Ours& ours, Peer& peer, const std::vector<Person>& people,
                    zuna::values::FixedClock* clock, zuna::app::UpcomingDates* dates) {
  ours.Open(false);
  for (const LocalDateTime& day : kCheckedTodays) {
    SetToday(day, clock, dates);
    const ViewRun view = ours.Read(zuna::app::kUpcomingOrder, zuna::app::kUpcomingFilter);
    const Peer::Run sql = peer.Query(kUpcomingSql.c_str(), {IsoDate(day)});
    size_t leap_day = 0;
    for (const uint32_t record_no : view.listing.record_numbers) {
      const zuna::values::CivilDate born =
          zuna::values::CivilFromSerial(people[record_no - 1].data);
      if (born.month == 2 && born.day == 29) ++leap_day;
    }
    std::printf("check %s: %zu rows (%zu born 29 February); %s\n", IsoDate(day).c_str(),
                view.listing.names.size(), leap_day, Compare(view.listing, sql.listing).c_str());
  }
  ours.Close();
  std::fflush(stdout);
}

void TimeRange(Ours& ours, Peer& peer) {
  // 1% of the span the people are born in, from 1 January 1970.
  const int32_t span = Serial(2010, 12, 31) - Serial(1930, 1, 1) + 1;
  const int32_t low = Serial(1970, 1, 1);
  const int32_t high = low + span / 100 - 1;
  const std::string filter =
      "ZUN:DATA >= " + std::to_string(low) + " AND ZUN:DATA <= " + std::to_string(high);
  std::printf("range filter: %s (1970-01-01 .. %d days later)\n", filter.c_str(), span / 100 - 1);
  const Peer::Run sql = peer.Best(kRangeSql, {int64_t{low}, int64_t{high}});
  ours.Open(false);
  const uint32_t records = ours.Records();
  for (const bool from_low : {false, true}) {
    const ViewRun view =
        ours.Best("ZUN:DATA", filter, from_low ? std::optional<int32_t>(low) : std::nullopt);
    const uint64_t examined = view.examined;
    char note[160];
    std::snprintf(note, sizeof note, "%zu rows, %s, early end %s, examined %llu of %u (%.1f%%); ",
                  view.listing.names.size(), PathName(view.path).c_str(),
                  view.can_end_early ? "on" : "off", static_cast<unsigned long long>(examined),
                  records, records ? 100.0 * static_cast<double>(examined) / records : 0.0);
    kTable.PrintRow(from_low ? "range, Set(1) at a" : "range, Set()", view.time, sql.time,
           note + Compare(view.listing, sql.listing));
  }
  ours.Close();
}

}  // namespace

int main(int argc, char** argv) {
  const zuna::bench::Run run = zuna::bench::StartRun("upcoming_vs_sqlite_bench", argc, argv);
  const long n = run.n;
  const std::string& dir = run.dir;

  const std::vector<Person> people = MakePeople(static_cast<uint32_t>(n), SurnameForms());

  // The list's variables live, bound, for the whole run, as the register's
  // list keeps them while its view may evaluate the filter.
  zuna::app::UpcomingDates dates;
  zuna::values::FixedClock clock(kTimedToday);
  SetToday(kTimedToday, &clock, &dates);
  zuna::values::PUSHBIND(true);
  zuna::app::BindUpcomingDates(dates);
  {
    Ours ours(dir);
    Peer peer(dir + "/people.db");
    std::printf("upcoming_vs_sqlite_bench: N=%ld people, directory %s, today %s\n", n,
                dir.c_str(), IsoDate(kTimedToday).c_str());
    const Times t_ours = TimeOf([&] { ours.Load(people); });
    const Times t_peer = TimeOf([&] { peer.Load(people); });
    std::printf("load (untimed workload): ours %.3f s, SQLite %.3f s\n", t_ours.wall,
                t_peer.wall);
    std::printf("SQLite %s, synchronous=NORMAL, one read transaction per query\n",
                sqlite3_libversion());
    std::printf("plan upcoming:      %s\n", peer.Plan(kUpcomingSql.c_str()).c_str());
    std::printf("plan upcoming scan: %s\n", peer.Plan(kUpcomingSqlScan.c_str()).c_str());
    std::printf("plan range:         %s\n", peer.Plan(kRangeSql).c_str());
    std::printf("best of %d passes each\n\n", kRepeats);
    kTable.PrintHeader();

    TimeUpcoming(ours, peer);
    TimeRange(ours, peer);
    std::printf("\n");
    CheckOtherDays(ours, peer, people, &clock, &dates);
  }
  zuna::values::POPBIND();
  zuna::values::SetClock(nullptr);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
