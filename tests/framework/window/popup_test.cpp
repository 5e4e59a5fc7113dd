#include "framework/window/popup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/data/framework_host.h"
#include "framework/data/scripted_host.h"
#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "runtime/window/properties.h"

namespace zuna::framework {
namespace {

using values::W;
using window::ControlDefinition;
namespace ControlType = window::ControlType;
using window::EVENT;
using window::HeadlessEngine;
using window::MenuDefinition;
using window::Window;
using window::WindowDefinition;
using window::WindowKind;
namespace PROP = window::PROP;

// The window's controls.
constexpr int32_t kList = 1;
constexpr int32_t kInsert = 2;   // "&Добавить", icon "add.ico"
constexpr int32_t kChange = 3;   // "&Изменить"
constexpr int32_t kDelete = 4;   // "&Удалить"
constexpr int32_t kBlank = 5;    // a button without a caption
constexpr int32_t kEntry = 6;
constexpr int32_t kOpenItem = -2;  // menu item "Открыть"

// An event the test posts to make the procedure run a job on its thread.
constexpr int32_t kRunJob = 0x400;
// An event an entry posts instead of accepting.
constexpr int32_t kRefresh = 0x500;

WindowDefinition ButtonsDefinition() {
  WindowDefinition definition;
  definition.name = "POPUPTEST_RSC";
  definition.kind = WindowKind::kModal;
  definition.title = W("Список");
  definition.controls = {
      ControlDefinition{.type = ControlType::List, .label = "?List", .width = 100, .height = 60},
      ControlDefinition{.type = ControlType::Button, .label = "?Insert", .text = W("&Добавить"),
                        .icon = "add.ico"},
      ControlDefinition{.type = ControlType::Button, .label = "?Change", .text = W("&Изменить")},
      ControlDefinition{.type = ControlType::Button, .label = "?Delete", .text = W("&Удалить")},
      ControlDefinition{.type = ControlType::Button, .label = "?Blank"},
      ControlDefinition{.type = ControlType::Entry, .label = "?Entry"},
  };
  definition.menus = {
      MenuDefinition{.parent = 0, .is_menu = true, .text = W("&Файл"), .label = "?File"},
      MenuDefinition{.parent = -1, .text = W("Открыть"), .label = "?Open"},
  };
  return definition;
}

// One window with the popup's buttons on thread 1; jobs run on that thread
// inside its ACCEPT loop, as a browse uses its popup.
class PopupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(screen_.RunMain([this] {
      Window window(ButtonsDefinition());
      if (!window.Open()) return;
      popup_.Init();
      while (ACCEPT(window)) {
        if (window::EVENT() != kRunJob) continue;
        std::function<void(Window&)> job;
        {
          std::lock_guard lock(mu_);
          job = std::move(job_);
        }
        if (job) job(window);
      }
      popup_.Kill();
    }));
    ASSERT_TRUE(screen_.Settle());
    window_ = screen_.TopWindowOf(1);
  }

  void TearDown() override {
    screen_.CloseBox(window_);
    EXPECT_TRUE(screen_.Finish());
  }

  // Runs `job` on the popup's thread; returns when it is done or waits for
  // the user.
  void Run(std::function<void(Window&)> job) {
    {
      std::lock_guard lock(mu_);
      job_ = std::move(job);
    }
    screen_.Send(window_, kRunJob);
    ASSERT_TRUE(screen_.Settle());
  }

  std::string MenuText() {
    std::string text;
    Run([&](Window&) { text = popup_.GetMenuText(); });
    return text;
  }

  // Shows the popup; the answer comes from the script.
  void StartAsk() {
    Run([this](Window&) {
      std::string chosen = popup_.Ask();
      std::lock_guard lock(mu_);
      asked_ = std::move(chosen);
    });
    ASSERT_EQ(screen_.Questions().size(), 1u);
  }

  std::string Asked() {
    std::lock_guard lock(mu_);
    return asked_;
  }

  // The field events the window received, without the jobs.
  std::vector<std::string> FieldEvents() const {
    std::vector<std::string> events;
    for (const std::string& event : screen_.EventsOf(window_)) {
      if (event.find('(') != std::string::npos) events.push_back(event);
    }
    return events;
  }

  ScriptedHost host_;
  ScopedHost installed_{host_};
  PopupClass popup_;
  std::mutex mu_;
  std::function<void(Window&)> job_;
  std::string asked_;
  HeadlessEngine screen_;  // last: its threads use everything above
  int32_t window_ = 0;
};

// --- The menu text. ---

TEST_F(PopupTest, MenuTextFollowsTheEntries) {
  struct Case {
    const char* what;
    std::function<void(PopupClass&)> build;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"plain entries and a separator",
       [](PopupClass& p) {
         p.AddItem(W("&Добавить"));
         p.AddItem("-");
         p.AddItem(W("Закрыть"));
       },
       W("&Добавить|-|Закрыть")},
      {"a submenu between entries",
       [](PopupClass& p) {
         p.AddItem("A");
         p.AddSubMenu(W("Сортировка"), W("По имени|По дате"));
         p.AddItem("Z");
       },
       W("A|Сортировка{По имени|По дате}Z")},
      {"two levels closed at once",
       [](PopupClass& p) { p.AddMenu("a{b{c}}d", 0); },
       "a{b{c}}d"},
      {"an entry deeper than the next level joins the submenu being opened",
       [](PopupClass& p) {
         p.AddItem("a");
         p.AddItem("b", "b", "", 3);
         p.AddItem("c", "c", "", 1);
       },
       "a{b}c"},
      {"check marks read back from a definition and set by name",
       [](PopupClass& p) {
         p.AddMenu(W("+Один|-Два|Три"), 0);
         p.SetItemCheck("12", 1);  // all-Cyrillic texts: "", "1", "12"
         p.SetItemCheck("", 0);
       },
       W("Один|-Два|+Три")},
      {"disabled and re-enabled entries; a separator stays one",
       [](PopupClass& p) {
         p.AddMenu("a|~b|-|c", 0);
         p.SetItemEnable("a", false);
         p.SetItemEnable("b", true);
         p.SetItemEnable("Separator", false);
       },
       "~a|b|-|c"},
      {"one icon gives every entry an attribute block",
       [](PopupClass& p) {
         p.AddMenu("a|-|b", 0);
         p.SetIcon("b", "b.ico");
       },
       "[]a|-|[b.ico]b"},
      {"texts that would read as marks or structure stay texts",
       [](PopupClass& p) {
         p.AddItem("+5", "plus");
         p.AddItem("~x", "tilde");
         p.AddItem("a|b{c}", "bars");
         p.AddItem("", "empty");
         p.AddItem("-x", "dash");
       },
       "[]+5|[]~x|abc|[]|[]-x"},
      {"AddItem after an entry goes after its submenu",
       [](PopupClass& p) {
         p.AddMenu("a{b|c}d", 0);
         p.AddItem("x", "x", "a", 0);
         p.AddItem("y", "y", "a", 2);
       },
       "a{y|b|c}x|d"},
      {"deleting a submenu header removes its submenu",
       [](PopupClass& p) {
         p.AddMenu("a{b|c}d", 0);
         p.DeleteItem("a");
       },
       "d"},
      {"AddMenu at a position and AddSubMenu after an entry",
       [](PopupClass& p) {
         p.AddMenu("a|d", 0);
         p.AddMenu("b|c", 2);
         p.AddSubMenu("s", "t", "b");
       },
       "a|b|s{t}c|d"},
      {"the translator sees every text but separators",
       [](PopupClass& p) {
         p.Translator = [](std::string_view text) { return "<" + std::string(text) + ">"; };
         p.AddMenu("a|-|b{c}", 0);
       },
       "<a>|-|<b>{<c>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text;
    Run([&](Window&) {
      popup_.Init();
      popup_.Translator = nullptr;
      c.build(popup_);
      text = popup_.GetMenuText();
    });
    EXPECT_EQ(text, c.expected);
  }
  EXPECT_TRUE(host_.Assertions().empty());
}

// An entry that mimics a button takes its caption, icon, enabled and hidden
// state as they are when the menu is built.
TEST_F(PopupTest, MimickingEntriesMirrorTheirButtons) {
  struct Case {
    const char* what;
    std::function<void(Window&)> change;  // to the window, before the menu
    int32_t button;
    std::string text;
    std::function<void(PopupClass&, const std::string&)> adjust;
    std::string expected;
  };
  auto none = [](Window&) {};
  auto as_is = [](PopupClass&, const std::string&) {};
  const std::vector<Case> cases = {
      {"'!' takes the caption", none, kChange, W("!Другое"), as_is, W("Конец|&Изменить")},
      {"an empty text takes the caption", none, kChange, "", as_is, W("Конец|&Изменить")},
      {"another text stays", none, kChange, W("Своё"), as_is, W("Конец|Своё")},
      {"no caption: the text after '!'", none, kBlank, W("!&Резерв"), as_is,
       W("Конец|&Резерв")},
      {"a disabled button gives a disabled entry",
       [](Window& w) { w.Disable(kChange); }, kChange, W("!x"), as_is, W("Конец|~&Изменить")},
      {"an entry enabled on its own ignores its button",
       [](Window& w) { w.Disable(kChange); }, kChange, W("!x"),
       [](PopupClass& p, const std::string& name) { p.SetItemEnable(name, true); },
       W("Конец|&Изменить")},
      {"an entry disabled on its own stays so",
       none, kChange, W("!x"),
       [](PopupClass& p, const std::string& name) { p.SetItemEnable(name, false); },
       W("Конец|~&Изменить")},
      {"a hidden button gives no entry", [](Window& w) { w.Hide(kChange); }, kChange, "!x",
       as_is, W("Конец")},
      {"the button's icon", none, kInsert, "!x", as_is, W("[]Конец|[add.ico]&Добавить")},
      {"the entry's own icon first", none, kInsert, "!x",
       [](PopupClass& p, const std::string& name) { p.SetIcon(name, "mine.ico"); },
       W("[]Конец|[mine.ico]&Добавить")},
      {"the caption as it is now",
       [](Window& w) { w.SetProp(kChange, PROP::Text, W("Прав&ка")); }, kChange, "!x", as_is,
       W("Конец|Прав&ка")},
      {"a menu item", none, kOpenItem, "", as_is, W("Конец|Открыть")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text;
    Run([&](Window& window) {
      for (int32_t button : {kInsert, kChange}) {
        window.Enable(button);
        window.Unhide(button);
      }
      window.SetProp(kChange, PROP::Text, W("&Изменить"));
      c.change(window);
      popup_.Init();
      popup_.AddItem(W("Конец"), "End");
      std::string name = popup_.AddItemMimic(c.text, c.button, "Mimic");
      c.adjust(popup_, name);
      text = popup_.GetMenuText();
    });
    EXPECT_EQ(text, c.expected);
  }
  EXPECT_TRUE(host_.Assertions().empty());
}

// Entries that mimic buttons without being given names: one entry each,
// whatever name their text reduces to.
TEST_F(PopupTest, UnnamedMimickingEntriesAreOneEntryEach) {
  std::string text;
  Run([&](Window& window) {
    window.Enable(kChange);
    window.SetProp(kChange, PROP::Text, W("&Изменить"));
    popup_.Init();
    popup_.AddItemMimic(W("!&Добавить"), kInsert);
    popup_.AddItemMimic(W("!&Изменить"), kChange);
    text = popup_.GetMenuText();
  });
  EXPECT_EQ(text, W("[add.ico]&Добавить|[]&Изменить"));
  EXPECT_TRUE(host_.Assertions().empty());
}

// --- Choosing. ---

// The browse's three edit entries, then a separator and an entry that
// posts an event of its own.
void AddBrowseEntries(PopupClass& popup) {
  popup.AddItemMimic(W("!&Добавить"), kInsert, W("&Добавить"));
  popup.AddItemMimic(W("!&Изменить"), kChange, W("&Изменить"));
  popup.AddItemMimic(W("!&Удалить"), kDelete, W("&Удалить"));
  popup.AddItem("-");
  popup.AddItemEvent("Refresh", kRefresh, kList);
}

TEST_F(PopupTest, ChoosingAnEntryPostsItsButtonsAccept) {
  Run([this](Window&) { AddBrowseEntries(popup_); });

  StartAsk();
  ASSERT_TRUE(screen_.AnswerPopup(W("&Изменить")));
  ASSERT_TRUE(screen_.Settle());
  // All-Cyrillic names reduce to nothing: "", then "1", "12".
  EXPECT_EQ(Asked(), "1");
  EXPECT_EQ(popup_.GetLastSelection(), "1");
  EXPECT_EQ(popup_.LastNumberSelection, 2);
  EXPECT_EQ(FieldEvents(), (std::vector<std::string>{"Accepted(3)"}));

  StartAsk();
  ASSERT_TRUE(screen_.AnswerPopup("Refresh"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Asked(), "Refresh");
  EXPECT_EQ(popup_.LastNumberSelection, 4);  // the separator is no line
  EXPECT_EQ(FieldEvents(), (std::vector<std::string>{"Accepted(3)", "Event500h(1)"}));
}

TEST_F(PopupTest, ADisabledButtonCannotBeChosenUntilEnabledAgain) {
  Run([this](Window& window) {
    AddBrowseEntries(popup_);
    window.Disable(kDelete);
  });
  StartAsk();
  EXPECT_FALSE(screen_.AnswerPopup(W("&Удалить")));
  ASSERT_TRUE(screen_.Answer(0));  // dismissed
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Asked(), "");

  // A line the menu showed disabled, answered by number all the same.
  StartAsk();
  ASSERT_TRUE(screen_.Answer(3));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Asked(), "");
  EXPECT_EQ(popup_.LastNumberSelection, 0);
  EXPECT_TRUE(FieldEvents().empty());

  Run([](Window& window) { window.Enable(kDelete); });
  StartAsk();
  ASSERT_TRUE(screen_.AnswerPopup(W("&Удалить")));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Asked(), "12");
  EXPECT_EQ(FieldEvents(), (std::vector<std::string>{"Accepted(4)"}));
}

// A hidden button's entry is left out, so the lines after it move up: the
// line chosen must still name the entry that was shown there.
TEST_F(PopupTest, LinesAfterAHiddenEntryNameTheEntriesShown) {
  Run([this](Window& window) {
    AddBrowseEntries(popup_);
    window.Hide(kInsert);
  });
  StartAsk();
  std::vector<window::ModalRequest> asked = screen_.Questions();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, W("&Изменить|&Удалить|-|Refresh"));
  ASSERT_TRUE(screen_.AnswerPopup(W("&Удалить")));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Asked(), "12");
  EXPECT_EQ(popup_.LastNumberSelection, 2);
  EXPECT_EQ(popup_.GetName(1), "1");
  EXPECT_EQ(FieldEvents(), (std::vector<std::string>{"Accepted(4)"}));
}

TEST_F(PopupTest, DismissingReturnsNothingAndPostsNothing) {
  Run([this](Window&) {
    AddBrowseEntries(popup_);
    popup_.LastSelection = "before";
  });
  // The key that opened the menu (the Apps key) is spent by showing it.
  Run([this](Window&) {
    window::SETKEYCODE(0x5D);
    std::string chosen = popup_.Ask();
    std::string key = std::to_string(window::KEYCODE());
    std::lock_guard lock(mu_);
    asked_ = chosen + "|" + key;
  });
  ASSERT_EQ(screen_.Questions().size(), 1u);
  ASSERT_TRUE(screen_.Answer(0));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Asked(), "|0");
  EXPECT_EQ(popup_.GetLastSelection(), "");
  EXPECT_EQ(popup_.LastNumberSelection, 0);
  EXPECT_TRUE(FieldEvents().empty());
}

TEST_F(PopupTest, AnEntryInASubmenuIsChosenByItsLine) {
  Run([this](Window&) {
    popup_.AddItem(W("Первый"), "First");
    popup_.AddSubMenu(W("Сортировка"), W("По имени|+По дате"));
    popup_.AddItem(W("Последний"), "Last");
  });
  StartAsk();
  ASSERT_TRUE(screen_.AnswerPopup(W("По дате")));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(popup_.LastNumberSelection, 3);  // the header is no line
  EXPECT_EQ(Asked(), "12");  // all Cyrillic: "", "1", "12" 
  EXPECT_TRUE(FieldEvents().empty());        // no event, no control
}

// The menu text is never cut: a cut text would show other entries, or
// shift the lines under the user's choice.
TEST_F(PopupTest, AMenuLongerThanTenThousandCharactersIsShownWhole) {
  Run([this](Window&) {
    for (int i = 0; i < 400; ++i) {
      popup_.AddItemEvent("Entry" + std::to_string(i) + std::string(30, 'x'), kRefresh,
                          kList);
    }
  });
  StartAsk();
  ASSERT_GT(screen_.Questions()[0].text.size(), 10000u);
  ASSERT_TRUE(screen_.AnswerPopup("Entry399" + std::string(30, 'x')));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(popup_.LastNumberSelection, 400);
  EXPECT_EQ(Asked(), "Entry399" + std::string(30, 'x'));
}

TEST_F(PopupTest, AMenuWithNothingToChooseIsNotShown) {
  Run([this](Window& window) {
    popup_.AddItemMimic("!x", kChange, "Change");
    window.Hide(kChange);
    std::string chosen = popup_.Ask();
    std::lock_guard lock(mu_);
    asked_ = chosen + "|" + std::to_string(popup_.LastNumberSelection);
  });
  EXPECT_TRUE(screen_.Questions().empty());
  EXPECT_EQ(Asked(), "|0");
}

TEST_F(PopupTest, OnlyButtonsAndMenuItemsCanBeMimicked) {
  struct Case {
    int32_t control;
    bool accepted;
  };
  const Case cases[] = {{kInsert, true}, {kOpenItem, true}, {kEntry, false},
                        {kList, false},  {0, false},        {99, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    host_.Clear();
    std::string name;
    uint16_t items = 0;
    Run([&](Window&) {
      popup_.Init();
      name = popup_.AddItemMimic("!x", c.control, "Mimic");
      items = popup_.GetItems(0);
    });
    EXPECT_EQ(name, c.accepted ? "Mimic" : "");
    EXPECT_EQ(items, c.accepted ? 1 : 0);
    EXPECT_EQ(host_.Assertions().size(), c.accepted ? 0u : 1u);
  }
}

// --- Names and counts: no window needed. ---

TEST(PopupNames, UniqueNamesKeepLatinLettersDigitsAndUnderscore) {
  PopupClass popup;
  struct Case {
    std::string text;
    std::string name;
  };
  const Case cases[] = {
      {"Save &As...", "SaveAs"}, {"Save As", "SaveAs1"},   {"save_as", "save_as"},
      {"SaveAs", "SaveAs12"},    {W("&Добавить"), ""},     {W("&Изменить"), "1"},
      {W("Удалить"), "12"},      {"-", "Separator"},       {"-", "Separator1"},
      {W("Фильтр 2"), "2"},      {W("Печать"), "123"},     {"1", "11"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(popup.AddItem(c.text), c.name);
  }
  EXPECT_EQ(popup.GetItems(0), std::size(cases));
}

TEST(PopupNames, ANameWithABraceAddsNothing) {
  ScriptedHost host;
  ScopedHost installed(host);
  PopupClass popup;
  EXPECT_EQ(popup.AddItem("a", "x{"), "");
  EXPECT_EQ(popup.SetItem(0, 1, "}", "a"), "");
  EXPECT_EQ(popup.GetItems(0), 0);
  EXPECT_EQ(host.Assertions().size(), 2u);
  popup.AddMenu("", 0);
  EXPECT_EQ(host.Assertions().size(), 3u);
  EXPECT_EQ(popup.GetItems(0), 0);
}

TEST(PopupNames, LookupsByName) {
  PopupClass popup;
  popup.AddMenu("a|-|b{c|d}e", 0);
  EXPECT_EQ(popup.GetItems(0), 6);
  EXPECT_EQ(popup.GetItems(1), 3);  // a, b, e: not the separator, not c or d
  EXPECT_TRUE(popup.LocateName("d"));
  EXPECT_FALSE(popup.LocateName("z"));
  EXPECT_EQ(popup.AddItemEvent("d", kRefresh, 7), "d");  // the entry there
  EXPECT_EQ(popup.GetItems(0), 6);
  EXPECT_EQ(popup.AddItemEvent("new entry", kRefresh, 7), "newentry");
  EXPECT_EQ(popup.GetItems(0), 7);
  popup.DeleteItem("b");
  EXPECT_EQ(popup.GetItems(0), 4);
  EXPECT_FALSE(popup.LocateName("c"));
  const PopupItem& last = popup.PopupItems.back();
  EXPECT_EQ(last.Name, "newentry");
  EXPECT_EQ(last.Event, kRefresh);
  EXPECT_EQ(last.ControlID, 7);
  EXPECT_EQ(last.OnToolbox, 1);
  popup.SetItemEnable("Separator", true);
  popup.SetItemEnable("Separator", false);
  EXPECT_EQ(popup.PopupItems[1].Text, "-");
  EXPECT_EQ(popup.PopupItems[1].Disabled, kPopupFollowControl);
  popup.SetToolbox("newentry", false);
  EXPECT_EQ(popup.PopupItems.back().OnToolbox, 0);
  popup.Kill();
  EXPECT_EQ(popup.GetItems(0), 0);
  popup.Kill();
}

TEST(PopupNames, RemoveAmpersand) {
  const std::pair<std::string, std::string> cases[] = {
      {"&Add", "Add"}, {"Save && Exit", "Save & Exit"}, {"a&&&b", "a&b"},
      {"&", ""},       {"no marks", "no marks"},        {W("&Удалить"), W("Удалить")},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(PopupClass::RemoveAmpersand(text), expected);
  }
}

}  // namespace
}  // namespace zuna::framework
