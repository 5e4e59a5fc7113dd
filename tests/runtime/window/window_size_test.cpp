// The window's size from the program's side: setting the window's Width and
// Height sizes its client area at once, within the window's minimum and
// maximum size, and the program hears of it as of any sizing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::window {
namespace {

using testing::ChildDefinition;

// Runs the open window's loop until `event` arrives; false if it never does.
bool AcceptUntil(Window& window, int32_t event) {
  while (ACCEPT(window)) {
    if (EVENT() == event) return true;
  }
  return false;
}

TEST(WindowSize, TheProgramSizesTheClientAreaWithinItsLimits) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  int32_t id = window.Id();
  ASSERT_TRUE(AcceptUntil(window, EVENT::Sized));  // the report after opening

  window.SetProp(0, PROP::Width, 300);
  window.SetProp(0, PROP::Height, 150);
  EXPECT_EQ(window.PropLong(0, PROP::ClientWidth), 300);  // read back at once
  EXPECT_EQ(window.PropLong(0, PROP::ClientHeight), 150);
  ASSERT_TRUE(ACCEPT(window));
  EXPECT_EQ(EVENT(), EVENT::Sized);  // one for both changes

  window.SetProp(0, PROP::MinWidth, 216);
  window.SetProp(0, PROP::MinHeight, 40);
  window.SetProp(0, PROP::MaxWidth, 320);
  window.SetProp(0, PROP::MaxHeight, 200);
  struct Row {
    int32_t prop;
    int32_t asked;
    int32_t client_prop;
    int32_t got;
  };
  const Row rows[] = {
      {PROP::Width, 400, PROP::ClientWidth, 320},    // held at the maximum
      {PROP::Width, 100, PROP::ClientWidth, 216},    // and at the minimum
      {PROP::Height, 10, PROP::ClientHeight, 40},
      {PROP::Height, 180, PROP::ClientHeight, 180},  // within: as asked
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.asked);
    window.SetProp(0, row.prop, row.asked);
    EXPECT_EQ(window.PropLong(0, row.client_prop), row.got);
    EXPECT_EQ(window.PropLong(0, row.prop), row.got);
    EXPECT_EQ(screen.PropLong(id, 0, row.client_prop), row.got);
  }
  // The screen was told each size, as held.
  std::vector<std::string> transcript = screen.Transcript();
  std::string id_text = std::to_string(id);
  for (const char* line : {" 0 7C04h \"320\"", " 0 7C04h \"216\"", " 0 7C05h \"40\""}) {
    EXPECT_NE(std::find(transcript.begin(), transcript.end(), "prop " + id_text + line),
              transcript.end())
        << line;
  }

  // Setting the size the window has is no sizing.
  ASSERT_TRUE(AcceptUntil(window, EVENT::Sized));
  window.SetProp(0, PROP::Width, 216);
  POST(0x400);
  ASSERT_TRUE(ACCEPT(window));
  EXPECT_EQ(EVENT(), 0x400);

  // The user's dragging stops at the same limits.
  screen.Resize(id, 500, 5);
  ASSERT_TRUE(AcceptUntil(window, EVENT::Sized));
  EXPECT_EQ(window.PropLong(0, PROP::ClientWidth), 320);
  EXPECT_EQ(window.PropLong(0, PROP::ClientHeight), 40);
  window.Close();
}

}  // namespace
}  // namespace zuna::window
