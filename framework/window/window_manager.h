// WindowManager: the class behind every window procedure.  It opens the
// window, runs its event loop, hands each event to the right handler, lets
// the window's components (lists, toolbar, resizer) take part and, for an
// update form, turns the request it was called with into an insert, change
// or delete of the primary file, with the questions and retries that come
// with them.
//
// A procedure derives its own class from it and overrides what it needs:
//
//   class ThisWindow : public WindowManager {
//     uint8_t Init() override {
//       Request = GlobalRequest;
//       if (uint8_t level = WindowManager::Init()) return level;
//       Errors = &GlobalErrors;  FirstField = 5;  OKControl = 8;
//       AddItem(9, RequestCancelled);     // "Выход"
//       Relate_ZUN->Open();  FilesOpened = 1;  Primary = Relate_ZUN;
//       if (PrimeUpdate() != 0) return Level::Notify;
//       Open(window_);
//       return Level::Benign;
//     }
//   };
//   GlobalResponse = ThisWindow().Run();
//
// Life cycle: constructed -> Init (queues made, actions at their defaults,
// a scope of bound names opened) -> the procedure's Init opens the window
// -> the first EVENT::OpenWindow runs Open() -> the event loop in Ask ->
// a close accepted by TakeCloseEvent -> Kill (Dead; components killed,
// saved buffers given back, the scope closed).  Request may move from
// insert to change (save-and-stay) and back to insert (batch inserts).
//
// Levels (error_table.h): the Take… methods return Level::Benign to go on,
// Level::Notify when the event is dealt with (its default action is
// skipped: a close that asked a question and was refused stays open),
// Level::Fatal to leave the event loop.
//
// Names.  InsertAction, ChangeAction and DeleteAction are both settings and
// operations; C++ cannot give a field and a method one name, so the
// settings keep the names and the operations are DoInsertAction,
// DoChangeAction and DoDeleteAction.
//
// Saved buffers.  Kill gives the primary file (and each update file) the
// record it had when the form opened only when the form did not complete:
// after a completed insert or change the caller must see the record that
// was written, so the saved images are let go instead.
//
// Ownership and threads: the manager refers to, and does not own, its
// window, files, error manager and components; all of them must outlive
// Kill.  Everything runs on the procedure's thread.  Programming errors
// (AddItem before Init, PrimeUpdate without a primary file) are internal
// assertions (assertion.h): reported, then the call does nothing.
#ifndef ZUNA_FRAMEWORK_WINDOW_WINDOW_MANAGER_H_
#define ZUNA_FRAMEWORK_WINDOW_WINDOW_MANAGER_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "framework/data/error_manager.h"
#include "framework/data/error_table.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "runtime/values/variable.h"
#include "runtime/window/engine.h"

namespace zuna::framework {

class BrowseClass;
class ToolbarClass;
class WindowResizeClass;

// What a procedure is asked to do (GlobalRequest, Request); 0 is none, a
// procedure started from the menu.
inline constexpr uint8_t InsertRecord = 1;
inline constexpr uint8_t ChangeRecord = 2;
inline constexpr uint8_t DeleteRecord = 3;
inline constexpr uint8_t SelectRecord = 4;
inline constexpr uint8_t PrintRecord = 5;
inline constexpr uint8_t ViewRecord = 6;
inline constexpr uint8_t SaveRecord = 7;  // a save-and-stay button was pressed

// How it ended (Response, GlobalResponse); 0 is "not set".
inline constexpr uint8_t RequestCompleted = 1;
inline constexpr uint8_t RequestCancelled = 2;

// What a form does after a successful operation.
namespace Insert {
inline constexpr uint8_t None = 1;    // the window stays
inline constexpr uint8_t Caller = 2;  // close, RequestCompleted (default)
inline constexpr uint8_t Batch = 3;   // prepare the next insert at once
inline constexpr uint8_t Query = 4;   // ask Msg::AddAnother
}  // namespace Insert
namespace Change {
inline constexpr uint8_t None = 1;
inline constexpr uint8_t Caller = 2;  // close (default)
inline constexpr uint8_t Stay = 3;
}  // namespace Change
namespace Delete {
inline constexpr uint8_t None = 1;
inline constexpr uint8_t Warn = 2;  // asked and done before the window opens (default)
inline constexpr uint8_t Form = 3;  // the form shows the record; OK deletes
inline constexpr uint8_t Auto = 4;  // done before the window opens, no question
}  // namespace Delete
// Bits of CancelAction (default both): on closing with unsaved changes,
// save them through the OK control, asking Msg::ConfirmSave first.
namespace Cancel {
inline constexpr uint8_t Save = 1;
inline constexpr uint8_t Query = 2;
}  // namespace Cancel

// Bits of Inited.
inline constexpr uint8_t kInitedOpened = 1;
inline constexpr uint8_t kInitedSized = 2;

// A component of a window (a browse list): what the manager asks of it.
class WindowComponent {
 public:
  virtual ~WindowComponent() = default;
  virtual void Kill() = 0;
  virtual void Reset(uint8_t Force) = 0;
  virtual uint8_t ResetRequired() = 0;
  virtual void SetAlerts() = 0;
  virtual uint8_t TakeEvent() = 0;
  virtual void Update() = 0;
  virtual void UpdateWindow() = 0;
};

// A record as a group: its bytes and its fields (which address into them).
struct RecordGroup {
  std::span<char> bytes;
  std::vector<values::VariableRef> fields;
};

class WindowManager {
 public:
  WindowManager() = default;
  virtual ~WindowManager() = default;
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

  struct ButtonRow {
    int32_t Control = 0;
    uint8_t Response = 0;
  };
  struct ComponentRow {
    int32_t Type = 0;  // 0 ordinary, 1 form navigation
    WindowComponent* Item = nullptr;
  };
  struct FileRow {
    FileManager* Manager = nullptr;
    int32_t Saved = 0;
  };
  struct HistoryRow {
    RecordGroup Record;
    std::span<char> History;  // the same layout as Record
    int32_t Control = 0;
    int32_t FieldNo = 0;
  };

  // --- Fields, in the framework's order. ---
  uint8_t AutoRefresh = 1;
  uint8_t AutoToolbar = 1;
  std::unique_ptr<std::vector<ButtonRow>> Buttons;
  std::unique_ptr<std::vector<ComponentRow>> CL;
  uint8_t CancelAction = Cancel::Save | Cancel::Query;
  uint8_t ChangeAction = Change::Caller;
  uint8_t Dead = 0;
  uint8_t DeleteAction = Delete::Warn;
  uint8_t BatchProcessing = 0;
  ErrorClass* Errors = nullptr;
  std::unique_ptr<std::vector<FileRow>> Files;
  uint8_t FilesOpened = 0;
  int32_t FirstField = 0;
  uint8_t ForcedReset = 0;
  std::unique_ptr<std::vector<HistoryRow>> History;
  int32_t HistoryKey = 0;
  uint8_t Inited = 0;
  uint8_t InsertAction = Insert::Caller;
  std::string LastInsertedPosition;
  int32_t OKControl = 0;
  int32_t SaveControl = 0;
  uint8_t DisableCancelButton = 0;
  uint8_t Opened = 0;
  uint8_t OriginalRequest = 0;
  uint8_t RecordSaved = 0;
  uint8_t BeforeSaveRequest = 0;
  RelationManager* Primary = nullptr;
  uint8_t Request = 0;
  uint8_t ResetOnGainFocus = 0;
  WindowResizeClass* Resize = nullptr;
  uint8_t Response = 0;
  int32_t Saved = 0;
  void* FormVCR = nullptr;  // never set by this program
  ToolbarClass* Toolbar = nullptr;
  void* Translator = nullptr;  // never set by this program
  int32_t* VCRRequest = nullptr;
  window::Window* MyWindow = nullptr;
  const window::Window* OwnerWindow = nullptr;

  // --- Virtual, in slot order. ---

  // The event loop: TakeEvent for each event until the window closes.
  virtual void Ask();
  // Queues made, actions at their defaults, a scope of bound names opened.
  virtual uint8_t Init();
  // Components killed, saved buffers given back (or let go after a
  // completed request), the scope closed.  Level::Notify when already dead
  // or never initialised.
  virtual uint8_t Kill();
  // On the first open-window event: Reset(0), Inited bit 1.
  virtual void Open();
  // Opens `window`, above `owner` when given.
  virtual void Open(window::Window& window, const window::Window* owner = nullptr);
  // Fills in fields of a new record; the base does nothing.
  virtual void PrimeFields() {}
  // Before the window opens: the primary buffer saved; an insert primed; a
  // warned or automatic delete done at once (result 3: the form does not
  // open).  Returns 0 or 3.
  virtual uint8_t PrimeUpdate();
  virtual void Reset(uint8_t Force = 0);
  // The ditto key: field FieldNo of the history record into the record.
  virtual void RestoreField(int32_t Control);
  // Init, Ask (when Init succeeded), Kill; the response (RequestCancelled
  // when none was set).
  virtual uint8_t Run();
  // A list asks for the update procedure of record `Number`; the base
  // does nothing and returns RequestCancelled.
  virtual uint8_t Run(uint16_t Number, uint8_t Request);
  virtual void SetAlerts();
  virtual void SetResponse(uint8_t R);
  virtual uint8_t TakeAccepted();
  virtual uint8_t TakeCompleted();
  virtual uint8_t TakeCloseEvent();
  virtual uint8_t TakeEvent();
  virtual uint8_t TakeFieldEvent() { return Level::Benign; }
  virtual uint8_t TakeNewSelection();
  virtual uint8_t TakeNotify(int32_t Code, int32_t Thread, int32_t Parameter);
  // A refused text: a beep, a message that says what the field takes
  // ("Неверный ввод"), and the field gets the focus back with the text as
  // typed, for the user to mend.
  virtual uint8_t TakeRejected();
  virtual uint8_t TakeSelected() { return Level::Benign; }
  virtual uint8_t TakeWindowEvent();
  // Every component takes the screen's values into its buffers.
  virtual void Update();
  virtual void TakeDisableButton(int32_t Control, uint8_t Disable);
  virtual uint8_t DoInsertAction();
  virtual uint8_t DoChangeAction();
  virtual uint8_t DoDeleteAction();
  virtual uint8_t SaveOnChangeAction();
  virtual uint8_t SaveOnInsertAction();

  // --- Non-virtual. ---
  void AddItem(WindowComponent& component);
  // A list: its component face; a list of a window asked to select a
  // record is selecting.
  void AddItem(BrowseClass& browse);
  void AddItem(ToolbarClass& toolbar);
  void AddItem(WindowResizeClass& resizer);
  void AddItem(int32_t Control, uint8_t Response);
  void AddHistoryFile(const RecordGroup& Record, std::span<char> History);
  void AddHistoryField(int32_t Control, int32_t FieldNo);
  void AddUpdateFile(FileManager& file);
  void RemoveItem(WindowComponent& component);
  // Completes the form: the accept-all pass (every field accepted and
  // checked), which ends in EVENT::Completed.
  void PostCompleted();
  void ResetBuffers(uint8_t Force);
  // The record, as it is about to be saved, becomes the ditto values.
  void SaveHistory();
  void DisableCancelControls();
  void EnableCancelControls();

 protected:
  // Asks a three-choice question of the message table (Yes, No, Cancel;
  // Cancel preselected); returns the button pressed.
  int32_t AskYesNoCancel(uint16_t id);
  // Redisplays the window and gives FirstField the focus.
  void ShowFirstField();
  // POST(EVENT::CloseWindow) to the own window.
  void CloseWindow();

 private:
  enum class ChangeOutcome { kUnchanged, kWritten, kGaveUp, kBackToForm };

  // Ready for another record after an insert: the buffers as they were
  // when the form opened, primed again.  Level::Notify.
  uint8_t PrepareNextInsert();
  // Writes the buffer when it differs from Saved, asking Msg::UpdateRetry
  // (Yes, No, Cancel) after a write that may succeed on another try.
  ChangeOutcome WriteChange();
  // Before a write is tried again: the form's record made current again,
  // false (and the user told) when it is gone or another station changed
  // it since the form opened.
  bool FindRecordAgain();
  // Saved becomes the buffer as it is now (after a save-and-stay).
  void RenewSaved();
  // The entries' text is taken into their variables; true when some text
  // is not valid, or the buffer differs from Saved.
  bool BufferChanged();
  // Kill's treatment of one saved image: given back, or let go after a
  // completed request.
  void GiveBack(FileManager& file, int32_t& saved);
  ButtonRow* FindButton(int32_t control);

  // The record pair of the history fields added next (AddHistoryFile).
  RecordGroup history_record_{};
  std::span<char> history_bytes_{};
  // Where the record the form changes lives (PrimeUpdate).
  std::string record_position_;
  bool bind_scope_open_ = false;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_WINDOW_MANAGER_H_
