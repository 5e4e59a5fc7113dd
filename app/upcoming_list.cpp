#include "app/upcoming_list.h"

#include <span>

#include "app/counting_browse.h"
#include "app/globals.h"
#include "app/register_procedure.h"
#include "app/upcoming_filter.h"
#include "app/window_parts.h"
#include "app/zun_dictionary.h"
#include "app/zunabc0.h"
#include "framework/window/locators.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "framework/window/window_resizer.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/window/properties.h"

namespace zuna::app {
namespace {

namespace Level = framework::Level;
constexpr datfile::Key kByDate{kZunKeyIndex};

// The date values are refreshed whenever the list updates its window, so
// "Сегодня:" and the filter follow the calendar (a list left open over
// midnight).
class DateLocator final : public framework::IncrementalLocatorClass {
 public:
  explicit DateLocator(UpcomingDates& dates) : dates_(dates) {}
  void UpdateWindow() override {
    RefreshUpcomingDates(values::TODAY(), &dates_);
    IncrementalLocatorClass::UpdateWindow();
  }

 private:
  UpcomingDates& dates_;
};

class ThisWindow final : public RegisterProcedure {
 public:
  ThisWindow() : window_(UpcomingListDefinition()), queue_(row_.bytes()), browse_(total_) {
    row_.AddColumns(queue_);
    window_.BindList(kUpcomingList, &queue_);
    window_.Bind(kUpcomingToday, values::RefString(dates_.dd, sizeof dates_.dd));
    window_.Bind(kUpcomingTotal, values::RefLong(total_));
  }

  uint8_t Init() override {
    if (uint8_t level = BeginInit("tab1", kUpcomingList)) return level;
    // Other stations change the register too: coming back to the list
    // refills it and counts again.
    ResetOnGainFocus = 1;
    RefreshUpcomingDates(values::TODAY(), &dates_);
    BindUpcomingDates(dates_);
    JoinToolbar();
    AddItem(kUpcomingClose, Request == framework::SelectRecord ? framework::RequestCancelled
                                                               : framework::RequestCompleted);
    OpenRegister();
    Open(window_);
    FollowResizes();
    browse_.Init(kUpcomingList, queue_, view_, *Relate_ZUN, *this);
    browse_.FileLoaded = 1;
    browse_.AddSortOrder(nullptr, kByDate);
    std::span<char> record = Access_ZUN->Buffer;
    locator_.Init(0, DataOf(record), 1, browse_);
    browse_.AddLocator(locator_);
    browse_.SetFilter(kUpcomingFilter);
    row_.AddFields(browse_, record);
    browse_.AddToolbarTarget(toolbar_);
    SetAlerts();
    return Level::Benign;
  }


 private:
  UpcomingDates dates_{};
  int32_t total_ = 0;  // "Всего:"
  NameDateRow row_{};
  window::Window window_;
  datfile::View view_{ZUN()};
  framework::ListQueue queue_;
  CountingBrowse browse_;
  DateLocator locator_{dates_};
};

}  // namespace

window::WindowDefinition UpcomingListDefinition() {
  namespace Type = window::ControlType;
  window::WindowDefinition list = ChildWindow("День рождения в ближайшие 7 дней", 248, 188);
  list.controls = {
      BrowseList("154L|M~ФИО~@s30@80R(1)|M~День рождения~C(0)@D6@", 2, 36, 244, 124, kUpcomingTab),
      Control(Type::Sheet, "?CurrentTab", "", 0, 4, 248, 162),
      Control(Type::Tab, "?Tab:2", "", 0, 4, 248, 162, kUpcomingSheet),
      Control(Type::String, "?String1", "Сегодня:", 12, 22, 36, 10, kUpcomingTab),
      Control(Type::String, "?DD", "", 50, 22, 60, 10, kUpcomingTab),
      Control(Type::Button, "?Close", "Закрыть", 190, 170, 50, 14),
      Control(Type::String, "?String2", "Всего:", 8, 172, 30, 10),
      Control(Type::String, "?TT", "", 40, 172, 40, 10),
  };
  return list;
}

void tab1() {
  ThisWindow manager;
  GlobalResponse = manager.Run();
}

}  // namespace zuna::app
