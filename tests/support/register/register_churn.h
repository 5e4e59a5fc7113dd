// RegisterChurn: random work on the register through the framework, the
// way a copy of the program changes it, for the tests that run several at
// once (threads of one process in tests/app/register_threads_test.cpp,
// processes of zuna_register_station in tests/stations/).
//
// What it does.  Run(N) makes N random operations with the seed and the
// name tag it was given, through the calling thread's Access_ZUN and
// Relate_ZUN (app/zunabc0.h); the caller has opened Relate_ZUN and closes
// it afterwards.  Each operation is one of:
//   insert  (40 in 100) a new person through Access_ZUN->Insert;
//   change  (35 in 100) a record read under WATCH (GET of a random record
//           number, or the name key from a random surname on), new FIO and
//           DATA, Relate_ZUN->Update(0);
//   delete  (25 in 100) a record read the same way, Relate_ZUN->Delete(0).
// Without deletes (Options::deletes false) their share goes to changes.
// An operation that finds no record to change or delete in 20 tries
// inserts instead and counts as nothing_read.  Names are
// "<surname> <tag>-<sequence>" (five digits at least), the surname drawn
// from Options::surnames: unique among churns with distinct tags.
//
// Threads.  Everything it touches is the calling thread's own: its
// managers, its instance of ZUN, its error state.  One object serves one
// thread; several threads each run their own.
//
// What counts as a refusal.  A change or delete that did not happen is
// refused, not faulty, when the message it left in Access_ZUN->LastError
// (and the error GlobalErrors captured) is one that another thread's or
// station's work may cause.  refused() counts them by kind:
//   "7", "8"   the record was changed meanwhile;
//   "9"        it was deleted or replaced meanwhile;
//   "24"       the process's transaction could not start;
//   "28-gone"  message 28 with error 33 or 35: the record went meanwhile;
//   "28-log"   message 28 with error 48: another station's transaction
//              holds the file's one log (it tried again for two seconds).
// Any other failure, and an insert or read that fails, is unexpected: it
// is described in unexpected() (text in Windows-1251) and, when
// Options::echo is set, written there at once ("unexpected: ..." in
// UTF-8).  A delete that meets such trouble itself asks message 36 and,
// answered with its default Yes, tries again, so it shows boxes that are
// no refusal; AccountForBoxes sorts the boxes out.
//
// The log.  Every accepted change is a RegisterChange and a line of log(),
// names in Windows-1251, fields separated by tabs:
//   INS <name>          inserted
//   UPD <old> <new>     <old> became <new>
//   DEL <name>          deleted
#ifndef ZUNA_TESTS_SUPPORT_REGISTER_REGISTER_CHURN_H_
#define ZUNA_TESTS_SUPPORT_REGISTER_REGISTER_CHURN_H_

#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "framework/data/framework_host.h"

namespace zuna::testing {

// The surnames names start with.  Cyrillic ones go through the file's OEM
// conversion and the shipped case and order tables (Windows-1251); Latin
// ones sort and fold alike under any tables.
std::vector<std::string> RegisterSurnames(bool cyrillic);

// One accepted change: `taken` is the name it took away (empty for an
// insert), `written` the one it wrote (empty for a delete).
struct RegisterChange {
  enum class Kind { kInsert, kUpdate, kDelete };
  Kind kind = Kind::kInsert;
  std::string taken;
  std::string written;
};

// The change as a line of the log, with its newline.
std::string LogLine(const RegisterChange& change);

class RegisterChurn {
 public:
  struct Options {
    std::string tag;                    // in every name, and in faults
    uint32_t seed = 0;
    std::vector<std::string> surnames;  // not empty
    bool deletes = true;
    std::ostream* echo = nullptr;       // where faults are written at once
  };

  explicit RegisterChurn(Options options);

  void Run(int64_t operations);

  uint64_t inserts() const { return inserts_; }
  uint64_t updates() const { return updates_; }
  uint64_t deletes() const { return deletes_; }
  uint64_t nothing_read() const { return nothing_read_; }
  // Changes and deletes refused, by the kinds above.
  const std::map<std::string, uint64_t>& refused() const { return refused_; }
  uint64_t refused_total() const;
  const std::vector<std::string>& unexpected() const { return unexpected_; }
  const std::vector<RegisterChange>& changes() const { return changes_; }
  // Every change, as LogLine writes it, in the order made.
  std::string log() const;
  // How long each change refused with "24" waited for the transaction, in
  // seconds.
  const std::vector<double>& busy_waits() const { return busy_waits_; }

 private:
  uint32_t Uniform(uint32_t low, uint32_t high);
  const std::string& Surname();
  std::string NextName();
  int32_t RandomDate();
  void Unexpected(std::string what);

  void Insert();
  bool ReadSome();
  bool ReadByNumber();
  bool ReadByName();
  void Update();
  void Delete();
  void Refused(const std::string& what, uint8_t level);

  Options options_;
  std::mt19937 random_;
  uint32_t sequence_ = 0;
  uint32_t highest_ = 0;
  std::string seen_;  // the name of the record read last
  uint64_t inserts_ = 0;
  uint64_t updates_ = 0;
  uint64_t deletes_ = 0;
  uint64_t nothing_read_ = 0;
  std::map<std::string, uint64_t> refused_;
  std::vector<std::string> unexpected_;
  std::vector<RegisterChange> changes_;
  std::vector<double> busy_waits_;
};

// What a box shows, as the refusals are counted: "7", "8", "9", "24",
// "36"; "28-gone" and "13-gone", a change or delete of a record deleted
// meanwhile; "28-log" and "13-log", a change or delete whose write could
// not be logged because another station's transaction holds the file's
// log (48); or "" for any other box.  Reads the titles and texts from
// GlobalErrors.
std::string RefusalBoxKind(const framework::MessageBoxRequest& box);

// Whether the churns whose boxes are sorted out ran beside other
// processes on the file, or only beside threads of their own process
// (which share one transaction and so never meet a log held by another:
// "28-log", "13-log" and "13-gone" are then faults).
enum class ChurnSharing { kThreadsOfOneProcess, kProcesses };

struct BoxAccount {
  std::map<std::string, uint64_t> shown;  // by RefusalBoxKind
  std::vector<std::string> faults;        // Windows-1251; empty when all agree
};

// Sorts out the boxes shown while churns ran against what they counted
// (`refused`, summed over the churns): every box must be one of the kinds
// admitted for `sharing`; boxes "7", "8", "9", "28-gone" and "28-log" must
// be shown as often as they were counted; and the "24" boxes, with the
// "13-log" and "13-gone" boxes of deletes that tried again, as often as the
// refusals "24" and the questions "36" together.
BoxAccount AccountForBoxes(const std::vector<framework::MessageBoxRequest>& boxes,
                           const std::map<std::string, uint64_t>& refused,
                           ChurnSharing sharing);

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_REGISTER_REGISTER_CHURN_H_
