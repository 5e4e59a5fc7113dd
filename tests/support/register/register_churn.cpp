#include "tests/support/register/register_churn.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc0.h"
#include "framework/data/error_table.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/runtime_messages.h"

namespace zuna::testing {
namespace {

namespace app = zuna::app;
namespace Level = framework::Level;
namespace Msg = framework::Msg;
using values::W;

constexpr datfile::Key kByName{app::kKey2Index};

// Tries at finding a record to change or delete.
constexpr int kPicks = 20;

bool Mentions(const std::string& text, int32_t error) {
  return text.find(values::RuntimeMessage(error)) != std::string::npos;
}

}  // namespace

std::vector<std::string> RegisterSurnames(bool cyrillic) {
  if (!cyrillic) return {"Petrov", "Ivanova", "Smirnov", "Kuznetsov", "Popova"};
  return {W("Петров"), W("Иванова"), W("Смирнов"), W("Кузнецов"),
          W("Попова"), W("Ёлкин"),   W("лебедева"), W("СОКОЛОВ")};
}

std::string LogLine(const RegisterChange& change) {
  switch (change.kind) {
    case RegisterChange::Kind::kInsert:
      return "INS\t" + change.written + "\n";
    case RegisterChange::Kind::kUpdate:
      return "UPD\t" + change.taken + "\t" + change.written + "\n";
    case RegisterChange::Kind::kDelete:
      return "DEL\t" + change.taken + "\n";
  }
  return "";
}

RegisterChurn::RegisterChurn(Options options)
    : options_(std::move(options)), random_(options_.seed) {}

void RegisterChurn::Run(int64_t operations) {
  for (int64_t i = 0; i < operations; ++i) {
    const uint32_t dice = Uniform(0, 99);
    if (dice < 40) {
      Insert();
    } else if (!ReadSome()) {
      ++nothing_read_;
      Insert();
    } else if (dice < 75 || !options_.deletes) {
      Update();
    } else {
      Delete();
    }
  }
}

uint64_t RegisterChurn::refused_total() const {
  uint64_t total = 0;
  for (const auto& [kind, count] : refused_) total += count;
  return total;
}

std::string RegisterChurn::log() const {
  std::string text;
  for (const RegisterChange& change : changes_) text += LogLine(change);
  return text;
}

uint32_t RegisterChurn::Uniform(uint32_t low, uint32_t high) {
  return std::uniform_int_distribution<uint32_t>(low, high)(random_);
}

const std::string& RegisterChurn::Surname() {
  return options_.surnames[Uniform(0, static_cast<uint32_t>(options_.surnames.size() - 1))];
}

std::string RegisterChurn::NextName() {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "-%05u", ++sequence_);
  return Surname() + " " + options_.tag + suffix;
}

int32_t RegisterChurn::RandomDate() { return static_cast<int32_t>(Uniform(20000, 80000)); }

void RegisterChurn::Unexpected(std::string what) {
  what += " (" + options_.tag + ", ERRORCODE " + std::to_string(values::ERRORCODE()) +
          ", LastError " + std::to_string(app::Access_ZUN->LastError) + ")";
  if (options_.echo != nullptr) {
    *options_.echo << "unexpected: " << values::Cp1251ToUtf8(what) << std::endl;
  }
  unexpected_.push_back(std::move(what));
}

void RegisterChurn::Insert() {
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
  changes_.push_back({RegisterChange::Kind::kInsert, "", name});
}

// Makes some record current, read under WATCH, and notes its name.
bool RegisterChurn::ReadSome() {
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
// that records others added are found too.
bool RegisterChurn::ReadByNumber() {
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
bool RegisterChurn::ReadByName() {
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

void RegisterChurn::Update() {
  const app::ZUN_Record old = app::ReadZunRecord(app::Access_ZUN->Buffer);
  const std::string name = NextName();
  app::WriteZunRecord(app::MakeZunRecord(name, RandomDate(), old.DATA1),
                      app::Access_ZUN->Buffer);
  app::Access_ZUN->LastError = 0;
  const auto started = std::chrono::steady_clock::now();
  const uint8_t level = app::Relate_ZUN->Update(0);
  if (app::Access_ZUN->LastError == Msg::TransactionFailed) {
    busy_waits_.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  }
  if (level == Level::Benign) {
    ++updates_;
    changes_.push_back({RegisterChange::Kind::kUpdate, seen_, name});
    return;
  }
  Refused("Update of \"" + seen_ + "\"", level);
}

void RegisterChurn::Delete() {
  app::Access_ZUN->LastError = 0;
  const uint8_t level = app::Relate_ZUN->Delete(0);
  if (level == Level::Benign) {
    ++deletes_;
    changes_.push_back({RegisterChange::Kind::kDelete, seen_, ""});
    return;
  }
  Refused("Delete of \"" + seen_ + "\"", level);
}

// A change or delete that did not happen: one of the refusals others' work
// may cause, or a fault.
void RegisterChurn::Refused(const std::string& what, uint8_t level) {
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

std::string RefusalBoxKind(const framework::MessageBoxRequest& box) {
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

BoxAccount AccountForBoxes(const std::vector<framework::MessageBoxRequest>& boxes,
                           const std::map<std::string, uint64_t>& refused,
                           ChurnSharing sharing) {
  const bool processes = sharing == ChurnSharing::kProcesses;
  BoxAccount account;
  for (const framework::MessageBoxRequest& box : boxes) {
    const std::string kind = RefusalBoxKind(box);
    const bool admitted =
        !kind.empty() &&
        (processes || (kind != "28-log" && kind != "13-log" && kind != "13-gone"));
    if (!admitted) account.faults.push_back("box [" + box.caption + "] " + box.text);
    ++account.shown[kind];
  }
  const auto count = [](const std::map<std::string, uint64_t>& counts, const char* kind) {
    const auto found = counts.find(kind);
    return found == counts.end() ? uint64_t{0} : found->second;
  };
  for (const char* kind : {"7", "8", "9", "28-gone", "28-log"}) {
    if (count(account.shown, kind) != count(refused, kind)) {
      account.faults.push_back(std::string("box ") + kind + " shown " +
                               std::to_string(count(account.shown, kind)) +
                               " times, counted " + std::to_string(count(refused, kind)));
    }
  }
  const uint64_t shown24 = count(account.shown, "24");
  const uint64_t log13 = count(account.shown, "13-log");
  const uint64_t gone13 = count(account.shown, "13-gone");
  const uint64_t asked36 = count(account.shown, "36");
  if (shown24 + log13 + gone13 != count(refused, "24") + asked36) {
    account.faults.push_back("boxes 24 " + std::to_string(shown24) + ", 13-log " +
                             std::to_string(log13) + ", 13-gone " + std::to_string(gone13) +
                             ", 36 " + std::to_string(asked36) + ", refused with 24 " +
                             std::to_string(count(refused, "24")));
  }
  return account;
}

}  // namespace zuna::testing
