// DeferMove: while a window's count is not 0, its controls' new places are
// read back at once but reach the screen only together, when it is 0 again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::window {
namespace {

using testing::ChildDefinition;

// The placement changes the screen was given, as "control prop value".
std::vector<std::string> PlacementsShown(const HeadlessEngine& screen) {
  std::vector<std::string> shown;
  for (const std::string& line : screen.Transcript()) {
    for (const char* prop : {" 7C02h ", " 7C03h ", " 7C04h ", " 7C05h "}) {
      if (line.rfind("prop ", 0) == 0 && line.find(prop) != std::string::npos) {
        shown.push_back(line.substr(line.find(' ', 5) + 1));
      }
    }
  }
  return shown;
}

TEST(DeferredMoves, ReachTheScreenTogetherWhenTheCountReturnsToZero) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  window.SetProp(0, PROP::DeferMove, 2);
  window.SetProp(8, PROP::Xpos, 170);
  window.SetProp(9, PROP::Width, 50);
  EXPECT_EQ(window.PropLong(8, PROP::Xpos), 170);
  EXPECT_EQ(window.PropLong(9, PROP::Width), 50);
  EXPECT_TRUE(PlacementsShown(screen).empty());
  window.SetProp(0, PROP::DeferMove, 0);
  EXPECT_EQ(PlacementsShown(screen),
            (std::vector<std::string>{"8 7C02h \"170\"", "9 7C04h \"50\""}));
  // Not deferred: shown at once.
  window.SetProp(8, PROP::Ypos, 171);
  EXPECT_EQ(PlacementsShown(screen).size(), 3u);
}

}  // namespace
}  // namespace zuna::window
