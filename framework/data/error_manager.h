// ErrorClass: the one place where the framework turns a failure or a
// question into a message for the user.  Errors are named by message id
// (error_table.h); the table gives each id a level, a title and a text.
// TakeError fills the text's placeholders from the calling thread's error
// state and lets the level decide: nothing, a Yes/No question, a notice, or
// the fatal stop.  Every message shown through Msg may also go to a log
// ("VFCError.Log") and into a history list shown in the "Errors History"
// window.  A stack of procedure names per thread feeds %Procedure.
//
// Ownership and lifetime: the program has one ErrorClass, GlobalErrors,
// constructed at start-up and initialised with Init(GlobalErrorStatus); the
// status object must outlive it.  Constructed -> Init -> ready (table, log,
// history and procedure stacks present) -> Kill (all disposed; Init may run
// again) -> destroyed (the destructor calls Kill).
//
// Threads: every method may be called from any thread.  The message table,
// the history, the procedure-name queue, the log and the settings are shared
// and guarded by CritSect, a recursive mutex (overrides may call back into
// the object while it is held), through CriticalProcedure.  Message boxes
// and the history window are shown with CritSect released, and internal
// assertions raised while it is held are shown after it is released.  The
// error state (file, field, key, message text, captured runtime error, the
// entry being reported) is the calling thread's own, in Status.
//
// Misuse is reported by internal assertions (assertion.h), after which the
// call goes on or returns as described:
//   "ErrorClass not correctly initialized with Status"  error state used
//       before Init(Status); the call does nothing.
//   "ErrorClass not correctly initialized"  SetId before the table exists.
//   "ErrorClass incorrectly initialized."  AddErrors, AddError,
//       Set/GetProcedureName or the history before the queues exist.
//   "Identifier not found."  SetId(Id) (one argument) for an unknown id.
//   "Unable to add new error message to queue."  an entry could not be
//       added (also: a packed block shorter than its counts say).
//   "Unable to Open error log;", "Unable to update error log; ",
//       "Unable to close error log;"  each followed by ERROR();
//       "Attempt to LogErrors with ErrorLogInterface NULL!".
//
// All texts are Windows-1251.
#ifndef ZUNA_FRAMEWORK_DATA_ERROR_MANAGER_H_
#define ZUNA_FRAMEWORK_DATA_ERROR_MANAGER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/data/assertion.h"
#include "framework/data/critical_procedure.h"
#include "framework/data/error_log.h"
#include "framework/data/error_status.h"
#include "framework/data/error_table.h"
#include "framework/data/framework_host.h"

namespace zuna::framework {

// The working buffer of placeholder substitution: longer texts are cut.
inline constexpr size_t kSubstitutionLimit = 2000;
// A history row keeps at most this much of the message.
inline constexpr size_t kHistoryTextSize = 1024;

inline constexpr std::string_view kFatalSuffix =
    "  Press OK to end this application";
inline constexpr std::string_view kHistoryCaption = "Errors History";

// One row of the history.
struct HistoryEntry {
  std::string Category;
  std::string Text;  // the message as shown, at most kHistoryTextSize
  uint16_t Id = 0;
};

// One row of the procedure-name queue.
struct ProcNameEntry {
  int32_t Thread = 0;
  std::string Name;
};

class ErrorClass {
 public:
  ErrorClass();
  virtual ~ErrorClass();
  ErrorClass(const ErrorClass&) = delete;
  ErrorClass& operator=(const ErrorClass&) = delete;

  // --- Set-up ---------------------------------------------------------

  // Stores `status` (which must outlive this object), then Init().
  void Init(ErrorStatusClass& status);
  // First call after construction or Kill: creates StdErrorLog, sets the
  // default category "VFC", the history off (threshold 0, view level 3, no
  // reset on view), and SetErrorLog(StdErrorLog).  Later calls do nothing.
  void Init();
  // Disposes the table, the history, the procedure names and StdErrorLog.
  // Safe when never initialised and when called twice.
  void Kill();

  // --- The table ------------------------------------------------------

  // Appends one entry; it overrides any earlier entry with the same id.
  virtual void AddError(uint16_t id, std::string_view message,
                        std::string_view title, uint8_t fatality,
                        std::string_view category = {});
  // Appends every entry of a packed block (error_table.h), categories empty.
  virtual void AddErrors(std::string_view error_block);
  // Deletes the entry SetId(id) finds: the latest with that id, so an
  // earlier one with the same id shows again.
  virtual void RemoveError(uint16_t id);

  // Level::Benign when an entry with `id` exists at or before `start_pos`
  // (1-based; the search runs from there back to the first), else
  // Level::Notify.  The one-argument form searches from the last entry and
  // reports "Identifier not found." when there is none.
  uint8_t SetId(uint16_t id);
  uint8_t SetId(uint16_t id, int32_t start_pos);
  // Copies the entry SetId finds into `entry`; returns SetId's result.
  uint8_t GetErrorEntry(uint16_t id, ErrorEntryGroup& entry);
  uint8_t GetErrorEntry(uint16_t id, ErrorEntryGroup& entry,
                        int32_t start_pos);
  // The number of entries (0 before Init).
  size_t ErrorCount() const;

  // Id -1 addresses DefaultCategory; another id its entry.  GetCategory
  // falls back to DefaultCategory for an entry without category or an
  // unknown id.
  void SetCategory(int16_t id, std::string_view category);
  std::string GetCategory(int16_t id) const;
  void SetDefaultCategory(std::string_view category);
  std::string GetDefaultCategory() const;

  // Installs the log that receives log lines (not owned; must outlive its
  // use), creates the queues that are missing and loads DefaultErrors into
  // the table, even when it was loaded before: the later copy is found
  // first and is identical.
  virtual void SetErrorLog(ErrorLogInterface* log);

  // --- The calling thread's error state --------------------------------

  // Captures ERRORCODE(), ERROR(), FILEERRORCODE(), FILEERROR().
  void SetErrors();
  void SetFile(std::string_view name) { SetFileName(name); }
  void SetFileName(std::string_view name);
  void SetField(std::string_view name) { SetFieldName(name); }
  void SetFieldName(std::string_view name);
  void SetKey(std::string_view name) { SetKeyName(name); }
  void SetKeyName(std::string_view name);
  void SetMessageText(std::string_view text);
  int32_t GetErrorBufferId();
  std::string GetErrorBufferTitle();
  uint8_t GetErrorBufferFatality();
  void GetAllStatusVariables(ErrorStatusGroup& group);

  // --- Reporting ------------------------------------------------------

  // SetErrors(), then TakeError(id).
  uint8_t Throw(uint16_t id);
  // SetMessageText(text), then Throw(id).
  uint8_t ThrowMessage(uint16_t id, std::string_view text);
  // Makes the entry of `id` the thread's current one and lets its level
  // decide: 0 TakeBenign; 1 and 4 TakeUser; 2 TakeProgram; 3 TakeFatal;
  // 5 TakeNotify, result 5; anything else TakeOther.  An unknown id is
  // reported as an assertion and then treated as Level::Benign: nothing is
  // shown and the result is 0.
  uint8_t TakeError(uint16_t id);

  // A question that is neither logged nor kept in history: the entry's text
  // (placeholders filled) under its title, exclamation icon.  Returns the
  // button pressed; `default_button` at once when Silent or when the id is
  // unknown.
  int32_t Message(uint16_t id, int32_t buttons, int32_t default_button);

  // Logs (when LogErrors), keeps history (threshold not 0) and shows the
  // message (unless Silent): with history on, only an entry whose level is
  // HistoryViewLevel shows, as the history window; otherwise MessageBox.
  // Returns the button pressed, or `default_button` when nothing was shown.
  virtual int32_t Msg(std::string_view text, std::string_view caption = {},
                      int32_t icon = Icon::None, int32_t buttons = Button::OK,
                      int32_t default_button = Button::OK,
                      int32_t style = 0);
  // Shows the platform message box through the installed host.  `level` is
  // for replacements; the default passes it on unused.
  virtual int32_t MessageBox(uint8_t level, std::string_view text,
                             std::string_view caption = {},
                             int32_t icon = Icon::None,
                             int32_t buttons = Button::OK,
                             int32_t default_button = Button::OK,
                             int32_t style = 0);

  // The level handlers; each result becomes TakeError's.
  virtual uint8_t TakeBenign();   // 0, shows nothing
  virtual uint8_t TakeUser();     // Yes/No; Yes -> Benign, else Cancel
  virtual void TakeNotify();      // OK notice, information icon
  virtual uint8_t TakeFatal();    // OK notice, then the fatal stop
  virtual uint8_t TakeProgram();  // TakeFatal
  virtual uint8_t TakeOther();    // TakeProgram

  // The calling thread's current entry text with every placeholder filled.
  std::string SubsString();

  // --- History --------------------------------------------------------

  // Shows the history window; returns the button pressed.
  virtual int32_t HistoryMsg(std::string_view caption, int32_t icon,
                             int32_t buttons, int32_t default_button);
  // HistoryMsg("Errors History", 0, OK + Help, OK).
  virtual int32_t ViewHistory();
  // Appends HistoryRow.  REQUIRES: CritSect held.
  virtual void AddHistory();
  void ResetHistory();
  // A copy of the history, oldest first.
  std::vector<HistoryEntry> GetHistory() const;

  void SetHistoryThreshold(int32_t threshold);
  int32_t GetHistoryThreshold() const;
  void SetHistoryViewLevel(int32_t level);
  int32_t GetHistoryViewLevel() const;
  void SetHistoryResetOnView(bool reset);
  bool GetHistoryResetOnView() const;
  bool GetSilent() const { return Silent.load() != 0; }
  bool GetLogErrors() const { return LogErrors.load() != 0; }

  // --- Procedure names ------------------------------------------------

  // Pushes `name` on the calling thread's stack.
  void SetProcedureName(std::string_view name);
  // Pops the calling thread's latest name, if any.
  void SetProcedureName();
  // The calling thread's latest name; empty when it has none.
  std::string GetProcedureName();

  // --- Public settings ------------------------------------------------

  std::atomic<uint8_t> Silent{0};     // nothing is shown
  std::atomic<uint8_t> LogErrors{0};  // every Msg also goes to ErrorLog
  std::atomic<int16_t> MsgStyle{0};   // the style of every message box

 protected:
  // The calling thread's state; nullptr (after the assertion) before
  // Init(Status).
  ErrorStatusGroup* ThreadStatus();
  // Copies the entry of `id` into the thread's ErrorBuffer, remembering the
  // previous id.  False (after the assertion) when there is no such entry:
  // the buffer then holds an empty Level::Benign entry with that id.
  bool StoreErrorEntry(uint16_t id);

  // The fields below are guarded by CritSect.
  std::string DefaultCategory;
  std::unique_ptr<std::vector<ErrorEntryGroup>> Errors;
  ErrorLogInterface* ErrorLog = nullptr;
  std::unique_ptr<std::vector<HistoryEntry>> History;
  std::unique_ptr<std::vector<ProcNameEntry>> ProcNames;
  std::unique_ptr<StandardErrorLogClass> StdErrorLog;
  int32_t HistoryThreshold = 0;  // 0 off; > 0 keep that many; < 0 keep all
  int32_t HistoryViewLevel = 3;
  bool HistoryResetOnView = false;
  HistoryEntry HistoryRow;  // the row AddHistory appends
  mutable std::recursive_mutex CritSect;
  ErrorStatusClass* Status = nullptr;  // set by Init(Status), then fixed

 private:
  // The 0-based index of the latest entry with `id` at or before the
  // 1-based `start_pos`.  REQUIRES: CritSect held and Errors present.
  std::optional<size_t> FindEntry(uint16_t id, int32_t start_pos) const;
  // FindEntry from the last entry.  Same REQUIRES.
  std::optional<size_t> FindLatest(uint16_t id) const;
  // Sets one text of the calling thread's error state, cut to
  // kStatusTextLimit (nothing, after the assertion, before Init(Status)).
  void SetStatusText(std::string ErrorStatusGroup::*field, std::string_view text);
  // A copy of one of the fields CritSect guards, and its replacement.
  template <typename T>
  T Guarded(const T& field) const {
    CriticalProcedure critical(CritSect);
    return field;
  }
  template <typename T>
  void SetGuarded(T& field, T value) {
    CriticalProcedure critical(CritSect);
    field = std::move(value);
  }
  void LogLine(std::string_view text);
  void KeepHistory(std::string_view text, int32_t id);
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_ERROR_MANAGER_H_
