#include "framework/window/window_manager.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "framework/data/assertion.h"
#include "framework/data/framework_host.h"
#include "framework/window/browse_class.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_resizer.h"
#include "runtime/datfile/status.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/error_state.h"
#include "runtime/values/code_page.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/picture.h"

namespace zuna::framework {

namespace {

namespace KEY = window::KEY;
namespace PROP = window::PROP;

bool IsUpdateRequest(uint8_t request) {
  return request == InsertRecord || request == ChangeRecord;
}

// The bytes of `field` inside `record`, and the same place in `copy`.
struct FieldBytes {
  size_t offset = 0;
  size_t size = 0;
};

std::optional<FieldBytes> FieldPlace(const RecordGroup& record,
                                     const values::VariableRef& field) {
  const char* at = static_cast<const char*>(field.address);
  const size_t size = static_cast<size_t>(field.size) * field.element_count();
  if (at < record.bytes.data() ||
      at + size > record.bytes.data() + record.bytes.size()) {
    return std::nullopt;
  }
  return FieldBytes{static_cast<size_t>(at - record.bytes.data()), size};
}

}  // namespace

// --- Life cycle --------------------------------------------------------------

uint8_t WindowManager::Init() {
  OriginalRequest = Request;
  CL = std::make_unique<std::vector<ComponentRow>>();
  Buttons = std::make_unique<std::vector<ButtonRow>>();
  values::PUSHBIND();
  bind_scope_open_ = true;
  // A list opened by a right click must not take that click as its own.
  const int32_t key = window::KEYCODE();
  if (key == KEY::MouseRight || key == KEY::MouseRightUp) window::SETKEYCODE(0);
  InsertAction = Insert::Caller;
  DeleteAction = Delete::Warn;
  ChangeAction = Change::Caller;
  CancelAction = Cancel::Save | Cancel::Query;
  AutoToolbar = 1;
  AutoRefresh = 1;
  OwnerWindow = nullptr;
  return Level::Benign;
}

uint8_t WindowManager::Run() {
  if (Init() == Level::Benign) Ask();
  Kill();
  return Response != 0 ? Response : RequestCancelled;
}

uint8_t WindowManager::Run(uint16_t /*Number*/, uint8_t /*Request*/) {
  return RequestCancelled;
}

void WindowManager::Ask() {
  if (Dead || MyWindow == nullptr) return;
  LastInsertedPosition.clear();
  while (window::ACCEPT(*MyWindow)) {
    const uint8_t level = TakeEvent();
    if (level == Level::Fatal) break;
    if (level == Level::Notify) window::CYCLE();
  }
}

void WindowManager::Open(window::Window& window, const window::Window* owner) {
  MyWindow = &window;
  if (owner != nullptr) OwnerWindow = owner;
  window.Open(OwnerWindow);
  Opened = window.IsOpen() ? 1 : 0;
}

void WindowManager::Open() {
  Reset(0);
  Inited |= kInitedOpened;
}

uint8_t WindowManager::Kill() {
  if (Dead || !CL) return Level::Notify;
  while (!CL->empty()) {
    WindowComponent* component = CL->front().Item;
    CL->erase(CL->begin());
    component->Kill();
  }
  CL.reset();
  Buttons.reset();
  History.reset();
  if (Files) {
    for (FileRow& row : *Files) GiveBack(*row.Manager, row.Saved);
    Files.reset();
  }
  if (Primary != nullptr && Primary->Me != nullptr) GiveBack(*Primary->Me, Saved);
  if (Toolbar != nullptr) Toolbar->Kill();
  if (Resize != nullptr) Resize->Kill();
  Dead = 1;
  if (bind_scope_open_) {
    values::POPBIND();
    bind_scope_open_ = false;
  }
  return Level::Benign;
}

void WindowManager::GiveBack(FileManager& file, int32_t& saved) {
  if (saved == 0) return;
  if (Response == RequestCompleted) {
    file.ReleaseBuffer(saved);
  } else {
    file.RestoreBuffer(saved);
  }
}

// --- Events ------------------------------------------------------------------

uint8_t WindowManager::TakeEvent() {
  uint8_t level = Level::Benign;
  if (window::FIELD() == 0) {
    level = TakeWindowEvent();
    if (level != Level::Benign) return level;
  }
  switch (window::EVENT()) {
    case window::EVENT::Sized:
      window::POST(kResizeEvent);
      break;
    case window::EVENT::Accepted:
      level = TakeAccepted();
      break;
    case window::EVENT::Rejected:
      level = TakeRejected();
      break;
    case window::EVENT::Selected:
      level = TakeSelected();
      break;
    case window::EVENT::NewSelection:
      level = TakeNewSelection();
      break;
    case window::EVENT::AlertKey:
      if (HistoryKey != 0 && window::KEYCODE() == HistoryKey && MyWindow != nullptr) {
        RestoreField(MyWindow->PropLong(0, PROP::Focus));
      }
      break;
    default:
      break;
  }
  if (level != Level::Benign) return level;
  if (window::FIELD() != 0) {
    level = TakeFieldEvent();
    if (level != Level::Benign) return level;
  }
  if (CL) {
    for (ComponentRow& row : *CL) {
      level = row.Item->TakeEvent();
      if (level != Level::Benign) return level;
    }
    if (AutoRefresh) {
      for (ComponentRow& row : *CL) {
        if (row.Item->ResetRequired()) {
          Reset(0);
          break;
        }
      }
    }
  }
  return Level::Benign;
}

uint8_t WindowManager::TakeWindowEvent() {
  switch (window::EVENT()) {
    case window::EVENT::OpenWindow:
      if (!(Inited & kInitedOpened)) Open();
      if (FirstField != 0 && MyWindow != nullptr) MyWindow->Select(FirstField);
      break;
    case window::EVENT::Notify: {
      int32_t code = 0, thread = 0, parameter = 0;
      if (window::NOTIFICATION(code, thread, parameter)) {
        return TakeNotify(code, thread, parameter);
      }
      break;
    }
    case window::EVENT::LoseFocus:
      if (ResetOnGainFocus) ForcedReset = 1;
      break;
    case window::EVENT::GainFocus:
      if (Inited & kInitedOpened) {
        Reset(0);
      } else {
        Open();
      }
      break;
    case window::EVENT::Sized:
      // The open itself sizes the window once: that is not a change.
      if (Inited & kInitedSized) {
        Reset(0);
      } else {
        Inited |= kInitedSized;
      }
      break;
    case window::EVENT::Completed:
      return TakeCompleted();
    case window::EVENT::CloseWindow:
    case window::EVENT::CloseDown:
      return TakeCloseEvent();
    default:
      break;
  }
  return Level::Benign;
}

uint8_t WindowManager::TakeAccepted() {
  const int32_t control = window::ACCEPTED();
  if (Toolbar != nullptr) {
    Toolbar->TakeEvent(VCRRequest, *this);
    if (control == ToolbarButton::History && MyWindow != nullptr) {
      RestoreField(MyWindow->PropLong(0, PROP::Focus));
    }
  }
  if (ButtonRow* button = FindButton(control)) {
    SetResponse(button->Response);
    return Level::Notify;
  }
  if (OKControl != 0 && control == OKControl) PostCompleted();
  if (SaveControl != 0 && control == SaveControl) {
    if (Request == ViewRecord) return Level::Notify;
    BeforeSaveRequest = Request;
    Request = SaveRecord;
    PostCompleted();
  }
  EnableCancelControls();
  return Level::Benign;
}

uint8_t WindowManager::TakeRejected() {
  window::BEEP();
  // The refused text stays in its field for the user to mend.  Showing the
  // variable's old value instead would hide the mistake, and a completion
  // already queued behind this event (the OK that took the focus away)
  // would then save that old value as if the user had meant it.
  const int32_t field = window::FIELD();
  if (MyWindow == nullptr || field == 0) return Level::Benign;
  const std::string text = MyWindow->Prop(field, PROP::Text);
  const values::Picture picture = values::CompilePicture(MyWindow->Prop(field, PROP::Picture));
  window::MESSAGE(values::W("«") + text + values::W("» не подходит: ") +
                      window::InputHint(picture) + ".",
                  values::W("Неверный ввод"), window::ICON::Exclamation);
  MyWindow->Select(field);
  return Level::Benign;
}

uint8_t WindowManager::TakeNewSelection() {
  const int32_t field = window::FIELD();
  if (MyWindow != nullptr && field != 0 &&
      MyWindow->PropLong(field, PROP::Type) == window::ControlType::Sheet) {
    Reset(0);
    if (AutoToolbar && Toolbar != nullptr) Toolbar->SetTarget(0);
  }
  return Level::Benign;
}

uint8_t WindowManager::TakeNotify(int32_t /*Code*/, int32_t /*Thread*/,
                                  int32_t /*Parameter*/) {
  return Level::Benign;
}

void WindowManager::SetResponse(uint8_t R) {
  Response = R;
  CloseWindow();
  if (R == RequestCancelled && Toolbar != nullptr && VCRRequest != nullptr) {
    *VCRRequest = 0;
  }
}

// --- Completing a form -------------------------------------------------------

void WindowManager::PostCompleted() {
  if (MyWindow == nullptr) return;
  const bool form = IsUpdateRequest(OriginalRequest) ||
                    OriginalRequest == ViewRecord;
  if (form) {
    if (OriginalRequest == ViewRecord && !BatchProcessing) {
      window::POST(window::EVENT::Completed);
    }
    MyWindow->AcceptAll();
  } else if (BatchProcessing) {
    MyWindow->AcceptAll();
  } else {
    window::POST(window::EVENT::Completed);
  }
}

uint8_t WindowManager::TakeCompleted() {
  SaveHistory();
  switch (Request) {
    case InsertRecord:
      return DoInsertAction();
    case ChangeRecord:
      return DoChangeAction();
    case DeleteRecord:
      return DoDeleteAction();
    case SaveRecord:
      return OriginalRequest == InsertRecord ? SaveOnInsertAction()
                                                      : SaveOnChangeAction();
    default:
      return Level::Benign;
  }
}

uint8_t WindowManager::DoInsertAction() {
  if (!Assert(Primary != nullptr, "No primary file to insert into")) {
    return Level::Notify;
  }
  if (Primary->Me->Insert() != Level::Benign) {
    ShowFirstField();
    return Level::Notify;
  }
  if (!BatchProcessing) {
    if (InsertAction == Insert::Caller) {
      SetResponse(RequestCompleted);
      return Level::Benign;
    }
    if (InsertAction == Insert::Query && Errors != nullptr &&
        Errors->Throw(Msg::AddAnother) != Level::Benign) {
      SetResponse(RequestCompleted);
      return Level::Benign;
    }
  }
  if (InsertAction == Insert::Query || InsertAction == Insert::Batch || BatchProcessing) {
    return PrepareNextInsert();
  }
  return Level::Benign;
}

uint8_t WindowManager::PrepareNextInsert() {
  FileManager& file = *Primary->Me;
  LastInsertedPosition = file.Position();
  if (Files) {
    for (FileRow& row : *Files) {
      if (row.Saved != 0) row.Manager->RestoreBuffer(row.Saved);
      row.Saved = row.Manager->SaveBuffer();
    }
  }
  if (Saved != 0) file.RestoreBuffer(Saved);
  file.UseFile(UseType::Return);
  if (file.PrimeAutoInc() != Level::Benign) {
    CloseWindow();
  } else {
    PrimeFields();
    Response = RequestCancelled;
  }
  Saved = file.SaveBuffer();
  ShowFirstField();
  return Level::Notify;
}

WindowManager::ChangeOutcome WindowManager::WriteChange() {
  FileManager& file = *Primary->Me;
  for (;;) {
    uint8_t result;
    {
      WaitCursor wait;
      if (Saved != 0 && file.EqualBuffer(Saved)) return ChangeOutcome::kUnchanged;
      result = Primary->Update(HistoryKey != 0 ? 1 : 0);
    }
    if (result == Level::Benign) return ChangeOutcome::kWritten;
    // Level::User: the write failed in a way another try may mend.  Any
    // other failure has been explained already (another station changed
    // the record, and the form now shows theirs).
    if (result != Level::User) return ChangeOutcome::kBackToForm;
    const int32_t answer = AskYesNoCancel(Msg::UpdateRetry);
    if (answer != Button::Yes) {
      return answer == Button::No ? ChangeOutcome::kGaveUp : ChangeOutcome::kBackToForm;
    }
    if (!FindRecordAgain()) return ChangeOutcome::kBackToForm;
  }
}

bool WindowManager::FindRecordAgain() {
  // The failed write was undone, and with it the file's current record.
  // The record at the form's position is read again (watched, as a list
  // reads it); only when it is still the one the form opened with does the
  // user's version go over it.  A read that fails for a passing reason
  // (the file locked by another station) leaves that to the next write.
  FileManager& file = *Primary->Me;
  if (record_position_.empty() || Saved == 0) return false;
  int32_t edited = file.SaveBuffer();
  datfile::WATCH(*file.File);
  if (file.TryReget(record_position_) != Level::Benign) {
    const int32_t error = values::ERRORCODE();
    file.RestoreBuffer(edited);
    if (error != datfile::Err::kRecordNotAvailable && error != datfile::Err::kRecordNotFound) {
      return true;
    }
    file.Throw(Msg::RecordReadFailed);
    return false;
  }
  if (file.EqualBuffer(Saved)) {
    file.RestoreBuffer(edited);
    return true;
  }
  // Another station changed it meanwhile: the form shows theirs.
  file.ReleaseBuffer(edited);
  file.Throw(Msg::RecordChangedShown);
  return false;
}

uint8_t WindowManager::DoChangeAction() {
  if (!Assert(Primary != nullptr, "No primary file to change")) return Level::Notify;
  Response = RequestCancelled;
  const ChangeOutcome outcome = WriteChange();
  if (outcome == ChangeOutcome::kGaveUp) {
    if (OriginalRequest != InsertRecord) CloseWindow();
    return Level::Notify;
  }
  if (outcome == ChangeOutcome::kBackToForm) {
    ShowFirstField();
    return Level::Notify;
  }
  const bool unchanged_and_idle =
      outcome == ChangeOutcome::kUnchanged && Toolbar != nullptr &&
      VCRRequest != nullptr && *VCRRequest == 0;
  if (outcome == ChangeOutcome::kWritten || unchanged_and_idle) {
    Response = RequestCompleted;
  }
  if (OriginalRequest == ChangeRecord && !BatchProcessing &&
      ChangeAction == Change::Caller) {
    CloseWindow();
  }
  if (OriginalRequest == InsertRecord &&
      Response == RequestCompleted) {
    // A record added by save-and-stay, then changed.
    EnableCancelControls();
    Request = InsertRecord;
    if (InsertAction == Insert::Batch) return PrepareNextInsert();
    if (!BatchProcessing && ChangeAction == Change::Caller) CloseWindow();
  }
  return Level::Benign;
}

uint8_t WindowManager::DoDeleteAction() {
  if (!Assert(Primary != nullptr, "No primary file to delete from")) return Level::Notify;
  Response = RequestCancelled;
  // One question after a failed delete, with the form's three answers.
  int32_t answer = 0;
  const uint8_t level = Primary->Delete(
      DeleteAction == Delete::Warn ? 1 : 0,
      [this] { return AskYesNoCancel(Msg::DeleteRetry); }, &answer, record_position_);
  if (level == Level::Benign || level == Level::Cancel) {
    SetResponse(RequestCompleted);
    return Level::Benign;
  }
  if (answer == Button::No && !BatchProcessing) {
    CloseWindow();
  } else {
    ShowFirstField();
  }
  return Level::Benign;
}

uint8_t WindowManager::SaveOnInsertAction() {
  if (!Assert(Primary != nullptr, "No primary file to save into")) return Level::Notify;
  if (BeforeSaveRequest == InsertRecord) {
    if (Primary->Me->Insert() != Level::Benign) {
      Request = InsertRecord;
    } else {
      Request = ChangeRecord;
      RenewSaved();
      ShowFirstField();
      DisableCancelControls();
    }
    return Level::Notify;
  }
  Request = ChangeRecord;
  if (Saved != 0 && !Primary->Me->EqualBuffer(Saved)) return SaveOnChangeAction();
  return Level::Notify;
}

uint8_t WindowManager::SaveOnChangeAction() {
  if (!Assert(Primary != nullptr, "No primary file to save into")) return Level::Notify;
  const ChangeOutcome outcome = WriteChange();
  if (outcome == ChangeOutcome::kWritten || outcome == ChangeOutcome::kUnchanged) {
    RenewSaved();
    DisableCancelControls();
  } else {
    ShowFirstField();
  }
  Request = ChangeRecord;
  return Level::Notify;
}

void WindowManager::RenewSaved() {
  FileManager& file = *Primary->Me;
  if (Saved != 0) file.ReleaseBuffer(Saved);
  Primary->Save();
  Saved = file.SaveBuffer();
  RecordSaved = 1;
}

// --- Closing -----------------------------------------------------------------

bool WindowManager::BufferChanged() {
  // Text typed but not yet accepted (the user went straight for the close
  // box) counts as a change: it is taken into the buffer first.
  const bool screen_invalid =
      MyWindow != nullptr && MyWindow->IsOpen() && !MyWindow->Update(0);
  if (screen_invalid) return true;
  return Saved != 0 && !Primary->Me->EqualBuffer(Saved);
}

uint8_t WindowManager::TakeCloseEvent() {
  if (Response == RequestCompleted || Primary == nullptr) {
    return Level::Benign;
  }
  if (CancelAction != 0 && IsUpdateRequest(Request) && BufferChanged()) {
    const bool save = (CancelAction & Cancel::Save) != 0;
    const bool query = (CancelAction & Cancel::Query) != 0;
    if (save && query) {
      const int32_t answer = AskYesNoCancel(Msg::ConfirmSave);
      if (answer == Button::Yes) {
        window::POST(window::EVENT::Accepted, OKControl);
        return Level::Notify;
      }
      if (answer != Button::No) {
        ShowFirstField();
        return Level::Notify;
      }
    } else if (save) {
      window::POST(window::EVENT::Accepted, OKControl);
      return Level::Notify;
    } else if (Errors != nullptr && Errors->Throw(Msg::ConfirmCancel) == Level::Cancel) {
      ShowFirstField();
      return Level::Notify;
    }
  }
  // The close box leaves Response unset: that too gives up the new record.
  if (OriginalRequest == InsertRecord &&
      Response != RequestCompleted &&
      Primary->CancelAutoInc() != Level::Benign) {
    ShowFirstField();
    return Level::Notify;
  }
  if (!LastInsertedPosition.empty()) {
    // Records were added while the form stayed open: the caller sees the
    // last of them.
    Response = RequestCompleted;
    Primary->Me->TryReget(LastInsertedPosition);
  }
  return Level::Benign;
}

// --- Preparing a form --------------------------------------------------------

uint8_t WindowManager::PrimeUpdate() {
  if (!Assert(Primary != nullptr && Primary->Me != nullptr,
              "PrimeUpdate needs a primary file")) {
    return 3;
  }
  FileManager& file = *Primary->Me;
  file.UseFile(UseType::Return);
  Primary->Save();
  if (Files) {
    for (FileRow& row : *Files) row.Saved = row.Manager->SaveBuffer();
  }
  uint8_t result = 0;
  if (Request == InsertRecord) {
    if (InsertAction != 0) {
      Response = RequestCompleted;
      PrimeFields();
      if (Response == RequestCancelled) {
        result = 3;
      } else {
        Response = RequestCancelled;
      }
    }
  } else if (Request == DeleteRecord &&
             (DeleteAction == Delete::Warn || DeleteAction == Delete::Auto)) {
    const uint8_t level = Primary->Delete(DeleteAction == Delete::Warn ? 1 : 0);
    Response = level == Level::Benign ? RequestCompleted
                                      : RequestCancelled;
    result = 3;
  }
  Saved = file.SaveBuffer();
  record_position_ = Request == InsertRecord ? std::string() : file.Position();
  return result;
}

// --- Redisplay and components ------------------------------------------------

void WindowManager::Reset(uint8_t Force) {
  if (MyWindow != nullptr && MyWindow->IsOpen() && MyWindow->IsAcceptAll()) return;
  if (ForcedReset) Force = 1;
  ForcedReset = 0;
  ResetBuffers(Force);
  if (CL) {
    for (ComponentRow& row : *CL) row.Item->UpdateWindow();
  }
  if (MyWindow != nullptr && MyWindow->IsOpen()) MyWindow->Display();
}

void WindowManager::ResetBuffers(uint8_t Force) {
  if (!CL) return;
  for (ComponentRow& row : *CL) row.Item->Reset(row.Type == 1 ? 1 : Force);
}

void WindowManager::Update() {
  if (!CL) return;
  for (ComponentRow& row : *CL) row.Item->Update();
}

void WindowManager::SetAlerts() {
  if (CL) {
    for (ComponentRow& row : *CL) row.Item->SetAlerts();
  }
  if (History && HistoryKey != 0 && MyWindow != nullptr) {
    for (const HistoryRow& row : *History) MyWindow->Alert(row.Control, HistoryKey);
  }
}

// --- History (the ditto key) -------------------------------------------------

void WindowManager::AddHistoryFile(const RecordGroup& Record, std::span<char> History) {
  Assert(History.size() == Record.bytes.size(),
         "History record differs from the record");
  history_record_ = Record;
  history_bytes_ = History;
}

void WindowManager::AddHistoryField(int32_t Control, int32_t FieldNo) {
  if (!Assert(!history_bytes_.empty(), "History field added before its file")) return;
  if (!History) History = std::make_unique<std::vector<HistoryRow>>();
  History->push_back(HistoryRow{history_record_, history_bytes_, Control, FieldNo});
}

void WindowManager::SaveHistory() {
  if (!History) return;
  const char* previous = nullptr;
  for (const HistoryRow& row : *History) {
    if (row.Record.bytes.data() == previous) continue;
    previous = row.Record.bytes.data();
    const size_t size = std::min(row.Record.bytes.size(), row.History.size());
    std::memcpy(row.History.data(), row.Record.bytes.data(), size);
  }
}

void WindowManager::RestoreField(int32_t Control) {
  if (!History) return;
  auto row = std::find_if(History->begin(), History->end(),
                          [&](const HistoryRow& r) { return r.Control == Control; });
  if (row == History->end()) return;
  if (row->FieldNo < 1 ||
      static_cast<size_t>(row->FieldNo) > row->Record.fields.size()) {
    return;
  }
  const auto place = FieldPlace(row->Record, row->Record.fields[row->FieldNo - 1]);
  if (!place || place->offset + place->size > row->History.size()) return;
  std::memcpy(row->Record.bytes.data() + place->offset,
              row->History.data() + place->offset, place->size);
  if (MyWindow != nullptr && MyWindow->IsOpen()) MyWindow->Display(Control);
}

// --- Items -------------------------------------------------------------------

void WindowManager::AddItem(WindowComponent& component) {
  if (!Assert(CL != nullptr, "Window component added before Init")) return;
  CL->push_back(ComponentRow{0, &component});
}

void WindowManager::AddItem(BrowseClass& browse) {
  AddItem(browse.Component);
  if (Request == SelectRecord) browse.Selecting = 1;
}

void WindowManager::AddItem(ToolbarClass& toolbar) {
  Toolbar = &toolbar;
  toolbar.Init();
}

void WindowManager::AddItem(WindowResizeClass& resizer) { Resize = &resizer; }

void WindowManager::AddItem(int32_t Control, uint8_t Response) {
  if (!Assert(Buttons != nullptr, "Closing button added before Init")) return;
  Buttons->push_back(ButtonRow{Control, Response});
}

void WindowManager::AddUpdateFile(FileManager& file) {
  if (!Files) Files = std::make_unique<std::vector<FileRow>>();
  Files->push_back(FileRow{&file, 0});
}

void WindowManager::RemoveItem(WindowComponent& component) {
  if (!CL) return;
  std::erase_if(*CL, [&](const ComponentRow& row) { return row.Item == &component; });
}

WindowManager::ButtonRow* WindowManager::FindButton(int32_t control) {
  if (!Buttons || control == 0) return nullptr;
  auto row = std::find_if(Buttons->begin(), Buttons->end(),
                          [&](const ButtonRow& r) { return r.Control == control; });
  return row == Buttons->end() ? nullptr : &*row;
}

void WindowManager::DisableCancelControls() {
  if (!DisableCancelButton || !Buttons) return;
  for (const ButtonRow& row : *Buttons) {
    if (row.Response == RequestCancelled) TakeDisableButton(row.Control, 1);
  }
}

void WindowManager::EnableCancelControls() {
  if (!DisableCancelButton || !Buttons) return;
  for (const ButtonRow& row : *Buttons) {
    if (row.Response == RequestCancelled) TakeDisableButton(row.Control, 0);
  }
}

void WindowManager::TakeDisableButton(int32_t Control, uint8_t Disable) {
  if (Control == 0 || MyWindow == nullptr || !MyWindow->IsOpen()) return;
  if (Disable) {
    MyWindow->Disable(Control);
  } else {
    MyWindow->Enable(Control);
  }
}

// --- Helpers -----------------------------------------------------------------

int32_t WindowManager::AskYesNoCancel(uint16_t id) {
  if (Errors == nullptr) return Button::Cancel;
  return Errors->Message(id, Button::Yes | Button::No | Button::Cancel, Button::Cancel);
}

void WindowManager::ShowFirstField() {
  if (MyWindow == nullptr || !MyWindow->IsOpen()) return;
  MyWindow->Display();
  if (FirstField != 0) MyWindow->Select(FirstField);
}

void WindowManager::CloseWindow() { window::POST(window::EVENT::CloseWindow); }

}  // namespace zuna::framework
