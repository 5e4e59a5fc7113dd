// zuna_register_station: one copy of the program working on the register
// through the framework, for the tests that run several at once.
//
//   zuna_register_station DIR SEED N [--no-deletes]
//
// Sets up as the program does (the shipped environment file, a host that
// writes every box to stderr and answers it with its default button,
// GlobalErrors, the current directory DIR where ZUN lives, ZUNABC::DctInit
// on thread 1), opens Relate_ZUN, runs N random operations with SEED and
// closes again:
//   insert  a new person through Access_ZUN->Insert;
//   change  a record read under WATCH (GET of a random record number, or
//           the name key from a random surname on), new FIO and DATA,
//           Relate_ZUN->Update(0);
//   delete  a record read the same way, Relate_ZUN->Delete(0).
// With --no-deletes the deletes' share goes to changes.
// A change or delete that another station's work makes fail is refused:
// message 7 or 8 (changed meanwhile), 9 (deleted or replaced meanwhile),
// 24 (this process's transaction could not start), 28 with the record
// gone, or 28 with error 48: the data file has one transaction log, and a
// change that meets it held by another station's transaction tries again
// for two seconds, then gives up.  A delete whose transaction could not
// start, whose writes met the held log that long, or whose record another
// station deleted between the check and the DELETE (13 with 33) asks 36
// and, answered with its default Yes, tries again.
//
// Every accepted change goes to DIR/register_station_SEED.log, one line
// each, names in Windows-1251, fields separated by tabs:
//   INS <name>          inserted
//   UPD <old> <new>     <old> became <new>
//   DEL <name>          deleted
// Names are "<surname> S<SEED>-<sequence>", unique among stations with
// distinct seeds.  At the end one line goes to stdout:
//   inserts=A deletes=D updates=U refused=R r7=.. r8=.. r9=.. r24=.. r28=..
//   r48=.. delete48=.. delete33=.. asked36=Q nothing=Z unexpected=K
// (rN: changes and deletes refused for each reason above, r28 the record
// gone, r48 the log held; delete48, delete33: deletes that met the held
// log, or found their record gone at the DELETE, and tried again; nothing: operations that found no record to change or
// delete and inserted instead; unexpected: results and boxes that are none
// of the above, each also described on stderr).  The exit code is 0 only
// when K is 0 and the log was written.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/data/error_table.h"
#include "framework/data/framework_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"
#include "runtime/values/runtime_messages.h"

namespace {

namespace app = zuna::app;
namespace datfile = zuna::datfile;
namespace framework = zuna::framework;
namespace values = zuna::values;
namespace Level = framework::Level;
namespace Msg = framework::Msg;
using values::W;

constexpr datfile::Key kByName{app::kKey2Index};

// Key files are shared with zuna and zunatool, which build their collation
// from the environment file shipped beside them; this program lives among
// the tests, so it reads the shipped file by name.
void InstallShippedLocale() {
  std::ifstream in(std::string(ZUNA_BIN_DIR) + "/Zuna.ENV", std::ios::binary);
  std::optional<std::string> text;
  if (in) {
    std::stringstream content;
    content << in.rdbuf();
    text = content.str();
  }
  values::InstallLocale(values::LoadLocale(values::ReadRegionalSettings(), text));
}

// The program's host as a console program has it: every box to stderr,
// answered with its default button.  It also keeps each box for the
// summary.
class RecordingHost final : public framework::FrameworkHost {
 public:
  int32_t MessageBox(const framework::MessageBoxRequest& request) override {
    {
      std::lock_guard lock(mutex_);
      boxes_.push_back(request);
    }
    return out_.MessageBox(request);
  }
  int32_t ShowHistory(const framework::HistoryWindowRequest& request) override {
    {
      std::lock_guard lock(mutex_);
      ++histories_;
    }
    return out_.ShowHistory(request);
  }
  void Stop(int exit_code, std::string_view message) override {
    out_.Stop(exit_code, message);
  }

  std::vector<framework::MessageBoxRequest> boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
  }
  int histories() const {
    std::lock_guard lock(mutex_);
    return histories_;
  }

 private:
  framework::StderrHost out_;
  mutable std::mutex mutex_;
  std::vector<framework::MessageBoxRequest> boxes_;
  int histories_ = 0;
};

bool Mentions(const std::string& text, int32_t error) {
  return text.find(values::RuntimeMessage(error)) != std::string::npos;
}

// What a box shows, as the summary counts it: "7", "8", "9", "24", "36";
// "28-gone" and "13-gone", a change or delete of a record deleted
// meanwhile; "28-log" and "13-log", a change or delete whose first write
// could not be logged because another station's transaction holds the
// file's log (48); or "" for any other box.
std::string BoxKind(const framework::MessageBoxRequest& box) {
  for (uint16_t id : {Msg::RecordChangedElsewhere, Msg::RecordChangedShown,
                      Msg::RecordReadFailed, Msg::TransactionFailed, Msg::UpdateFailed,
                      Msg::DeleteFailed, Msg::DeleteRetry}) {
    framework::ErrorEntryGroup entry;
    if (app::GlobalErrors.GetErrorEntry(id, entry) != Level::Benign) continue;
    if (box.caption != entry.Title) continue;
    switch (id) {
      case Msg::RecordReadFailed:
      case Msg::TransactionFailed:
        return std::to_string(id);  // titles of their own; the texts carry the error
      case Msg::UpdateFailed:
        if (Mentions(box.text, 33) || Mentions(box.text, 35)) return "28-gone";
        if (Mentions(box.text, 48)) return "28-log";
        break;
      case Msg::DeleteFailed:
        if (Mentions(box.text, 33) || Mentions(box.text, 35)) return "13-gone";
        if (Mentions(box.text, 48)) return "13-log";
        break;
      default:
        if (box.text == entry.Message) return std::to_string(id);
    }
  }
  return "";
}

class RegisterChurn {
 public:
  RegisterChurn(std::string tag, uint32_t seed, bool deletes)
      : tag_(std::move(tag)),
        random_(seed),
        deletes_allowed_(deletes),
        surnames_{W("Петров"), W("Иванова"), W("Смирнов"), W("Кузнецов"),
                  W("Попова"), W("Ёлкин"),   W("лебедева"), W("СОКОЛОВ")} {}

  void Run(int64_t operations) {
    for (int64_t i = 0; i < operations; ++i) {
      const uint32_t dice = Uniform(0, 99);
      if (dice < 40) {
        Insert();
      } else if (!ReadSome()) {
        ++nothing_read_;
        Insert();
      } else if (dice < 75 || !deletes_allowed_) {
        Update();
      } else {
        Delete();
      }
    }
  }

  uint64_t inserts() const { return inserts_; }
  uint64_t updates() const { return updates_; }
  uint64_t deletes() const { return deletes_; }
  uint64_t nothing_read() const { return nothing_read_; }
  const std::map<std::string, uint64_t>& refused() const { return refused_; }
  const std::vector<std::string>& unexpected() const { return unexpected_; }
  const std::string& log() const { return log_; }

 private:
  static constexpr int kPicks = 20;

  uint32_t Uniform(uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random_);
  }
  const std::string& Surname() { return surnames_[Uniform(0, surnames_.size() - 1)]; }
  std::string NextName() {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%05u", ++sequence_);
    return Surname() + " " + tag_ + suffix;
  }
  int32_t RandomDate() { return static_cast<int32_t>(Uniform(20000, 80000)); }

  void Unexpected(std::string what) {
    what += " (ERRORCODE " + std::to_string(values::ERRORCODE()) + ", LastError " +
            std::to_string(app::Access_ZUN->LastError) + ")";
    std::cerr << "unexpected: " << values::Cp1251ToUtf8(what) << std::endl;
    unexpected_.push_back(std::move(what));
  }

  void Insert() {
    const std::string name = NextName();
    app::WriteZunRecord(
        app::MakeZunRecord(name, RandomDate(), static_cast<int32_t>(Uniform(0, 1000000))),
        app::Access_ZUN->Buffer);
    const uint8_t level = app::Access_ZUN->Insert();
    if (level != Level::Benign) {
      Unexpected("Insert of \"" + name + "\": level " + std::to_string(level));
      return;
    }
    ++inserts_;
    log_ += "INS\t" + name + "\n";
  }

  // Makes some record current, read under WATCH, and notes its name.
  bool ReadSome() {
    for (int pick = 0; pick < kPicks; ++pick) {
      const bool read = Uniform(0, 1) == 0 ? ReadByNumber() : ReadByName();
      if (read) {
        const app::ZUN_Record record = app::ReadZunRecord(app::Access_ZUN->Buffer);
        seen_ = std::string(app::ZunName(record));
        return true;
      }
    }
    return false;
  }

  // GET of a record number from 1 to a little past the highest known, so
  // that records other stations added are found too.
  bool ReadByNumber() {
    const uint32_t records = datfile::RECORDS(app::ZUN());
    if (values::ERRORCODE() == 0) highest_ = std::max(highest_, records);
    const uint32_t record_no = Uniform(1, highest_ + 4);
    if (datfile::WATCH(app::ZUN()) != 0) {
      Unexpected("WATCH");
      return false;
    }
    const int32_t code = datfile::GET(app::ZUN(), record_no);
    if (code == 0) {
      highest_ = std::max(highest_, record_no);
      return true;
    }
    // 35: a deleted slot or one past the end.
    if (code != 35) Unexpected("GET " + std::to_string(record_no));
    return false;
  }

  // The first record at or after a surname in the name key, or a few after
  // it, read through the file manager.
  bool ReadByName() {
    app::WriteZunRecord(app::MakeZunRecord(Surname(), 0), app::Access_ZUN->Buffer);
    if (datfile::SET(app::ZUN(), kByName) != 0) {
      Unexpected("SET by name");
      return false;
    }
    const uint32_t steps = Uniform(1, 3);
    for (uint32_t step = 0; step < steps; ++step) {
      if (datfile::WATCH(app::ZUN()) != 0) {
        Unexpected("WATCH");
        return false;
      }
      if (app::Access_ZUN->TryNext() != Level::Benign) {
        if (!app::Access_ZUN->GetEOF()) Unexpected("NEXT by name");
        return false;
      }
    }
    return true;
  }

  void Update() {
    const app::ZUN_Record old = app::ReadZunRecord(app::Access_ZUN->Buffer);
    const std::string name = NextName();
    app::WriteZunRecord(app::MakeZunRecord(name, RandomDate(), old.DATA1),
                        app::Access_ZUN->Buffer);
    app::Access_ZUN->LastError = 0;
    const uint8_t level = app::Relate_ZUN->Update(0);
    if (level == Level::Benign) {
      ++updates_;
      log_ += "UPD\t" + seen_ + "\t" + name + "\n";
      return;
    }
    Refused("Update of \"" + seen_ + "\"", level);
  }

  void Delete() {
    app::Access_ZUN->LastError = 0;
    const uint8_t level = app::Relate_ZUN->Delete(0);
    if (level == Level::Benign) {
      ++deletes_;
      log_ += "DEL\t" + seen_ + "\n";
      return;
    }
    Refused("Delete of \"" + seen_ + "\"", level);
  }

  // A change or delete that did not happen: one of the refusals another
  // station's work may cause, or a fault.
  void Refused(const std::string& what, uint8_t level) {
    framework::ErrorStatusGroup status;
    app::GlobalErrors.GetAllStatusVariables(status);
    const uint16_t id = app::Access_ZUN->LastError;
    const int32_t error = status.SaveErrorCode;
    std::string kind;
    if (id == Msg::RecordChangedElsewhere || id == Msg::RecordChangedShown ||
        id == Msg::RecordReadFailed || id == Msg::TransactionFailed) {
      kind = std::to_string(id);
    } else if (id == Msg::UpdateFailed && (error == 33 || error == 35)) {
      kind = "28-gone";
    } else if (id == Msg::UpdateFailed && error == 48) {
      kind = "28-log";
    }
    if (!kind.empty()) {
      ++refused_[kind];
    } else {
      Unexpected(what + ": level " + std::to_string(level) + ", message " +
                 std::to_string(id) + ", captured error " + std::to_string(error));
    }
  }

  std::string tag_;
  std::mt19937 random_;
  bool deletes_allowed_;
  std::vector<std::string> surnames_;
  uint32_t sequence_ = 0;
  uint32_t highest_ = 0;
  std::string seen_;  // the name of the record read last
  uint64_t inserts_ = 0;
  uint64_t updates_ = 0;
  uint64_t deletes_ = 0;
  uint64_t nothing_read_ = 0;
  std::map<std::string, uint64_t> refused_;  // by BoxKind
  std::vector<std::string> unexpected_;
  std::string log_;
};

int Usage() {
  std::cerr << "usage: zuna_register_station DIR SEED N [--no-deletes]\n";
  return 2;
}

// A decimal number from 0 to 2^32 - 1 (a seed must fit, and so must the
// names made from it).
bool ParseCount(const char* text, int64_t* value) {
  char* end = nullptr;
  *value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && *value >= 0 && *value <= 0xFFFFFFFFll;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::string_view(argv[4]) == "--no-deletes")) {
    return Usage();
  }
  const bool deletes = argc == 4;
  int64_t seed = 0;
  int64_t operations = 0;
  if (!ParseCount(argv[2], &seed) || !ParseCount(argv[3], &operations)) return Usage();
  const std::string dir = argv[1];

  InstallShippedLocale();
  RecordingHost host;
  framework::SetHost(&host);
  host.ThreadNumber();  // this thread is thread 1
  app::GlobalErrors.Init(app::GlobalErrorStatus);
  if (::chdir(dir.c_str()) != 0) {
    std::perror(dir.c_str());
    return 1;
  }
  app::ZUNABC::DctInit();

  // Faults found here rather than by the churn.
  std::vector<std::string> unexpected;
  RegisterChurn churn("S" + std::to_string(seed), static_cast<uint32_t>(seed), deletes);
  if (const uint8_t level = app::Relate_ZUN->Open(0); level != Level::Benign) {
    unexpected.push_back("Open: level " + std::to_string(level));
  } else {
    churn.Run(operations);
    if (const uint8_t closed = app::Relate_ZUN->Close(0); closed != Level::Benign) {
      unexpected.push_back("Close: level " + std::to_string(closed));
    }
  }

  // Every box must be one of the refusals counted, each as often as it
  // was counted; a delete that could not start its transaction, whose
  // first write could not be logged or whose record went meanwhile asks 36
  // and tries again.
  std::map<std::string, uint64_t> shown;
  for (const framework::MessageBoxRequest& box : host.boxes()) {
    const std::string kind = BoxKind(box);
    if (kind.empty()) unexpected.push_back("box [" + box.caption + "] " + box.text);
    ++shown[kind];
  }
  std::map<std::string, uint64_t> refused = churn.refused();
  for (const char* kind : {"7", "8", "9", "28-gone", "28-log"}) {
    if (shown[kind] != refused[kind]) {
      unexpected.push_back(std::string("box ") + kind + " shown " +
                           std::to_string(shown[kind]) + " times, counted " +
                           std::to_string(refused[kind]));
    }
  }
  if (shown["24"] + shown["13-log"] + shown["13-gone"] != refused["24"] + shown["36"]) {
    unexpected.push_back("boxes 24 " + std::to_string(shown["24"]) + ", 13-log " +
                         std::to_string(shown["13-log"]) + ", 13-gone " +
                         std::to_string(shown["13-gone"]) + ", 36 " +
                         std::to_string(shown["36"]) + ", refused with 24 " +
                         std::to_string(refused["24"]));
  }
  if (host.histories() != 0) unexpected.push_back("a history window was shown");
  for (const std::string& what : unexpected) {
    std::cerr << "unexpected: " << values::Cp1251ToUtf8(what) << std::endl;
  }
  const size_t unexpected_count = unexpected.size() + churn.unexpected().size();

  app::ZUNABC::DctKill();
  if (app::ZUN().is_open()) datfile::CLOSE(app::ZUN());

  std::ofstream log("register_station_" + std::to_string(seed) + ".log",
                    std::ios::binary | std::ios::trunc);
  log << churn.log();
  log.close();

  uint64_t refused_total = 0;
  for (const auto& [kind, count] : refused) refused_total += count;
  std::cout << "inserts=" << churn.inserts() << " deletes=" << churn.deletes()
            << " updates=" << churn.updates() << " refused=" << refused_total
            << " r7=" << refused["7"] << " r8=" << refused["8"] << " r9=" << refused["9"]
            << " r24=" << refused["24"] << " r28=" << refused["28-gone"]
            << " r48=" << refused["28-log"] << " delete48=" << shown["13-log"]
            << " delete33=" << shown["13-gone"]
            << " asked36=" << shown["36"] << " nothing=" << churn.nothing_read()
            << " unexpected=" << unexpected_count << std::endl;

  app::GlobalErrors.Kill();
  framework::SetHost(nullptr);
  if (!log) return 1;
  return unexpected_count == 0 ? 0 : 1;
}
