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
// start, or whose writes met the held log that long, asks 36 and, answered
// with its default Yes, tries again.
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
//
// The random work, its log and the sorting out of boxes are RegisterChurn's
// (tests/support/register/register_churn.h), shared with the tests that
// run threads of one process instead.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/data/framework_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"
#include "tests/support/register/register_churn.h"
#include "tests/support/shipped_locale.h"

namespace {

namespace app = zuna::app;
namespace datfile = zuna::datfile;
namespace framework = zuna::framework;
namespace values = zuna::values;
namespace Level = framework::Level;


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

  zuna::testing::InstallShippedLocale();
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
  zuna::testing::RegisterChurn churn({.tag = "S" + std::to_string(seed),
                                      .seed = static_cast<uint32_t>(seed),
                                      .surnames = zuna::testing::RegisterSurnames(true),
                                      .deletes = deletes,
                                      .echo = &std::cerr});
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
  zuna::testing::BoxAccount boxes = zuna::testing::AccountForBoxes(
      host.boxes(), churn.refused(), zuna::testing::ChurnSharing::kProcesses);
  unexpected.insert(unexpected.end(), boxes.faults.begin(), boxes.faults.end());
  std::map<std::string, uint64_t>& shown = boxes.shown;
  std::map<std::string, uint64_t> refused = churn.refused();
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

  std::cout << "inserts=" << churn.inserts() << " deletes=" << churn.deletes()
            << " updates=" << churn.updates() << " refused=" << churn.refused_total()
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
