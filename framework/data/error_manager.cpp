#include "framework/data/error_manager.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <utility>

#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/format.h"
#include "runtime/values/locale.h"
#include "runtime/values/picture.h"

namespace zuna::framework {
namespace {

constexpr std::string_view kNotInitializedWithStatus =
    "ErrorClass not correctly initialized with Status";
constexpr std::string_view kTableMissing =
    "ErrorClass not correctly initialized";
constexpr std::string_view kQueuesMissing =
    "ErrorClass incorrectly initialized.";
constexpr std::string_view kIdNotFound = "Identifier not found.";
constexpr std::string_view kAddFailed =
    "Unable to add new error message to queue.";

// Replaces every `placeholder` in `text` by `value`, ignoring case.  The
// search goes on after the inserted value, so a value that contains the
// placeholder is inserted once and not searched again; a value equal to
// the placeholder (ignoring case) changes nothing.  The text stays within
// kSubstitutionLimit characters.
void Substitute(std::string& text, std::string_view placeholder,
                std::string_view value) {
  const std::string upper_placeholder = values::ToUpper(placeholder);
  const std::string upper_value = values::ToUpper(value);
  if (upper_placeholder == upper_value) return;
  std::string upper_text = values::ToUpper(text);
  size_t from = 0;
  while (from < upper_text.size()) {
    const size_t at = upper_text.find(upper_placeholder, from);
    if (at == std::string::npos) break;
    text.replace(at, placeholder.size(), value);
    upper_text.replace(at, placeholder.size(), upper_value);
    from = at + value.size();
    if (text.size() > kSubstitutionLimit) {
      text.resize(kSubstitutionLimit);
      upper_text.resize(kSubstitutionLimit);
    }
  }
}

bool Contains(const std::string& text, std::string_view placeholder) {
  return values::ToUpper(text).find(values::ToUpper(placeholder)) !=
         std::string::npos;
}

// The log line: date (@D17), "@", time (@T8), " --> ", the text.
std::string LogLineFor(std::string_view text) {
  static const values::Picture date_picture = values::CompilePicture("@D17");
  static const values::Picture time_picture = values::CompilePicture("@T8");
  std::string line = values::FormatDate(values::TODAY(), date_picture);
  line += '@';
  line += values::FormatTime(values::CLOCK(), time_picture);
  line += " --> ";
  line += text;
  return line;
}

}  // namespace

ErrorClass::ErrorClass() = default;

ErrorClass::~ErrorClass() { Kill(); }

// --- Set-up -------------------------------------------------------------

void ErrorClass::Init(ErrorStatusClass& status) {
  Status = &status;
  Init();
}

void ErrorClass::Init() {
  CriticalProcedure critical(CritSect);
  if (StdErrorLog != nullptr) return;
  StdErrorLog = std::make_unique<StandardErrorLogClass>();
  SetCategory(-1, "VFC");
  Errors.reset();
  History.reset();
  ProcNames.reset();
  HistoryThreshold = 0;
  HistoryViewLevel = 3;
  HistoryResetOnView = false;
  SetErrorLog(StdErrorLog.get());
}

void ErrorClass::Kill() {
  CriticalProcedure critical(CritSect);
  Errors.reset();
  History.reset();
  ProcNames.reset();
  if (StdErrorLog != nullptr) {
    if (ErrorLog == StdErrorLog.get()) ErrorLog = nullptr;
    StdErrorLog->Close(true);
    StdErrorLog.reset();
  }
}

void ErrorClass::SetErrorLog(ErrorLogInterface* log) {
  CriticalProcedure critical(CritSect);
  ErrorLog = log;
  if (Errors == nullptr) {
    Errors = std::make_unique<std::vector<ErrorEntryGroup>>();
  }
  AddErrors(DefaultErrors());
  if (ProcNames == nullptr) {
    ProcNames = std::make_unique<std::vector<ProcNameEntry>>();
  }
  if (History == nullptr) History = std::make_unique<std::vector<HistoryEntry>>();
}

// --- The table ----------------------------------------------------------

void ErrorClass::AddErrors(std::string_view error_block) {
  CriticalProcedure critical(CritSect);
  if (Errors == nullptr) {
    AssertionFailed(kQueuesMissing);
    return;
  }
  std::vector<ErrorEntryGroup> read;
  const bool whole = ParseErrorBlock(error_block, &read).has_value();
  try {
    Errors->insert(Errors->end(), read.begin(), read.end());
  } catch (const std::bad_alloc&) {
    AssertionFailed(kAddFailed);
    return;
  }
  if (!whole) AssertionFailed(kAddFailed);
}

void ErrorClass::AddError(uint16_t id, std::string_view message,
                          std::string_view title, uint8_t fatality,
                          std::string_view category) {
  CriticalProcedure critical(CritSect);
  if (Errors == nullptr) {
    AssertionFailed(kQueuesMissing);
    return;
  }
  ErrorEntryGroup entry;
  entry.Id = id;
  entry.Message = message;
  entry.Title = title;
  entry.Fatality = fatality;
  entry.Category = category;
  try {
    Errors->push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    AssertionFailed(kAddFailed);
  }
}

void ErrorClass::RemoveError(uint16_t id) {
  CriticalProcedure critical(CritSect);
  if (SetId(id) != Level::Benign) return;
  const std::optional<size_t> at = FindLatest(id);
  if (!at.has_value()) {
    AssertionFailed("Unable to delete error id :" + std::to_string(id));
    return;
  }
  Errors->erase(Errors->begin() + static_cast<std::ptrdiff_t>(*at));
}

std::optional<size_t> ErrorClass::FindEntry(uint16_t id,
                                            int32_t start_pos) const {
  if (start_pos <= 0) return std::nullopt;
  size_t pos = std::min(static_cast<size_t>(start_pos), Errors->size());
  while (pos > 0) {
    --pos;
    if ((*Errors)[pos].Id == id) return pos;
  }
  return std::nullopt;
}

std::optional<size_t> ErrorClass::FindLatest(uint16_t id) const {
  return FindEntry(id, static_cast<int32_t>(Errors->size()));
}

uint8_t ErrorClass::SetId(uint16_t id) {
  CriticalProcedure critical(CritSect);
  if (Errors == nullptr) {
    AssertionFailed(kTableMissing);
    return Level::Notify;
  }
  if (FindLatest(id).has_value()) return Level::Benign;
  AssertionFailed(kIdNotFound);
  return Level::Notify;
}

uint8_t ErrorClass::SetId(uint16_t id, int32_t start_pos) {
  CriticalProcedure critical(CritSect);
  if (Errors == nullptr) {
    AssertionFailed(kTableMissing);
    return Level::Notify;
  }
  return FindEntry(id, start_pos).has_value() ? Level::Benign : Level::Notify;
}

uint8_t ErrorClass::GetErrorEntry(uint16_t id, ErrorEntryGroup& entry) {
  CriticalProcedure critical(CritSect);
  const uint8_t result = SetId(id);
  if (result == Level::Benign) {
    entry = (*Errors)[*FindLatest(id)];
  }
  return result;
}

uint8_t ErrorClass::GetErrorEntry(uint16_t id, ErrorEntryGroup& entry,
                                  int32_t start_pos) {
  CriticalProcedure critical(CritSect);
  const uint8_t result = SetId(id, start_pos);
  if (result == Level::Benign) entry = (*Errors)[*FindEntry(id, start_pos)];
  return result;
}

size_t ErrorClass::ErrorCount() const {
  CriticalProcedure critical(CritSect);
  return Errors == nullptr ? 0 : Errors->size();
}

void ErrorClass::SetCategory(int16_t id, std::string_view category) {
  CriticalProcedure critical(CritSect);
  if (id == -1) {
    DefaultCategory = category;
    return;
  }
  const uint16_t entry_id = static_cast<uint16_t>(id);
  if (SetId(entry_id) != Level::Benign) return;
  (*Errors)[*FindLatest(entry_id)].Category = category;
}

std::string ErrorClass::GetCategory(int16_t id) const {
  CriticalProcedure critical(CritSect);
  if (id != -1 && Errors != nullptr) {
    const std::optional<size_t> at = FindLatest(static_cast<uint16_t>(id));
    if (at.has_value() && !(*Errors)[*at].Category.empty()) {
      return (*Errors)[*at].Category;
    }
  }
  return DefaultCategory;
}

void ErrorClass::SetDefaultCategory(std::string_view category) {
  SetGuarded(DefaultCategory, std::string(category));
}

std::string ErrorClass::GetDefaultCategory() const {
  return Guarded(DefaultCategory);
}

// --- The calling thread's error state -----------------------------------

ErrorStatusGroup* ErrorClass::ThreadStatus() {
  if (Status == nullptr) {
    AssertionFailed(kNotInitializedWithStatus);
    return nullptr;
  }
  return &Status->ThisThread();
}

void ErrorClass::SetErrors() {
  ErrorStatusGroup* status = ThreadStatus();
  if (status == nullptr) return;
  status->SaveErrorCode = values::ERRORCODE();
  status->SaveError = StatusText(values::ERROR());
  status->SaveFileErrorCode = StatusText(values::FILEERRORCODE());
  status->SaveFileError = StatusText(values::FILEERROR());
}

void ErrorClass::SetStatusText(std::string ErrorStatusGroup::*field,
                               std::string_view text) {
  if (ErrorStatusGroup* status = ThreadStatus()) {
    status->*field = StatusText(text);
  }
}

void ErrorClass::SetFileName(std::string_view name) {
  SetStatusText(&ErrorStatusGroup::FileName, name);
}

void ErrorClass::SetFieldName(std::string_view name) {
  SetStatusText(&ErrorStatusGroup::FieldName, name);
}

void ErrorClass::SetKeyName(std::string_view name) {
  SetStatusText(&ErrorStatusGroup::KeyName, name);
}

void ErrorClass::SetMessageText(std::string_view text) {
  SetStatusText(&ErrorStatusGroup::MessageText, text);
}

int32_t ErrorClass::GetErrorBufferId() {
  ErrorStatusGroup* status = ThreadStatus();
  return status == nullptr ? 0 : status->ErrorBuffer.Id;
}

std::string ErrorClass::GetErrorBufferTitle() {
  ErrorStatusGroup* status = ThreadStatus();
  return status == nullptr ? std::string() : status->ErrorBuffer.Title;
}

uint8_t ErrorClass::GetErrorBufferFatality() {
  ErrorStatusGroup* status = ThreadStatus();
  return status == nullptr ? 0 : status->ErrorBuffer.Fatality;
}

void ErrorClass::GetAllStatusVariables(ErrorStatusGroup& group) {
  if (ErrorStatusGroup* status = ThreadStatus()) group = *status;
}

// --- Reporting ----------------------------------------------------------

uint8_t ErrorClass::Throw(uint16_t id) {
  SetErrors();
  return TakeError(id);
}

uint8_t ErrorClass::ThrowMessage(uint16_t id, std::string_view text) {
  SetMessageText(text);
  return Throw(id);
}

bool ErrorClass::StoreErrorEntry(uint16_t id) {
  ErrorStatusGroup* status = ThreadStatus();
  if (status == nullptr) return false;
  status->PrevErrorId = status->ErrorBuffer.Id;
  ErrorEntryGroup entry;
  if (GetErrorEntry(id, entry) != Level::Benign) {
    // Keeping the previous entry would show the thread's last message again
    // and hand back its answer; an unknown id is reported (above) and then
    // treated as benign.
    status->ErrorBuffer = ErrorBufferGroup{};
    status->ErrorBuffer.Id = id;
    return false;
  }
  status->ErrorBuffer.Id = static_cast<int32_t>(entry.Id);
  status->ErrorBuffer.Message = std::move(entry.Message);
  status->ErrorBuffer.Title = std::move(entry.Title);
  status->ErrorBuffer.Fatality = entry.Fatality;
  status->ErrorBuffer.Category = std::move(entry.Category);
  return true;
}

uint8_t ErrorClass::TakeError(uint16_t id) {
  if (!StoreErrorEntry(id)) return Level::Benign;
  switch (GetErrorBufferFatality()) {
    case Level::Benign:
      return TakeBenign();
    case Level::User:
    case Level::Cancel:
      return TakeUser();
    case Level::Program:
      return TakeProgram();
    case Level::Fatal:
      return TakeFatal();
    case Level::Notify:
      TakeNotify();
      return Level::Notify;
    default:
      return TakeOther();
  }
}

int32_t ErrorClass::Message(uint16_t id, int32_t buttons,
                            int32_t default_button) {
  if (GetSilent()) return default_button;
  if (!StoreErrorEntry(id)) return default_button;
  const std::string text = SubsString();
  return MessageBox(Level::Benign, text, GetErrorBufferTitle(),
                    Icon::Exclamation, buttons, default_button, MsgStyle);
}

std::string ErrorClass::SubsString() {
  ErrorStatusGroup* status = ThreadStatus();
  if (status == nullptr) return {};
  std::string text =
      status->ErrorBuffer.Message.substr(0, kSubstitutionLimit);
  // Longer placeholders first, so that "%File" does not eat "%FileError"
  // and "%Error" does not eat "%ErrorText".
  Substitute(text, "%FileErrorCode", status->SaveFileErrorCode);
  Substitute(text, "%FileError", status->SaveFileError);
  Substitute(text, "%File", status->FileName);
  Substitute(text, "%Key", status->KeyName);
  Substitute(text, "%ErrorCode", std::to_string(status->SaveErrorCode));
  // Codes 90 and 100 mean "the driver says": its own text says more than
  // the runtime's.
  const bool driver_error =
      status->SaveErrorCode == 90 || status->SaveErrorCode == 100;
  const std::string error_text =
      driver_error ? status->SaveFileError + " (" +
                         status->SaveFileErrorCode + ")"
                   : status->SaveError + " (" +
                         std::to_string(status->SaveErrorCode) + ")";
  Substitute(text, "%ErrorText", error_text);
  Substitute(text, "%Error", status->SaveError);
  Substitute(text, "%Message", status->MessageText);
  Substitute(text, "%Field", status->FieldName);
  if (Contains(text, "%Procedure")) {
    Substitute(text, "%Procedure", GetProcedureName());
  }
  Substitute(text, "%Category", status->ErrorBuffer.Category);
  if (Contains(text, "%Previous")) {
    std::string previous;
    const int32_t prev_id = status->PrevErrorId;
    if (prev_id >= 0 && prev_id <= 0xFFFF) {
      CriticalProcedure critical(CritSect);
      ErrorEntryGroup entry;
      if (Errors != nullptr &&
          GetErrorEntry(static_cast<uint16_t>(prev_id), entry,
                        static_cast<int32_t>(Errors->size())) ==
              Level::Benign) {
        previous = std::move(entry.Message);
      }
    }
    Substitute(text, "%Previous", previous);
  }
  return text;
}

uint8_t ErrorClass::TakeBenign() { return Level::Benign; }

uint8_t ErrorClass::TakeUser() {
  const std::string text = SubsString();
  const int32_t answer =
      Msg(text, GetErrorBufferTitle(), Icon::Exclamation,
          Button::Yes | Button::No, Button::Yes, MsgStyle);
  return answer == Button::Yes ? Level::Benign : Level::Cancel;
}

void ErrorClass::TakeNotify() {
  const std::string text = SubsString();
  Msg(text, GetErrorBufferTitle(), Icon::Information, Button::OK, Button::OK,
      MsgStyle);
}

uint8_t ErrorClass::TakeFatal() {
  std::string text = SubsString();
  text += kFatalSuffix;
  const std::string title = GetErrorBufferTitle();
  Msg(text, title, Icon::Information, Button::OK, Button::OK, MsgStyle);
  FatalStop(title);
  return Level::Fatal;
}

uint8_t ErrorClass::TakeProgram() { return TakeFatal(); }

uint8_t ErrorClass::TakeOther() { return TakeProgram(); }

int32_t ErrorClass::Msg(std::string_view text, std::string_view caption,
                        int32_t icon, int32_t buttons, int32_t default_button,
                        int32_t style) {
  int32_t result = default_button;
  ErrorStatusGroup* status = Status == nullptr ? nullptr : &Status->ThisThread();
  const int32_t id = status == nullptr ? 0 : status->ErrorBuffer.Id;
  const uint8_t level = status == nullptr ? 0 : status->ErrorBuffer.Fatality;

  if (GetLogErrors()) LogLine(text);

  int32_t threshold;
  int32_t view_level;
  bool reset_on_view;
  {
    CriticalProcedure critical(CritSect);
    threshold = HistoryThreshold;
    view_level = HistoryViewLevel;
    reset_on_view = HistoryResetOnView;
    if (threshold != 0) KeepHistory(text, id);
  }

  if (!GetSilent()) {
    if (threshold != 0) {
      if (level == view_level) {
        result = HistoryMsg(caption, icon, buttons, default_button);
        if (reset_on_view) ResetHistory();
      }
    } else {
      result = MessageBox(level, text, caption, icon, buttons, default_button,
                          style);
    }
  }
  return result;
}

void ErrorClass::LogLine(std::string_view text) {
  CriticalProcedure critical(CritSect);
  if (ErrorLog == nullptr) {
    AssertionFailed("Attempt to LogErrors with ErrorLogInterface NULL!");
    return;
  }
  if (ErrorLog->Open(false) != Level::Benign) {
    AssertionFailed("Unable to Open error log;" + values::ERROR());
    return;
  }
  if (ErrorLog->Take(LogLineFor(text)) != Level::Benign) {
    AssertionFailed("Unable to update error log; " + values::ERROR());
  }
  if (ErrorLog->Close(false) != Level::Benign) {
    AssertionFailed("Unable to close error log;" + values::ERROR());
  }
}

// REQUIRES: CritSect held.
void ErrorClass::KeepHistory(std::string_view text, int32_t id) {
  if (History == nullptr) {
    AssertionFailed(kQueuesMissing);
    return;
  }
  if (HistoryThreshold > 0) {
    const size_t keep = static_cast<size_t>(HistoryThreshold);
    while (!History->empty() && History->size() >= keep) {
      History->erase(History->begin());
    }
  }
  HistoryRow.Text = std::string(text.substr(0, kHistoryTextSize));
  HistoryRow.Id = static_cast<uint16_t>(id);
  HistoryRow.Category = GetCategory(static_cast<int16_t>(id));
  AddHistory();
}

int32_t ErrorClass::MessageBox(uint8_t level, std::string_view text,
                               std::string_view caption, int32_t icon,
                               int32_t buttons, int32_t default_button,
                               int32_t style) {
  MessageBoxRequest request;
  request.caption = caption;
  request.text = text;
  request.icon = icon;
  request.buttons = buttons;
  request.default_button = default_button;
  request.style = style;
  request.level = level;
  return Host().MessageBox(request);
}

// --- History ------------------------------------------------------------

int32_t ErrorClass::HistoryMsg(std::string_view caption, int32_t icon,
                               int32_t buttons, int32_t default_button) {
  HistoryWindowRequest request;
  request.caption = caption;
  request.icon = icon;
  request.buttons = buttons;
  request.default_button = default_button;
  {
    CriticalProcedure critical(CritSect);
    if (History != nullptr) {
      for (const HistoryEntry& entry : *History) {
        request.lines.push_back({entry.Text, entry.Category});
      }
    }
  }
  return Host().ShowHistory(request);
}

int32_t ErrorClass::ViewHistory() {
  return HistoryMsg(kHistoryCaption, Icon::None, Button::OK | Button::Help,
                    Button::OK);
}

void ErrorClass::AddHistory() {
  CriticalProcedure critical(CritSect);
  if (History == nullptr) {
    AssertionFailed(kQueuesMissing);
    return;
  }
  try {
    History->push_back(HistoryRow);
  } catch (const std::bad_alloc&) {
    // 8: the runtime's "not enough memory".
    AssertionFailed("Error (8) Add new item to History");
  }
}

void ErrorClass::ResetHistory() {
  CriticalProcedure critical(CritSect);
  if (History != nullptr) History->clear();
}

std::vector<HistoryEntry> ErrorClass::GetHistory() const {
  CriticalProcedure critical(CritSect);
  return History == nullptr ? std::vector<HistoryEntry>() : *History;
}

void ErrorClass::SetHistoryThreshold(int32_t threshold) {
  SetGuarded(HistoryThreshold, threshold);
}

int32_t ErrorClass::GetHistoryThreshold() const {
  return Guarded(HistoryThreshold);
}

void ErrorClass::SetHistoryViewLevel(int32_t level) {
  SetGuarded(HistoryViewLevel, level);
}

int32_t ErrorClass::GetHistoryViewLevel() const {
  return Guarded(HistoryViewLevel);
}

void ErrorClass::SetHistoryResetOnView(bool reset) {
  SetGuarded(HistoryResetOnView, reset);
}

bool ErrorClass::GetHistoryResetOnView() const {
  return Guarded(HistoryResetOnView);
}

// --- Procedure names ----------------------------------------------------

void ErrorClass::SetProcedureName(std::string_view name) {
  const int32_t thread = CurrentThreadNumber();
  CriticalProcedure critical(CritSect);
  if (ProcNames == nullptr) {
    AssertionFailed(kQueuesMissing);
    return;
  }
  ProcNames->push_back({thread, std::string(name)});
}

void ErrorClass::SetProcedureName() {
  const int32_t thread = CurrentThreadNumber();
  CriticalProcedure critical(CritSect);
  if (ProcNames == nullptr) {
    AssertionFailed(kQueuesMissing);
    return;
  }
  for (size_t pos = ProcNames->size(); pos > 0; --pos) {
    if ((*ProcNames)[pos - 1].Thread == thread) {
      ProcNames->erase(ProcNames->begin() + static_cast<std::ptrdiff_t>(pos - 1));
      return;
    }
  }
}

std::string ErrorClass::GetProcedureName() {
  const int32_t thread = CurrentThreadNumber();
  CriticalProcedure critical(CritSect);
  if (ProcNames == nullptr) {
    AssertionFailed(kQueuesMissing);
    return {};
  }
  for (size_t pos = ProcNames->size(); pos > 0; --pos) {
    if ((*ProcNames)[pos - 1].Thread == thread) return (*ProcNames)[pos - 1].Name;
  }
  return {};
}

}  // namespace zuna::framework
