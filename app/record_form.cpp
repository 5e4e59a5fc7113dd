#include "app/record_form.h"

#include <cstring>
#include <span>
#include <string>

#include "app/globals.h"
#include "app/register_procedure.h"
#include "app/window_parts.h"
#include "app/zun_dictionary.h"
#include "app/zunabc0.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "framework/window/window_resizer.h"
#include "runtime/values/code_page.h"
#include "runtime/window/keycodes.h"
#include "runtime/window/properties.h"

namespace zuna::app {
namespace {

namespace Level = framework::Level;
using values::W;

constexpr size_t kActionMessageSize = 40;

// The values of the last record saved on the thread, for the ditto key;
// cleared once, before the thread's first form.
ZUN_Record& History_ZUN_Record() {
  thread_local ZUN_Record history = MakeZunRecord("", 0);
  return history;
}

std::string ActionMessageFor(uint8_t request) {
  switch (request) {
    case framework::ViewRecord:
      return "View Record";
    case framework::InsertRecord:
      return W("Добавить ???");
    case framework::ChangeRecord:
      return W("Изменить ???");
    case framework::DeleteRecord:
      return W("Удалить ???");
    default:
      return {};
  }
}

class ThisWindow final : public RegisterProcedure {
 public:
  ThisWindow(window::Window& window, char* action_message)
      : window_(window), action_message_(action_message) {}

  uint8_t Init() override {
    if (uint8_t level = BeginInit("Updatezun", kFormActionMessage)) return level;
    JoinToolbar();
    HistoryKey = window::KEY::CtrlQuote;
    std::span<char> record = Access_ZUN->Buffer;
    AddHistoryFile(framework::RecordGroup{record, {FioOf(record), DataOf(record)}},
                   std::span<char>(reinterpret_cast<char*>(&History_ZUN_Record()),
                                   sizeof(ZUN_Record)));
    AddHistoryField(kFormName, 1);
    AddHistoryField(kFormDate, 2);
    AddUpdateFile(*Access_ZUN);
    AddItem(kFormCancel, framework::RequestCancelled);
    OpenRegister();
    Primary = Relate_ZUN;
    if (Request == framework::ViewRecord && !BatchProcessing) {
      InsertAction = framework::Insert::None;
      DeleteAction = framework::Delete::None;
      ChangeAction = framework::Change::None;
      CancelAction = 0;
      OKControl = 0;
    } else {
      DeleteAction = framework::Delete::Form;
      ChangeAction = framework::Change::Caller;
      OKControl = kFormOk;
      if (PrimeUpdate() != 0) return Level::Notify;
    }
    Open(window_);
    FollowResizes();
    SetAlerts();
    return Level::Benign;
  }

  void Ask() override {
    const std::string message = ActionMessageFor(Request);
    std::memset(action_message_, 0, kActionMessageSize);
    std::memcpy(action_message_, message.data(),
                std::min(message.size(), kActionMessageSize - 1));
    if (window_.IsOpen()) window_.SetProp(0, window::PROP::Text, message);
    WindowManager::Ask();
  }

  uint8_t TakeAccepted() override {
    const uint8_t level = WindowManager::TakeAccepted();
    if (window::ACCEPTED() == kFormOk) {
      Update();
      if (Request == framework::ViewRecord && !BatchProcessing) {
        window::POST(window::EVENT::CloseWindow);
      }
    }
    return level;
  }

  uint8_t Run() override {
    const uint8_t response = WindowManager::Run();
    return Request == framework::ViewRecord ? framework::RequestCancelled : response;
  }

 private:
  window::Window& window_;
  char* action_message_;
};

}  // namespace

window::WindowDefinition RecordFormDefinition() {
  namespace Type = window::ControlType;
  window::WindowDefinition form = ChildWindow("Добавить-изменить", 193, 84);
  form.controls = {
      Control(Type::Sheet, "?CurrentTab", "", 4, 4, 185, 58),
      Control(Type::Tab, "?Tab:1", "", 4, 4, 185, 58, kFormSheet),
      Control(Type::String, "?ActionMessage", "", 12, 20, 170, 10, kFormTab),
      Control(Type::Prompt, "?ZUN:FIO:Prompt", "Ф И О", 12, 34, 70, 10, kFormTab),
      Control(Type::Entry, "?ZUN:FIO", "", 84, 33, 98, 11, kFormTab, "@s30"),
      Control(Type::Prompt, "?ZUN:DATA:Prompt", "День рождения", 12, 48, 70, 10, kFormTab),
      Control(Type::Entry, "?ZUN:DATA", "", 84, 47, 50, 11, kFormTab, "@D6"),
      Control(Type::Button, "?OK", "OK", 92, 66, 45, 14),
      Control(Type::Button, "?Cancel", "Выход", 144, 66, 45, 14),
  };
  form.controls[kFormOk - 1].is_default = true;
  return form;
}

void UpdateZun() {
  char action_message[kActionMessageSize] = {};
  window::Window window(RecordFormDefinition());
  std::span<char> record = Access_ZUN->Buffer;
  window.Bind(kFormActionMessage, values::RefCString(action_message, kActionMessageSize));
  window.Bind(kFormName, FioOf(record));
  window.Bind(kFormDate, DataOf(record));
  ThisWindow manager(window, action_message);
  GlobalResponse = manager.Run();
}

}  // namespace zuna::app
