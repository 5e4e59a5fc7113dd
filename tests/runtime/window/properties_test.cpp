// Properties by number, bound variables (display, update, accepted
// entries), list boxes, sheets and the accept-all pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "runtime/window/list_format.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::window {
namespace {

using testing::ChildDefinition;
using testing::PeopleRows;
using values::W;

TEST(PropertyNumbers, AsTheFrameworkNamesThem) {
  struct Row {
    int32_t number;
    int32_t expected;
  };
  const Row rows[] = {
      {PROP::Text, 0x7C00},      {PROP::Type, 0x7C01},       {PROP::Xpos, 0x7C02},
      {PROP::Ypos, 0x7C03},      {PROP::Width, 0x7C04},      {PROP::Height, 0x7C05},
      {PROP::Parent, 0x7A07},    {PROP::Use, 0x7A10},        {PROP::InToolBar, 0x7A19},
      {PROP::NoWidth, 0x7A40},   {PROP::YOrigin, 0x7A44},    {PROP::ClientWidth, 0x7A4F},
      {PROP::ClientHeight, 0x7A50}, {PROP::MouseDownRow, 0x7C20},
      {PROP::MouseDownZone, 0x7C26}, {PROP::Default, 0x7C5E}, {PROP::Drop, 0x7C60},
      {PROP::Full, 0x7C63},      {PROP::Iconize, 0x7C69},    {PROP::Imm, 0x7C6A},
      {PROP::Maximize, 0x7C6F},  {PROP::VScroll, 0x7C8B},    {PROP::Items, 0x7C8E},
      {PROP::Selected, 0x7C8F},  {PROP::VScrollPos, 0x7C9E}, {PROP::Tip, 0x7CA0},
      {PROP::MinWidth, 0x7CAD},  {PROP::MinHeight, 0x7CAE},  {PROP::MaxWidth, 0x7CAF},
      {PROP::MaxHeight, 0x7CB0}, {PROP::DeferMove, 0x7CBD},  {PROP::NextField, 0x7D0B},
  };
  for (const Row& row : rows) EXPECT_EQ(row.number, row.expected);
  // The engine's own numbers must not collide with the framework's.
  const int32_t own[] = {PROP::Disable, PROP::Hide,    PROP::Visible, PROP::Icon,
                         PROP::AcceptAll, PROP::Msg,   PROP::Picture, PROP::Format,
                         PROP::Label,   PROP::Focus,   PROP::Thread,  PROP::Active};
  for (int32_t number : own) {
    for (const Row& row : rows) EXPECT_NE(number, row.expected);
  }
  EXPECT_EQ(ControlType::Button, 9);
  EXPECT_EQ(ControlType::Check, 12);
  EXPECT_EQ(ControlType::Radio, 21);
  EXPECT_EQ(ControlType::Sheet, 37);
  EXPECT_EQ(SystemIconNumber(ICON::Exclamation), 32515);
  EXPECT_EQ(SystemIconNumber(ICON::Information), 32516);
  EXPECT_EQ(SystemIconNumber("FRAME.ICO"), 0);
}

TEST(Constants, SystemIconNamesAreTheReverseOfTheirNumbers) {
  EXPECT_EQ(SystemIconName(32515), ICON::Exclamation);
  EXPECT_EQ(SystemIconName(32516), ICON::Information);
  EXPECT_EQ(SystemIconName(32513), ICON::Hand);
  EXPECT_EQ(SystemIconName(0), ICON::None);
  EXPECT_EQ(SystemIconName(-1), ICON::None);
  EXPECT_EQ(SystemIconName(0x10000), ICON::None);
  for (int32_t number : {1, 255, 256, 0x7F02, 0xFFFF}) {
    EXPECT_EQ(SystemIconNumber(SystemIconName(number)), number);
  }
}

TEST(ListFormat, TheRegisterListsColumns) {
  std::vector<ListColumn> columns =
      ParseListFormat(W("154L|M~ФИО~@s30@80R(1)|M~День рождения~C(0)@D6@"));
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].width, 154);
  EXPECT_EQ(columns[0].align, 'L');
  EXPECT_TRUE(columns[0].right_border);
  EXPECT_TRUE(columns[0].resizable);
  EXPECT_EQ(columns[0].header, W("ФИО"));
  EXPECT_EQ(columns[0].header_align, 0);
  EXPECT_EQ(columns[0].picture, "@s30");
  EXPECT_EQ(columns[1].width, 80);
  EXPECT_EQ(columns[1].align, 'R');
  EXPECT_EQ(columns[1].offset, 1);
  EXPECT_TRUE(columns[1].right_border);
  EXPECT_TRUE(columns[1].resizable);
  EXPECT_EQ(columns[1].header, W("День рождения"));
  EXPECT_EQ(columns[1].header_align, 'C');
  EXPECT_EQ(columns[1].header_offset, 0);
  EXPECT_EQ(columns[1].picture, "@D6");

  std::vector<ListColumn> narrow =
      ParseListFormat(W("127L|M~ФИО~@s30@15R(1)|M~День рождения~C(0)@D6@"));
  ASSERT_EQ(narrow.size(), 2u);
  EXPECT_EQ(narrow[0].width, 127);
  EXPECT_EQ(narrow[1].width, 15);
  // A malformed tail keeps the columns before it.
  EXPECT_EQ(ParseListFormat("40L~A~@s5@xyz").size(), 1u);
  EXPECT_TRUE(ParseListFormat("").empty());
}

class Bound : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(fff_, ' ', sizeof fff_);
    people_.people = {{W("Иванов Иван"), values::DATE(3, 5, 2009)},
                      {W("Петров Пётр"), values::DATE(12, 31, 1999)}};
  }

  // Runs a window on thread 1 until it is closed.
  void RunWindow(WindowKind kind = WindowKind::kModal) {
    screen_.RunMain([this, kind] {
      Window window(ChildDefinition(kind));
      window.Bind(5, values::RefString(fff_, sizeof fff_));
      window.Bind(6, values::RefLong(date_));
      window.Bind(7, values::RefLong(total_));
      window.BindList(1, &people_);
      ASSERT_TRUE(window.Open());
      window_ = &window;
      id_ = window.Id();
      while (ACCEPT(window)) {
        events_.push_back(EVENT());
        fields_.push_back(FIELD());
        if (reaction_) reaction_(window);
        if (ACCEPTED() == 8) POST(EVENT::CloseWindow);
      }
    });
    ASSERT_TRUE(screen_.Settle());
  }

  char fff_[20];
  int32_t date_ = values::DATE(3, 5, 2009);
  int32_t total_ = 2;
  PeopleRows people_;
  Window* window_ = nullptr;
  int32_t id_ = 0;
  std::vector<int32_t> events_;
  std::vector<int32_t> fields_;
  std::function<void(Window&)> reaction_;
  // Last: its destructor ends the procedure, which uses the members above.
  HeadlessEngine screen_;
};

TEST_F(Bound, OpeningShowsTheVariablesAndTheRows) {
  RunWindow();
  EXPECT_EQ(screen_.Text(id_, 6), " 5/03/2009");
  EXPECT_EQ(screen_.Text(id_, 7), "     2");
  EXPECT_EQ(screen_.Text(id_, 5), std::string(20, ' '));
  ListRows rows = screen_.Rows(id_, 1);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], W("Иванов Иван") + std::string(19, ' '));
  EXPECT_EQ(rows[1][1], "31/12/1999");
  EXPECT_EQ(screen_.Prop(id_, 0, PROP::Text), W("Список"));
  EXPECT_EQ(screen_.Prop(id_, 1, PROP::Msg), "Browsing Records");
}

TEST_F(Bound, ControlPropertiesReadBack) {
  RunWindow();
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::Type), ControlType::List);
  EXPECT_EQ(screen_.PropLong(id_, 8, PROP::Type), ControlType::Button);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::Xpos), 4);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::Height), 88);
  // 88 units: a header line and ten rows of 8.
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::Items), 10);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::Imm), 1);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::VScroll), 1);
  EXPECT_EQ(screen_.PropLong(id_, 9, PROP::Default), 1);
  EXPECT_EQ(screen_.PropLong(id_, 8, PROP::Default), 0);
  EXPECT_EQ(screen_.Prop(id_, 8, PROP::Label), "?Close");
  EXPECT_EQ(screen_.ControlNumber(id_, "?FFF"), 5);
}

TEST_F(Bound, TheProgramSetsPropertiesOnItsOwnThread) {
  reaction_ = [](Window& window) {
    if (EVENT() != 0x400) return;
    window.SetProp(8, PROP::Text, W("Выход"));
    window.Disable(9);
    window.Hide(4);
    window.SetProp(0, PROP::MinWidth, 216);
    window.SetProp(1, PROP::Selected, 2);
    window.SetProp(1, PROP::VScrollPos, 40);
    window.SetProp(8, PROP::Tip, "Go to the Next Record");
    window.SetProp(0x7E00, PROP::Text, "ignored");  // no such control
    window.SetProp(5, 0x7123, "free text");
    window.SetProp(8, PROP::Type, "1");  // read-only
    EXPECT_EQ(window.PropLong(0, PROP::MinWidth), 216);
    EXPECT_EQ(window.Choice(1), 2);
    EXPECT_EQ(window.Prop(5, 0x7123), "free text");
    EXPECT_EQ(window.Prop(5, PROP::Use), "FFF");
    EXPECT_EQ(window.PropLong(5, PROP::Parent), 3);
    EXPECT_EQ(window.PropLong(5, PROP::NextField), 6);
    EXPECT_EQ(window.PropLong(9, PROP::NextField), 0);
  };
  RunWindow();
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.Text(id_, 8), W("Выход"));
  EXPECT_EQ(screen_.PropLong(id_, 9, PROP::Disable), 1);
  EXPECT_EQ(screen_.PropLong(id_, 4, PROP::Hide), 1);
  EXPECT_EQ(screen_.PropLong(id_, 4, PROP::Visible), 0);
  EXPECT_EQ(screen_.PropLong(id_, 5, PROP::Visible), 1);
  EXPECT_EQ(screen_.PropLong(id_, 8, PROP::Type), ControlType::Button);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::VScrollPos), 40);
  EXPECT_EQ(screen_.Prop(id_, 8, PROP::Tip), "Go to the Next Record");
  // The transcript shows what reached the screen.
  std::vector<std::string> transcript = screen_.Transcript();
  EXPECT_NE(std::find(transcript.begin(), transcript.end(),
                      "text " + std::to_string(id_) + " 8 \"" + W("Выход") + "\""),
            transcript.end());
}

TEST_F(Bound, ControlsOnAnUnselectedTabAreNotVisible) {
  RunWindow();
  // One tab: its controls show.
  EXPECT_EQ(screen_.PropLong(id_, 5, PROP::Visible), 1);
  screen_.SelectTab(id_, 2, 2);  // a tab the sheet does not have
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.PropLong(id_, 5, PROP::Visible), 0);
  EXPECT_EQ(screen_.PropLong(id_, 6, PROP::Visible), 1);  // not on the sheet
  EXPECT_EQ(events_.back(), EVENT::NewSelection);
  EXPECT_EQ(fields_.back(), 2);
}

TEST_F(Bound, AnAcceptedEntryUpdatesItsVariableFirst) {
  std::string seen_in_handler;
  reaction_ = [&](Window&) {
    if (ACCEPTED() == 5) seen_in_handler.assign(fff_, sizeof fff_);
  };
  RunWindow();
  screen_.Type(id_, 5, W("Ива"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(seen_in_handler, W("Ива") + std::string(17, ' '));
  // Shown again in its picture's form.
  EXPECT_EQ(screen_.Text(id_, 5), W("Ива") + std::string(17, ' '));
}

TEST_F(Bound, AnInvalidDateIsRejectedAndLeavesTheVariable) {
  RunWindow();
  int32_t before = date_;
  screen_.Type(id_, 6, "31/02/2009");
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(events_.back(), EVENT::Rejected);
  EXPECT_EQ(fields_.back(), 6);
  EXPECT_EQ(date_, before);
  EXPECT_EQ(screen_.Text(id_, 6), "31/02/2009");  // left for the user to mend

  screen_.Type(id_, 6, "1/3/09");  // two-digit year, no leading zeros
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(events_.back(), EVENT::Accepted);
  EXPECT_EQ(date_, values::DATE(3, 1, 2009));
  EXPECT_EQ(screen_.Text(id_, 6), " 1/03/2009");

  screen_.Type(id_, 6, "");  // a blank date is valid: no date
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(events_.back(), EVENT::Accepted);
  EXPECT_EQ(date_, 0);
}

TEST_F(Bound, ChangedVariablesAreRedisplayedByAccept) {
  reaction_ = [&](Window&) {
    if (EVENT() == 0x400) total_ = 17;
  };
  RunWindow();
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.Text(id_, 7), "    17");
}

TEST_F(Bound, TypingInProgressSurvivesRedisplay) {
  RunWindow();
  screen_.Edit(id_, 5, W("Пет"));
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.Text(id_, 5), W("Пет"));
  EXPECT_EQ(std::string(fff_, 3), "   ");  // not taken until accepted
}

TEST_F(Bound, UpdateTakesTheScreenTextOnRequest) {
  bool updated = false;
  reaction_ = [&](Window& window) {
    if (EVENT() == 0x400) updated = window.Update(5);
  };
  RunWindow();
  screen_.Edit(id_, 5, W("Сид"));
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_TRUE(updated);
  EXPECT_EQ(std::string(fff_, 3), W("Сид"));
}

TEST_F(Bound, DisplayOfAListTakesFreshRows) {
  reaction_ = [&](Window& window) {
    if (EVENT() != 0x400) return;
    people_.people.push_back({W("Сидоров"), values::DATE(1, 1, 2001)});
    window.Display(1);
  };
  RunWindow();
  EXPECT_EQ(screen_.Rows(id_, 1).size(), 2u);
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  ASSERT_EQ(screen_.Rows(id_, 1).size(), 3u);
  EXPECT_EQ(screen_.Rows(id_, 1)[2][1], " 1/01/2001");
}

TEST_F(Bound, TheAcceptAllPassVisitsEveryEntryThenCompletes) {
  reaction_ = [&](Window& window) {
    if (EVENT() == 0x400) {
      window.AcceptAll();
      EXPECT_TRUE(window.IsAcceptAll());
      EXPECT_EQ(window.Prop(0, PROP::AcceptAll), "1");
    }
  };
  RunWindow();
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  std::vector<std::string> names = screen_.EventsOf(id_);
  std::vector<std::string> tail(names.end() - 3, names.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Accepted(5)", "Accepted(6)", "Completed"}));
  EXPECT_EQ(screen_.Prop(id_, 0, PROP::AcceptAll), "0");
}

TEST_F(Bound, AnInvalidEntryStopsTheAcceptAllPass) {
  reaction_ = [&](Window& window) {
    if (EVENT() == 0x400) window.AcceptAll();
  };
  RunWindow();
  screen_.Edit(id_, 6, "12/13/2009");
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  std::vector<std::string> names = screen_.EventsOf(id_);
  EXPECT_EQ(names.back(), "Rejected(6)");
  EXPECT_EQ(screen_.Prop(id_, 0, PROP::AcceptAll), "0");
}

TEST_F(Bound, ListSelectionKeepsTheChoiceShown) {
  for (int i = 0; i < 30; ++i) people_.people.push_back({"X", 0});
  reaction_ = [&](Window& window) {
    if (EVENT() == 0x400) window.SetProp(1, PROP::Selected, 25);
  };
  RunWindow();
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::Selected), 25);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::YOrigin), 16);  // rows 16-25 of 10 lines
  screen_.SelectRow(id_, 1, 3);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::YOrigin), 3);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::MouseDownRow), 3);
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::MouseDownZone), ListZone::Row);
}

TEST_F(Bound, SetUseRebindsAnEntry) {
  char shadow[40];
  std::memset(shadow, ' ', sizeof shadow);
  std::memcpy(shadow, "ABC", 3);
  reaction_ = [&](Window& window) {
    if (EVENT() != 0x400) return;
    window.SetUse(5, values::RefString(shadow, sizeof shadow), "Shadow", "@s40");
    window.Display(5);
  };
  RunWindow();
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.Text(id_, 5), "ABC" + std::string(37, ' '));
  EXPECT_EQ(screen_.View(id_)->controls[4].props.at(PROP::Picture), "@s40");
  screen_.Type(id_, 5, "XY");
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(std::string(shadow, 2), "XY");
}

}  // namespace
}  // namespace zuna::window
