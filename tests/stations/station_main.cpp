// zuna_station: one station of the register for the multi-station tests.
// It owns one FILE of the register's ZUN declaration and drives the driver
// through the runtime's statements, so a test can put several real
// processes on one data file and order their steps through pipes.
//
// Command mode (no arguments).  Prints "ready", then reads one command per
// line on stdin and answers each with exactly one line on stdout, flushed:
//   "0" or "0 VALUE..."  success, with the command's answer
//   "N"                  the driver's error number N
//   "-1 TEXT"            a command it does not understand
// It ends at "quit" or at the end of stdin (an open FILE is closed then).
//
//   open PATH MODE     OPEN with the mode word, access | share ("0x42")
//   share PATH         SHARE (read/write, deny none)
//   create PATH        CREATE; the FILE stays closed
//   close
//   add NAME DATE      ADD a record; answers "0 RECNO"
//   get N              GET by record number; answers "0 RECNO NAME DATE"
//   getname NAME       GET by ZUN:key2; answers as get
//   set                SET in record-number order
//   next               NEXT; answers as get
//   page COUNT         COUNT NEXTs under one OperationGroup (one hold of
//                      the file, as a reader of pages takes it); answers
//                      "0 RECNO NAME DATE RECNO NAME DATE ..."
//   put NAME DATE      gives the current record a new FIO and DATA, PUT
//   delete             DELETE the current record
//   hold SECONDS       HOLD the next record read, waiting up to SECONDS
//   release, watch, lock, unlock, stream, flush
//   send TEXT          SEND; answers "0 VALUE" (the rest of the line is TEXT)
//   records            answers "0 COUNT"
//   current            answers "0 RECNO NAME DATE", or "0 0" without one
//   dump               every live record in record-number order:
//                      "0 COUNT RECNO:NAME:DATE ..." (the sequence moves)
//   logout, commit, rollback   the transaction statements
//   build PATH         BUILD of every key, the FILE closed (as zunatool does)
//   pack PATH          PACK, the FILE closed
//   fill COUNT SEED    ADDs COUNT people with made-up names and dates under
//                      STREAM, then FLUSH; answers "0 COUNT"
//   thin EVERY         DELETEs every EVERY-th record by record number under
//                      STREAM, then FLUSH
//   digest [KEY]       every live record, in record-number order or through
//                      key KEY (1 zun_key, 2 key2): "0 COUNT SUM" with SUM
//                      a sum of hashes of name and date, the same in any order
//   passed             "0 N": the crash points (below) passed so far
//   steps              "0 P1 P2 ...": which of them were steps of a BUILD or
//                      PACK other than a key node written
//   sleep MS
//   quit
// NAME is one word (blanks cannot be written); an empty FIO reads as "-".
// DATE is a date serial.  PATH names the data file as OPEN does (".DAT"
// is added to a name without an extension).
//
// Options before the command mode:
//   --crash-at N   the process kills itself (SIGKILL) at the Nth point where
//                  a transaction can be caught half way: a log record on
//                  disk before its write, the commit point passed, one
//                  record of a rollback undone; or a BUILD or PACK: each
//                  step of maintenance_points.h (one per key node written)
//   --pause-at-log-removed  at a COMMIT, once the name of its data file's
//                  log is gone, prints "paused" and goes on only after a
//                  line on stdin (which is not taken as a command)
//   --pause-at-write  the same once the first write of a transaction's
//                  batch is made (the data file's header), the rest not yet
//   --fixed-clock  the clock stands at 2009-03-05 12:30, so the files a run
//                  leaves (change stamps included) can be compared bytewise
//
// Churn mode, for the contention tests:
//   zuna_station churn PATH SEED N --id ID --log FILE
// SHAREs PATH and runs N random changes on it: ADD, DELETE and PUT under
// WATCH, retrying what other stations make fail for a moment (see Churn
// below).  Every accepted change goes to the log FILE as one line
//   T_BEGIN T_END OP RECNO NAME
// with OP ADD, PUT or DEL (NAME "-" for DEL) and the monotonic clock's
// nanoseconds just before the call and just after it returned: the change
// took effect somewhere inside that interval.  Names are "S<ID>-<seq>",
// unique over all stations with distinct ids.  At the end it prints one line
//   adds=A deletes=D puts=P r5=.. r32=.. r33=.. r35=.. r43=.. r89=.. error=E
// (rN: how often error N made it retry or choose another record; E: the
// unexpected error number that stopped it, 0 when none) and exits 0 only
// when E is 0.
#include <csignal>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/zun_dictionary.h"
#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/maintenance_points.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/transaction.h"
#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"
#include "tests/support/shipped_locale.h"

namespace {

namespace datfile = zuna::datfile;
namespace app = zuna::app;

using datfile::DatFileInstance;

constexpr datfile::Key kByName{app::kKey2Index};

// --crash-at: the crash points passed, and the one to die at.
long crash_at = 0;  // 0: count the points, never crash
long points_passed = 0;
std::string maintenance_steps;  // " P1 P2 ..."

void PassPoint() {
  if (++points_passed == crash_at) ::raise(SIGKILL);
}
// --pause-at-log-removed: the first time a committed log's name is gone,
// "paused" goes out and the station waits for a line on stdin, so a test
// can step other stations through that moment.
bool pause_at_log_removed = false;
bool pause_at_write = false;  // --pause-at-write, the same at the first write

void PauseOnce(bool* armed) {
  *armed = false;
  std::cout << "paused" << std::endl;
  std::string line;
  std::getline(std::cin, line);
}

void PassTransactionPoint(datfile::transaction::CrashPoint point) {
  PassPoint();
  if (pause_at_log_removed && point == datfile::transaction::CrashPoint::kLogRemoved) {
    PauseOnce(&pause_at_log_removed);
  }
  if (pause_at_write && point == datfile::transaction::CrashPoint::kWritten) {
    PauseOnce(&pause_at_write);
  }
}
void PassMaintenancePoint(datfile::MaintenancePoint point) {
  if (point != datfile::MaintenancePoint::kKeyNodeWritten) {
    maintenance_steps += " " + std::to_string(points_passed + 1);
  }
  PassPoint();
}


bool ParseNumber(std::string_view word, int64_t* value) {
  int base = 10;
  if (word.starts_with("0x") || word.starts_with("0X")) {
    base = 16;
    word.remove_prefix(2);
  }
  if (word.empty()) return false;
  const auto [end, error] =
      std::from_chars(word.data(), word.data() + word.size(), *value, base);
  return error == std::errc() && end == word.data() + word.size();
}

std::string RecordText(DatFileInstance& file) {
  const app::ZUN_Record record = app::ReadZunRecord(file.record());
  std::string name(app::ZunName(record));
  if (name.empty()) name = "-";
  return std::to_string(datfile::POINTER(file)) + " " + name + " " +
         std::to_string(record.DATA);
}

// A read's answer: its record when it succeeded.
std::string ReadAnswer(DatFileInstance& file, int32_t code) {
  if (code != 0) return std::to_string(code);
  return "0 " + RecordText(file);
}

void SetNew(DatFileInstance& file, std::string_view name, int32_t date) {
  app::WriteZunRecord(app::MakeZunRecord(name, date), file.record());
}

// Changes FIO and DATA of the record in the buffer; DATA1 travels along.
void SetChanged(DatFileInstance& file, std::string_view name, int32_t date) {
  const app::ZUN_Record old = app::ReadZunRecord(file.record());
  app::WriteZunRecord(app::MakeZunRecord(name, date, old.DATA1), file.record());
}

// ---------------------------------------------------------------------------
// Command mode.

class CommandStation {
 public:
  CommandStation() : file_(app::ZunDeclaration()) {}

  // The answer line for `line`; *quit is set by "quit".
  std::string Run(const std::string& line, bool* quit) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    auto code = [](int32_t c) { return std::to_string(c); };
    auto number = [&](size_t i, int64_t* value) {
      return i < words.size() && ParseNumber(words[i], value);
    };
    int64_t a = 0;
    int64_t b = 0;

    if (command == "open" && words.size() == 2 && number(1, &a)) {
      file_.set_name(words[0]);
      return code(datfile::OPEN(file_, static_cast<uint32_t>(a)));
    }
    if (command == "share" && words.size() == 1) {
      file_.set_name(words[0]);
      return code(datfile::SHARE(file_));
    }
    if (command == "create" && words.size() == 1) {
      file_.set_name(words[0]);
      return code(datfile::CREATE(file_));
    }
    if (command == "close" && words.empty()) return code(datfile::CLOSE(file_));
    if (command == "logout" && words.empty()) return code(datfile::LOGOUT(file_));
    if (command == "commit" && words.empty()) return code(datfile::COMMIT(file_));
    if (command == "rollback" && words.empty()) return code(datfile::ROLLBACK(file_));
    if (command == "add" && words.size() == 2 && number(1, &b)) {
      SetNew(file_, words[0], static_cast<int32_t>(b));
      const int32_t c = datfile::ADD(file_);
      if (c != 0) return code(c);
      return "0 " + std::to_string(datfile::POINTER(file_));
    }
    if (command == "get" && words.size() == 1 && number(0, &a)) {
      return ReadAnswer(file_, datfile::GET(file_, static_cast<uint32_t>(a)));
    }
    if (command == "getname" && words.size() == 1) {
      SetNew(file_, words[0], 0);
      return ReadAnswer(file_, datfile::GET(file_, kByName));
    }
    if (command == "set" && words.empty()) return code(datfile::SET(file_));
    if (command == "next" && words.empty()) {
      return ReadAnswer(file_, datfile::NEXT(file_));
    }
    if (command == "page" && words.size() == 1 && number(0, &a)) {
      // COUNT NEXTs under one hold of the file, as zunatool reads a page.
      datfile::OperationGroup page(file_);
      std::string records;
      for (int64_t i = 0; i < a; ++i) {
        const int32_t c = datfile::NEXT(file_);
        if (c != 0) return code(c);
        records += " " + RecordText(file_);
      }
      return "0" + records;
    }
    if (command == "put" && words.size() == 2 && number(1, &b)) {
      SetChanged(file_, words[0], static_cast<int32_t>(b));
      return code(datfile::PUT(file_));
    }
    if (command == "delete" && words.empty()) return code(datfile::DELETE(file_));
    if (command == "hold" && words.size() == 1 && number(0, &a)) {
      return code(datfile::HOLD(file_, static_cast<int32_t>(a)));
    }
    if (command == "release" && words.empty()) return code(datfile::RELEASE(file_));
    if (command == "watch" && words.empty()) return code(datfile::WATCH(file_));
    if (command == "lock" && words.empty()) return code(datfile::LOCK(file_));
    if (command == "unlock" && words.empty()) return code(datfile::UNLOCK(file_));
    if (command == "stream" && words.empty()) return code(datfile::STREAM(file_));
    if (command == "flush" && words.empty()) return code(datfile::FLUSH(file_));
    if (command == "send" && !words.empty()) {
      const std::string text = line.substr(line.find("send") + 5);
      const std::string answer = datfile::SEND(file_, text);
      const int32_t c = zuna::values::ERRORCODE();
      if (c != 0) return code(c);
      return answer.empty() ? "0" : "0 " + answer;
    }
    if (command == "records" && words.empty()) {
      const uint32_t count = datfile::RECORDS(file_);
      const int32_t c = zuna::values::ERRORCODE();
      if (c != 0) return code(c);
      return "0 " + std::to_string(count);
    }
    if (command == "current" && words.empty()) {
      if (!file_.is_open() || datfile::POINTER(file_) == 0) return "0 0";
      return "0 " + RecordText(file_);
    }
    if (command == "dump" && words.empty()) return Dump();
    if (command == "build" && words.size() == 1) {
      file_.set_name(words[0]);
      return code(datfile::BUILD(file_));
    }
    if (command == "pack" && words.size() == 1) {
      file_.set_name(words[0]);
      return code(datfile::PACK(file_));
    }
    if (command == "fill" && words.size() == 2 && number(0, &a) && number(1, &b)) {
      return Fill(a, static_cast<uint32_t>(b));
    }
    if (command == "thin" && words.size() == 1 && number(0, &a) && a > 0) {
      return Thin(static_cast<uint32_t>(a));
    }
    if (command == "digest" && words.empty()) return Digest(std::nullopt);
    if (command == "digest" && words.size() == 1 && number(0, &a) && (a == 1 || a == 2)) {
      return Digest(datfile::Key{static_cast<int>(a - 1)});
    }
    if (command == "passed" && words.empty()) return "0 " + std::to_string(points_passed);
    if (command == "steps" && words.empty()) return "0" + maintenance_steps;
    if (command == "sleep" && words.size() == 1 && number(0, &a)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(a));
      return "0";
    }
    if (command == "quit" && words.empty()) {
      *quit = true;
      return "0";
    }
    return "-1 not understood: " + line;
  }

 private:
  std::string Dump() {
    int32_t c = datfile::SET(file_);
    if (c != 0) return std::to_string(c);
    std::string records;
    uint32_t count = 0;
    while ((c = datfile::NEXT(file_)) == 0) {
      std::string text = RecordText(file_);
      for (char& ch : text) {
        if (ch == ' ') ch = ':';
      }
      records += " " + text;
      ++count;
    }
    if (c != 33) return std::to_string(c);  // 33: past the last record
    return "0 " + std::to_string(count) + records;
  }

  // Names of two to four syllables with a number, so that key2 spreads
  // over many values and still holds some twice.
  std::string Fill(int64_t count, uint32_t seed) {
    static constexpr const char* kSyllables[] = {"ka", "lo", "mi", "no", "ra", "se",
                                                 "tu", "vi", "zo", "be", "da", "gri"};
    std::mt19937 random(seed);
    int32_t c = datfile::STREAM(file_);
    for (int64_t i = 0; i < count && c == 0; ++i) {
      std::string name;
      const int syllables = 2 + static_cast<int>(random() % 3);
      for (int k = 0; k < syllables; ++k) name += kSyllables[random() % 12];
      name[0] = static_cast<char>(name[0] - 'a' + 'A');
      name += std::to_string(random() % 1000);
      SetNew(file_, name, static_cast<int32_t>(40000 + random() % 40000));
      c = datfile::ADD(file_);
    }
    if (c == 0) c = datfile::FLUSH(file_);
    if (c != 0) return std::to_string(c);
    return "0 " + std::to_string(count);
  }

  std::string Thin(uint32_t every) {
    const uint32_t slots = datfile::RECORDS(file_);
    int32_t c = datfile::STREAM(file_);
    for (uint32_t r = every; r <= slots && c == 0; r += every) {
      c = datfile::GET(file_, r);
      if (c == 0) c = datfile::DELETE(file_);
    }
    if (c == 0) c = datfile::FLUSH(file_);
    return std::to_string(c);
  }

  std::string Digest(std::optional<datfile::Key> key) {
    int32_t c = key ? datfile::SET(file_, *key) : datfile::SET(file_);
    if (c != 0) return std::to_string(c);
    uint64_t sum = 0;
    uint32_t count = 0;
    while ((c = datfile::NEXT(file_)) == 0) {
      const app::ZUN_Record record = app::ReadZunRecord(file_.record());
      sum += std::hash<std::string>{}(std::string(app::ZunName(record)) + "/" +
                                      std::to_string(record.DATA));
      ++count;
    }
    if (c != 33) return std::to_string(c);  // 33: past the last record
    return "0 " + std::to_string(count) + " " + std::to_string(sum);
  }

  DatFileInstance file_;
};

int RunCommands() {
  CommandStation station;
  std::cout << "ready" << std::endl;
  bool quit = false;
  for (std::string line; !quit && std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::cout << station.Run(line, &quit) << std::endl;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Churn mode.

// Nanoseconds of the steady clock, which on Linux is CLOCK_MONOTONIC: one
// clock for every process of the machine, so the logs of several stations
// can be laid side by side.
int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The errors another station causes for a moment: the header lock byte
// busy for a whole second (5), a LOCK (32), a held record (43; 5 on PUT).
bool IsTransient(int32_t code) { return code == 5 || code == 32 || code == 43; }

class Churn {
 public:
  Churn(std::string path, uint32_t seed, int id)
      : file_(app::ZunDeclaration()), random_(seed), id_(id) {
    file_.set_name(std::move(path));
  }

  // 0, or the unexpected error that stopped the run.
  int32_t Run(int64_t operations) {
    int32_t code = 0;
    for (int attempt = 0;; ++attempt) {
      code = datfile::SHARE(file_);
      if (code == 0 || !IsTransient(code) || attempt == 50) break;
      Retried(code);
      Pause();
    }
    if (code != 0) return code;
    RefreshHighest();
    for (int64_t i = 0; i < operations && code == 0; ++i) {
      if (i % 16 == 0) RefreshHighest();
      const uint32_t dice = Uniform(0, 99);
      if (dice < 40 || highest_ == 0) {
        code = Add();
      } else if (dice < 80) {
        code = Put();
      } else {
        code = Delete();
      }
    }
    const int32_t closed = datfile::CLOSE(file_);
    return code != 0 ? code : closed;
  }

  std::string Summary(int32_t error) const {
    std::string line = "adds=" + std::to_string(adds_) +
                       " deletes=" + std::to_string(deletes_) +
                       " puts=" + std::to_string(puts_);
    for (int32_t code : {5, 32, 33, 35, 43, 89}) {
      auto found = retries_.find(code);
      line += " r" + std::to_string(code) + "=" +
              std::to_string(found == retries_.end() ? 0 : found->second);
    }
    return line + " error=" + std::to_string(error);
  }

  const std::string& log() const { return log_; }

 private:
  static constexpr int kPicks = 50;       // records tried before adding instead
  static constexpr int kAttempts = 2000;  // retries of one record's change

  uint32_t Uniform(uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random_);
  }
  int32_t RandomDate() { return static_cast<int32_t>(Uniform(40000, 80000)); }
  void Pause() { std::this_thread::sleep_for(std::chrono::microseconds(Uniform(200, 3000))); }
  void Retried(int32_t code) { ++retries_[code]; }

  std::string NextName() {
    char name[32];
    std::snprintf(name, sizeof name, "S%d-%06u", id_, ++sequence_);
    return name;
  }

  // Record numbers are drawn from 1 up to a little beyond the highest one
  // this station knows of, so records other stations appended are found
  // too (a number past the last slot answers 35 and another is drawn).
  uint32_t PickRecord() { return Uniform(1, highest_ + 4); }
  void Saw(uint32_t record_no) {
    if (record_no > highest_) highest_ = record_no;
  }
  void RefreshHighest() {
    const uint32_t records = datfile::RECORDS(file_);
    if (zuna::values::ERRORCODE() == 0) Saw(records);
  }

  void Log(int64_t begin, int64_t end, std::string_view op, uint32_t record_no,
           std::string_view name) {
    log_ += std::to_string(begin) + " " + std::to_string(end) + " " +
            std::string(op) + " " + std::to_string(record_no) + " " +
            std::string(name) + "\n";
  }

  int32_t Add() {
    const std::string name = NextName();
    SetNew(file_, name, RandomDate());
    int32_t code = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      const int64_t begin = MonotonicNs();
      code = datfile::ADD(file_);
      const int64_t end = MonotonicNs();
      if (code == 0) {
        const uint32_t record_no = datfile::POINTER(file_);
        Log(begin, end, "ADD", record_no, name);
        Saw(record_no);
        ++adds_;
        return 0;
      }
      if (!IsTransient(code)) return code;
      Retried(code);
      Pause();
    }
    return code;  // still refused after every attempt
  }

  // Reads `record_no`, under WATCH when `watch`.  0, kGone for a record
  // that is not there (35), or an unexpected error.
  static constexpr int32_t kGone = -1;
  int32_t Read(uint32_t record_no, bool watch) {
    int32_t code = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (watch) {
        code = datfile::WATCH(file_);
        if (code != 0) return code;
      }
      code = datfile::GET(file_, record_no);
      if (code == 0) {
        Saw(record_no);
        return 0;
      }
      if (code == 35) {
        Retried(code);
        return kGone;
      }
      if (!IsTransient(code)) return code;
      Retried(code);
      Pause();
    }
    return code;  // still refused after every attempt
  }

  // WATCH, GET, change, PUT; on 89 read again and retry, on a record gone
  // meanwhile (33, 35) choose another.
  int32_t Put() {
    for (int pick = 0; pick < kPicks; ++pick) {
      const uint32_t record_no = PickRecord();
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int32_t read = Read(record_no, /*watch=*/true);
        if (read == kGone) break;
        if (read != 0) return read;
        const std::string name = NextName();
        SetChanged(file_, name, RandomDate());
        const int64_t begin = MonotonicNs();
        const int32_t code = datfile::PUT(file_);
        const int64_t end = MonotonicNs();
        if (code == 0) {
          Log(begin, end, "PUT", record_no, name);
          ++puts_;
          return 0;
        }
        if (code != 89 && code != 33 && code != 35 && !IsTransient(code)) {
          return code;
        }
        Retried(code);
        if (code == 33 || code == 35) break;
        if (code != 89) Pause();
      }
    }
    return Add();
  }

  int32_t Delete() {
    for (int pick = 0; pick < kPicks; ++pick) {
      const uint32_t record_no = PickRecord();
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int32_t read = Read(record_no, /*watch=*/false);
        if (read == kGone) break;
        if (read != 0) return read;
        const int64_t begin = MonotonicNs();
        const int32_t code = datfile::DELETE(file_);
        const int64_t end = MonotonicNs();
        if (code == 0) {
          Log(begin, end, "DEL", record_no, "-");
          ++deletes_;
          return 0;
        }
        if (code != 33 && code != 35 && !IsTransient(code)) return code;
        Retried(code);
        if (code == 33 || code == 35) break;
        Pause();
      }
    }
    return Add();
  }

  DatFileInstance file_;
  std::mt19937 random_;
  int id_;
  uint32_t sequence_ = 0;
  uint32_t highest_ = 0;
  uint64_t adds_ = 0;
  uint64_t deletes_ = 0;
  uint64_t puts_ = 0;
  std::map<int32_t, uint64_t> retries_;
  std::string log_;
};

int Usage() {
  std::cerr << "usage: zuna_station\n"
               "       zuna_station churn PATH SEED N --id ID --log FILE\n";
  return 2;
}

int RunChurn(const std::vector<std::string>& args) {
  // args: PATH SEED N --id ID --log FILE
  if (args.size() != 7 || args[3] != "--id" || args[5] != "--log") return Usage();
  int64_t seed = 0;
  int64_t operations = 0;
  int64_t id = 0;
  if (!ParseNumber(args[1], &seed) || !ParseNumber(args[2], &operations) ||
      !ParseNumber(args[4], &id)) {
    return Usage();
  }
  Churn churn(args[0], static_cast<uint32_t>(seed), static_cast<int>(id));
  const int32_t error = churn.Run(operations);
  // The log is written even after an error: what was accepted before it
  // must still be in the file.
  std::ofstream log(args[6], std::ios::binary | std::ios::trunc);
  log << churn.log();
  log.close();
  std::cout << churn.Summary(error) << std::endl;
  if (!log) return 1;
  return error == 0 ? 0 : 1;
}


}  // namespace

int main(int argc, char** argv) {
  zuna::testing::InstallShippedLocale();
  std::vector<std::string> args(argv + 1, argv + argc);
  static const zuna::values::FixedClock fixed({2009, 3, 5, 4500000});
  while (!args.empty() && args[0].starts_with("--")) {
    if (args[0] == "--fixed-clock") {
      zuna::values::SetClock(&fixed);
      args.erase(args.begin());
    } else if (args[0] == "--pause-at-log-removed") {
      pause_at_log_removed = true;
      args.erase(args.begin());
    } else if (args[0] == "--pause-at-write") {
      pause_at_write = true;
      args.erase(args.begin());
    } else if (args[0] == "--crash-at" && args.size() >= 2) {
      crash_at = std::stol(args[1]);
      args.erase(args.begin(), args.begin() + 2);
    } else {
      return Usage();
    }
  }
  zuna::datfile::transaction::SetCrashHook(PassTransactionPoint);
  zuna::datfile::SetMaintenanceHook(PassMaintenancePoint);
  if (args.empty()) return RunCommands();
  if (args[0] == "churn") return RunChurn({args.begin() + 1, args.end()});
  return Usage();
}
