#include "framework/window/window_resizer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "framework/data/assertion.h"
#include "framework/data/scripted_host.h"
#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"
#include "runtime/window/headless.h"

namespace zuna::framework {
namespace {

using values::W;
using window::ControlDefinition;
using window::EVENT;
using window::HeadlessEngine;
using window::Window;
using window::WindowDefinition;
using window::WindowKind;
namespace PROP = window::PROP;
namespace ControlType = window::ControlType;

// Controls of the test window (216 x 260).
enum : int32_t {
  kList = 1, kPrompt, kEntry, kText, kGroup, kCheck, kRadio, kString, kOk, kClose,
  kSheet, kTab, kOnTab, kCombo, kToolButton,
};

WindowDefinition FormDefinition(int32_t width = 216, int32_t height = 260) {
  using C = ControlDefinition;
  WindowDefinition form;
  form.name = "RESIZE_RSC";
  form.kind = WindowKind::kModal;
  form.title = W("Размеры");
  form.width = width;
  form.height = height;
  form.controls = {
      C{.type = ControlType::List, .label = "?List", .x = 4, .y = 4, .width = 200, .height = 80},
      C{.type = ControlType::Prompt, .label = "?Prompt", .x = 4, .y = 90, .width = 60, .height = 10},
      C{.type = ControlType::Entry, .label = "?Entry", .x = 70, .y = 90, .width = 80, .height = 10},
      C{.type = ControlType::Text, .label = "?Text", .x = 4, .y = 104, .width = 90, .height = 30},
      C{.type = ControlType::Group, .label = "?Group", .x = 100, .y = 104, .width = 110, .height = 50},
      C{.type = ControlType::Check, .label = "?Check", .x = 106, .y = 112, .width = 50, .height = 10},
      C{.type = ControlType::Radio, .label = "?Radio", .x = 106, .y = 126, .width = 50, .height = 10},
      C{.type = ControlType::String, .label = "?String", .x = 4, .y = 140, .width = 40, .height = 10},
      C{.type = ControlType::Button, .label = "?OK", .text = "OK", .x = 110, .y = 166,
        .width = 45, .height = 14},
      C{.type = ControlType::Button, .label = "?Close", .text = "Close", .x = 160, .y = 166,
        .width = 45, .height = 14},
      C{.type = ControlType::Sheet, .label = "?Sheet", .x = 4, .y = 186, .width = 200, .height = 60},
      C{.type = ControlType::Tab, .label = "?Tab", .text = "Tab", .parent = kSheet},
      C{.type = ControlType::Entry, .label = "?OnTab", .x = 10, .y = 204, .width = 80,
        .height = 10, .parent = kTab},
      C{.type = ControlType::Combo, .label = "?Combo", .x = 110, .y = 204, .width = 80, .height = 10,
        .parent = kTab},
      C{.type = ControlType::Button, .label = "?Tool", .x = 0, .y = 0, .width = 14, .height = 14},
  };
  return form;
}

PositionGroup RectOf(const Window& window, int32_t control) {
  return PositionGroup{window.PropLong(control, PROP::Xpos), window.PropLong(control, PROP::Ypos),
                       window.PropLong(control, PROP::Width),
                       window.PropLong(control, PROP::Height)};
}

std::string Show(const PositionGroup& r) {
  return std::to_string(r.XPos) + "," + std::to_string(r.YPos) + " " + std::to_string(r.Width) +
         "x" + std::to_string(r.Height);
}

// A window on the test thread with its resizer, and the part of the window
// manager's loop that concerns the resizer: a size report posts 3FFh.
class ResizerTest : public ::testing::Test {
 protected:
  void Open(WindowDefinition definition = FormDefinition()) {
    ASSERT_TRUE(screen_.engine().AttachMainThread());
    window_ = std::make_unique<Window>(std::move(definition));
    ASSERT_TRUE(window_->Open());
    if (window_->definition().controls.size() >= kToolButton) {
      window_->SetProp(kToolButton, PROP::InToolBar, 1);
    }
  }

  void Start(uint8_t strategy, uint8_t min_size = 0, uint8_t max_size = 0) {
    resizer_.Init(strategy, min_size, max_size);
    Pump();
  }

  // Runs the loop until every queued event is handled.
  void Pump() {
    while (screen_.View(window_->Id())->queued_events > 0) {
      ASSERT_TRUE(window::ACCEPT(*window_));
      if (window::EVENT() == EVENT::Sized) window::POST(kResizeEvent);
    }
  }

  void ResizeTo(int32_t width, int32_t height) {
    screen_.Resize(window_->Id(), width, height);
    Pump();
  }

  std::map<int32_t, PositionGroup> Rects() const {
    std::map<int32_t, PositionGroup> rects;
    for (int32_t c = 1; c <= static_cast<int32_t>(window_->definition().controls.size()); ++c) {
      rects[c] = RectOf(*window_, c);
    }
    return rects;
  }

  ScriptedHost host_;
  ScopedHost installed_{host_};
  HeadlessEngine screen_;
  std::unique_ptr<Window> window_;
  WindowResizeClass resizer_;
};

// Through several sizes and back: at each size every control is where it
// was the first time at that size, and at the first size exactly where it
// began, under every strategy.
class EveryStrategy : public ResizerTest, public ::testing::WithParamInterface<int> {};

TEST_P(EveryStrategy, SizesAndBackGiveEveryControlItsFirstRectangle) {
  Open();
  Start(static_cast<uint8_t>(GetParam()));
  const auto first = Rects();
  const std::vector<std::pair<int32_t, int32_t>> sizes = {
      {300, 320}, {180, 200}, {433, 519}, {251, 263}, {300, 320}, {217, 261}, {640, 480}};
  std::map<std::pair<int32_t, int32_t>, std::map<int32_t, PositionGroup>> seen;
  bool anything_moved = false;
  for (const auto& size : sizes) {
    ResizeTo(size.first, size.second);
    auto now = Rects();
    anything_moved = anything_moved || now != first;
    auto [it, is_new] = seen.emplace(size, now);
    if (!is_new) {
      for (const auto& [control, rect] : it->second) {
        EXPECT_EQ(Show(now[control]), Show(rect)) << "control " << control << " at "
                                                  << size.first << "x" << size.second;
      }
    }
  }
  ResizeTo(216, 260);
  for (const auto& [control, rect] : first) {
    EXPECT_EQ(Show(RectOf(*window_, control)), Show(rect)) << "control " << control;
  }
  // Strategy 3 leaves everything in place; every other one moves something.
  EXPECT_EQ(anything_moved, GetParam() != 3);
  EXPECT_EQ(resizer_.ResizeCalled, 1);
}

INSTANTIATE_TEST_SUITE_P(WindowResizer, EveryStrategy, ::testing::Values(1, 2, 3, 4, 5));

TEST_F(ResizerTest, TabsMenusAndToolbarControlsAreNotQueued) {
  Open();
  Start(2);
  std::vector<int32_t> queued;
  for (const ResizeControl& row : resizer_.ControlQueue) queued.push_back(row.ID);
  EXPECT_EQ(queued, (std::vector<int32_t>{kList, kPrompt, kEntry, kText, kGroup, kCheck, kRadio,
                                          kString, kOk, kClose, kSheet, kOnTab, kCombo}));
}

// Under strategies 2 and 4 a control inside another's rectangle, or on a
// sheet's page, moves with it.
TEST_F(ResizerTest, EnclosedControlsAndSheetPagesGetTheirParents) {
  Open();
  Start(2);
  EXPECT_EQ(resizer_.GetParentControl(kCheck), kGroup);
  EXPECT_EQ(resizer_.GetParentControl(kRadio), kGroup);
  EXPECT_EQ(resizer_.GetParentControl(kOnTab), kSheet);
  EXPECT_EQ(resizer_.GetParentControl(kCombo), kSheet);
  EXPECT_EQ(resizer_.GetParentControl(kList), 0);
  EXPECT_EQ(resizer_.GetParentControl(kOk), 0);
  // The sheet grows with the window; the entry on its page keeps its place
  // from the sheet's top left.
  ResizeTo(316, 300);
  PositionGroup sheet = RectOf(*window_, kSheet);
  PositionGroup on_tab = RectOf(*window_, kOnTab);
  EXPECT_GT(sheet.Width, 200);
  EXPECT_EQ(on_tab.YPos - sheet.YPos, 204 - 186);
}

// Strategy 1 sets no parents: every control follows the window.
TEST_F(ResizerTest, WithoutParentDefaultsEveryControlFollowsTheWindow) {
  Open();
  Start(1);
  for (const ResizeControl& row : resizer_.ControlQueue) EXPECT_EQ(row.ParentID, 0) << row.ID;
}

struct EdgeCase {
  const char* what;
  int32_t control;
  // Which measures hold after growing the window from 216x260 to 316x300:
  // the size, and the distance from each edge of the window.
  bool size, left, top, right, bottom;
};

class StrategyTwoEdges : public ResizerTest, public ::testing::WithParamInterface<EdgeCase> {};

TEST_P(StrategyTwoEdges, GrowingTheWindow) {
  const EdgeCase& c = GetParam();
  Open();
  Start(2);
  PositionGroup was = RectOf(*window_, c.control);
  ResizeTo(316, 300);
  PositionGroup is = RectOf(*window_, c.control);
  auto right_margin = [](const PositionGroup& r, int32_t width) {
    return width - (r.XPos + r.Width);
  };
  auto bottom_margin = [](const PositionGroup& r, int32_t height) {
    return height - (r.YPos + r.Height);
  };
  EXPECT_EQ(is.Width == was.Width && is.Height == was.Height, c.size) << c.what;
  EXPECT_EQ(is.XPos == was.XPos, c.left) << c.what;
  EXPECT_EQ(is.YPos == was.YPos, c.top) << c.what;
  EXPECT_EQ(right_margin(is, 316) == right_margin(was, 216), c.right) << c.what;
  EXPECT_EQ(bottom_margin(is, 300) == bottom_margin(was, 260), c.bottom) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    WindowResizer, StrategyTwoEdges,
    ::testing::Values(
        // Buttons keep their size and stick to the nearer edges: these two
        // are nearer the right and the bottom edge.
        EdgeCase{"close button", kClose, true, false, false, true, true},
        EdgeCase{"OK button", kOk, true, false, false, true, true},
        // Lists and groups keep their left and top and stretch to keep
        // their right and bottom margins.
        EdgeCase{"list", kList, false, true, true, true, true},
        EdgeCase{"group", kGroup, false, true, true, true, true},
        // Inside the group, near its top left: stays as the group grows.
        EdgeCase{"check box in the group", kCheck, true, true, true, false, false},
        // An entry is scaled across and keeps its top and height.
        EdgeCase{"entry", kEntry, false, false, true, false, false}),
    // Named after the control, so the test's name is the same on every run.
    [](const ::testing::TestParamInfo<EdgeCase>& info) {
      std::string name;
      for (const char* c = info.param.what; *c != '\0'; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      }
      return name;
    });

// Nearer the group's bottom than its top, the radio button keeps its
// distance from the group's bottom edge as the group stretches.
TEST_F(ResizerTest, AButtonInAGroupSticksToTheGroupsNearerEdge) {
  Open();
  Start(2);
  auto gap = [this] {
    PositionGroup group = RectOf(*window_, kGroup);
    PositionGroup radio = RectOf(*window_, kRadio);
    return (group.YPos + group.Height) - (radio.YPos + radio.Height);
  };
  int32_t first_gap = gap();
  ResizeTo(316, 300);
  EXPECT_EQ(gap(), first_gap);
  EXPECT_EQ(RectOf(*window_, kRadio).Height, 10);
}

// An entry under strategy 2: proportional across, its top kept, height locked.
TEST_F(ResizerTest, AnEntryScalesAcrossAndKeepsItsTopAndHeight) {
  Open();
  Start(2);
  ResizeTo(324, 300);  // 1.5 times as wide
  PositionGroup entry = RectOf(*window_, kEntry);
  EXPECT_EQ(Show(entry), Show(PositionGroup{105, 90, 120, 10}));
}

TEST_F(ResizerTest, MinimumSizeHolds) {
  Open();
  Start(2, /*min_size=*/1);
  EXPECT_EQ(window_->PropLong(0, PROP::MinWidth), 216);
  EXPECT_EQ(window_->PropLong(0, PROP::MinHeight), 260);
  const auto first = Rects();
  ResizeTo(100, 80);
  EXPECT_EQ(window_->PropLong(0, PROP::ClientWidth), 216);
  EXPECT_EQ(window_->PropLong(0, PROP::ClientHeight), 260);
  EXPECT_EQ(Rects(), first);
  ResizeTo(150, 400);  // narrower is refused, taller is not
  EXPECT_EQ(window_->PropLong(0, PROP::ClientWidth), 216);
  EXPECT_EQ(window_->PropLong(0, PROP::ClientHeight), 400);
  EXPECT_NE(Rects(), first);
}

TEST_F(ResizerTest, MaximumSizeHolds) {
  Open();
  Start(4, 0, /*max_size=*/1);
  EXPECT_EQ(window_->PropLong(0, PROP::MinWidth), 0);
  const auto first = Rects();
  ResizeTo(500, 600);
  EXPECT_EQ(window_->PropLong(0, PROP::ClientWidth), 216);
  EXPECT_EQ(Rects(), first);
}

// A window that opened with no width or height has no ratio to scale by:
// controls keep their offsets and sizes instead of dividing by zero.
TEST_F(ResizerTest, ZeroInitialSizeScalesByOne) {
  WindowDefinition flat = FormDefinition(0, 0);
  flat.controls.resize(kText);
  Open(std::move(flat));
  Start(1);
  const auto first = Rects();
  ResizeTo(300, 200);
  EXPECT_EQ(Rects(), first);
  // The same for a parent control of no size.
  PositionGroup n = resizer_.SetPosition(kText, PositionGroup{5, 5, 80, 40},
                                         PositionGroup{5, 5, 0, 0}, PositionGroup{9, 7, 30, 20});
  EXPECT_EQ(Show(n), Show(PositionGroup{9, 7, 30, 20}));
}

// A maximised window given back its first state and size: every control
// exactly where it began.
TEST_F(ResizerTest, RestoreWindowAfterMaximising) {
  Open();
  Start(1);
  const auto first = Rects();
  screen_.Resize(window_->Id(), 800, 600);
  window_->SetProp(0, PROP::Maximize, 1);
  window::POST(EVENT::Maximized);
  Pump();
  EXPECT_NE(Rects(), first);
  resizer_.RestoreWindow();
  EXPECT_EQ(window_->PropLong(0, PROP::Maximize), 0);
  EXPECT_EQ(window_->PropLong(0, PROP::Width), 216);
  EXPECT_EQ(window_->PropLong(0, PROP::Height), 260);
  EXPECT_EQ(Rects(), first);
}

// The moves go to the engine as one batch; a batch opened by someone else
// stays open.
TEST_F(ResizerTest, DeferredMovesCloseOnlyTheirOwnBatch) {
  Open();
  Start(1);
  ResizeTo(300, 300);
  EXPECT_EQ(window_->PropLong(0, PROP::DeferMove), 0);
  window_->SetProp(0, PROP::DeferMove, -1);
  ResizeTo(320, 310);
  EXPECT_EQ(window_->PropLong(0, PROP::DeferMove), -1);
}

// Moved one by one, the controls farthest out move first when the window
// grows and the nearest first when it shrinks.
TEST_F(ResizerTest, OneByOneMovesAreOrderedByDirection) {
  Open();
  Start(1);
  resizer_.DeferMoves = 0;
  auto moved_order = [this](int32_t width, int32_t height) {
    ResizeTo(width, height);
    std::vector<int32_t> priorities;
    for (const ResizeMove& move : resizer_.ResizeList) {
      if (move.After != move.Before) priorities.push_back(move.Priority);
    }
    return priorities;
  };
  auto grown = moved_order(400, 400);
  ASSERT_GT(grown.size(), 3u);
  EXPECT_TRUE(std::is_sorted(grown.rbegin(), grown.rend()));
  auto shrunk = moved_order(300, 300);
  ASSERT_GT(shrunk.size(), 3u);
  EXPECT_TRUE(std::is_sorted(shrunk.begin(), shrunk.end()));
}

// A procedure that changes its controls calls Reset again: a control made
// since is queued, the known ones take their present rectangles as the
// initial ones.
TEST_F(ResizerTest, ResetTakesNewControlsAndNewInitialRectangles) {
  Open();
  Start(3);
  size_t queued = resizer_.ControlQueue.size();
  window_->SetProp(kString, PROP::Xpos, 20);
  int32_t made = window_->CreateControl(ControlDefinition{
      .type = ControlType::Button, .label = "?New", .x = 5, .y = 250, .width = 20, .height = 8});
  resizer_.Reset();
  EXPECT_EQ(resizer_.ControlQueue.size(), queued + 1);
  EXPECT_EQ(resizer_.ControlQueue.back().ID, made);
  PositionGroup orig;
  ASSERT_TRUE(resizer_.GetOrigPos(kString, orig));
  EXPECT_EQ(orig.XPos, 20);
}

// Killed, the resizer no longer answers the window's events.
TEST_F(ResizerTest, AfterKillTheControlsStayPut) {
  Open();
  Start(1);
  ResizeTo(300, 300);
  const auto before = Rects();
  resizer_.Kill();
  ResizeTo(400, 400);
  EXPECT_EQ(Rects(), before);
}

TEST_F(ResizerTest, AQueueRowThatIsMissingIsAnAssertion) {
  Open();
  Start(2);
  uint64_t before = AssertionCount();
  resizer_.SetParentControl(kTab, kSheet);
  EXPECT_EQ(resizer_.GetParentControl(kToolButton), 0);
  EXPECT_EQ(AssertionCount(), before + 2);
}

}  // namespace
}  // namespace zuna::framework
