#include "app/main_frame.h"

#include "app/globals.h"
#include "app/register_procedure.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "runtime/values/code_page.h"

namespace zuna::app {
namespace {

namespace Level = framework::Level;
using values::W;

class ThisWindow final : public RegisterProcedure {
 public:
  ThisWindow(window::Window& frame, const MainFrameLists& lists)
      : frame_(frame), lists_(lists) {}

  uint8_t Init() override {
    if (uint8_t level = BeginInit("Main", 1)) return level;
    JoinToolbar();
    Open(frame_);
    SetAlerts();
    return Level::Benign;
  }


  uint8_t TakeAccepted() override {
    switch (window::ACCEPTED()) {
      case kItemUpcoming:
        Start(lists_.upcoming);
        break;
      case kItemRegister:
        Start(lists_.register_list);
        break;
      default:
        break;
    }
    return WindowManager::TakeAccepted();
  }

 private:
  static void Start(const std::function<void()>& list) {
    if (list) window::START(list, kListStackSize);
  }

  window::Window& frame_;
  const MainFrameLists& lists_;
};

window::MenuDefinition Menu(const char* text, const char* label, const char* msg,
                            window::MenuAction action = window::MenuAction::kNone) {
  return window::MenuDefinition{.parent = 0, .is_menu = true, .text = W(text),
                                .label = label, .msg = W(msg), .action = action};
}

window::MenuDefinition Item(int32_t parent, const char* text, const char* label,
                            const char* msg,
                            window::MenuAction action = window::MenuAction::kNone) {
  return window::MenuDefinition{.parent = parent, .text = W(text), .label = label,
                                .msg = W(msg), .action = action};
}

}  // namespace

window::WindowDefinition MainFrameDefinition(const std::string& backdrop,
                                             const std::string& icon) {
  window::WindowDefinition frame;
  frame.name = "AppFrame";
  frame.kind = window::WindowKind::kApplication;
  frame.title = W("Дни рождения");
  frame.width = 327;
  frame.height = 266;
  frame.icon = icon;
  frame.wallpaper = backdrop;
  frame.menus = {
      Menu("&День рождения в ближайшие  7 дней", "?D7", ""),
      Item(kMenuUpcoming, "Просмотр", "?CUT", "Remove item to Windows Clipboard"),
      Item(kMenuUpcoming, "Выход", "?7", "", window::MenuAction::kClose),
      Menu("          &Ввод-редактирование", "?WINDOWMENU", "Create and Arrange windows",
           window::MenuAction::kWindowList),
      Item(kMenuWindows, "Ввод-просмотр-редактирование", "?TILE",
           "Make all open windows visible"),
  };
  return frame;
}

void Main(const MainFrameLists& lists, const std::string& backdrop, const std::string& icon) {
  window::Window frame(MainFrameDefinition(backdrop, icon));
  ThisWindow manager(frame, lists);
  GlobalResponse = manager.Run();
}

}  // namespace zuna::app
