#include "app/register_list.h"

#include <span>

#include "app/counting_browse.h"
#include "app/globals.h"
#include "app/register_procedure.h"
#include "app/record_form.h"
#include "app/window_parts.h"
#include "app/zun_dictionary.h"
#include "app/zunabc0.h"
#include "framework/window/locators.h"
#include "framework/window/steps.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "framework/window/window_resizer.h"
#include "runtime/values/code_page.h"

namespace zuna::app {
namespace {

namespace Level = framework::Level;
constexpr datfile::Key kByName{kKey2Index};
constexpr size_t kSearchSize = 20;

// The list's browse: the select button shows only while a caller chooses a
// record, and in view mode the update buttons are not wired.
class RegisterBrowse final : public CountingBrowse {
 public:
  using CountingBrowse::CountingBrowse;
  void Setup(framework::ListQueue& queue, datfile::View& view, framework::WindowManager& w) {
    SelectControl = kRegisterSelect;
    HideSelect = 1;
    Init(kRegisterList, queue, view, *Relate_ZUN, w);
    if (w.Request != framework::ViewRecord) {
      InsertControl = kRegisterInsert;
      ChangeControl = kRegisterChange;
      DeleteControl = kRegisterDelete;
    }
  }
};

class ThisWindow final : public RegisterProcedure {
 public:
  ThisWindow() : window_(RegisterListDefinition()), queue_(row_.bytes()), browse_(total_) {
    row_.AddColumns(queue_);
    window_.BindList(kRegisterList, &queue_);
    window_.Bind(kRegisterSearch, values::RefString(search_, kSearchSize));
    window_.Bind(kRegisterTotal, values::RefLong(total_));
  }

  uint8_t Init() override {
    if (uint8_t level = BeginInit("tab2", kRegisterList)) return level;
    // Other stations change the register too: coming back to the list
    // refills it and counts again.
    ResetOnGainFocus = 1;
    JoinToolbar();
    AddItem(kRegisterClose, Request == framework::SelectRecord ? framework::RequestCancelled
                                                               : framework::RequestCompleted);
    OpenRegister();
    Open(window_);
    browse_.Setup(queue_, view_, *this);
    FollowResizes();
    thumb_.Init(framework::StepFlag::Letters, framework::StepMode::Runtime);
    browse_.AddSortOrder(&thumb_, kByName);
    std::span<char> record = Access_ZUN->Buffer;
    locator_.Init(kRegisterSearch, FioOf(record), 1, browse_);
    browse_.AddLocator(locator_);
    row_.AddFields(browse_, record);
    browse_.AskProcedure = 1;
    browse_.AddToolbarTarget(toolbar_);
    SetAlerts();
    return Level::Benign;
  }


  using WindowManager::Run;
  // The one update procedure, the record form, on this thread.
  uint8_t Run(uint16_t Number, uint8_t request) override {
    const uint8_t response = WindowManager::Run(Number, request);
    if (Request == framework::ViewRecord) return response;
    GlobalRequest = request;
    UpdateZun();
    return GlobalResponse;
  }

 private:
  int32_t total_ = 0;  // "Итого:"
  char search_[kSearchSize] = {};
  NameDateRow row_{};
  window::Window window_;
  datfile::View view_{ZUN()};
  framework::ListQueue queue_;
  RegisterBrowse browse_;
  framework::StepStringClass thumb_;
  framework::IncrementalLocatorClass locator_;
};

}  // namespace

window::WindowDefinition RegisterListDefinition() {
  namespace Type = window::ControlType;
  window::WindowDefinition list = ChildWindow("Ввод-просмотр-корректировка", 216, 188);
  list.controls = {
      BrowseList("127L|M~ФИО~@s30@15R(1)|M~День рождения~C(0)@D6@", 12, 36, 192, 104, kRegisterTab),
      Control(Type::Button, "?Select:2", "&Выбор", 12, 144, 45, 14, kRegisterTab),
      Control(Type::Button, "?Insert:3", "&Добавить", 60, 144, 45, 14, kRegisterTab),
      Control(Type::Button, "?Change:3", "&Изменить", 108, 144, 45, 14, kRegisterTab),
      Control(Type::Button, "?Delete:3", "&Удалить", 156, 144, 48, 14, kRegisterTab),
      Control(Type::Sheet, "?CurrentTab", "", 4, 4, 208, 160),
      Control(Type::Tab, "?Tab:2", "Список", 4, 4, 208, 160, kRegisterSheet),
      Control(Type::Entry, "?FFF", "", 104, 20, 100, 11, kRegisterTab, "@s20"),
      Control(Type::String, "?String1", "Поиск по фамилии:", 12, 21, 90, 10, kRegisterTab),
      Control(Type::Button, "?Close", "Закрыть", 162, 170, 50, 14),
      Control(Type::String, "?TOT", "", 36, 172, 40, 10),
      Control(Type::String, "?String2", "Итого:", 8, 172, 28, 10),
  };
  return list;
}

void tab2() {
  ThisWindow manager;
  GlobalResponse = manager.Run();
}

}  // namespace zuna::app
