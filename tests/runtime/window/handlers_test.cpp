// Event handlers registered with a window: ACCEPT runs them for their
// event, before the program sees it, on the window's thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::window {
namespace {

using testing::ChildDefinition;

TEST(Handlers, RunForTheirEventBeforeTheProgramSeesIt) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  std::vector<std::string> seen;
  int32_t first = window.Register(0x3FF, [&] { seen.push_back("first " + EventName(EVENT())); });
  int32_t second = 0;
  second = window.Register(0x3FF, [&] {
    seen.push_back("second");
    window.Unregister(first);  // takes effect from the next event on
    window.Unregister(second);
  });
  window.Register(EVENT::Accepted, [&] { seen.push_back("accepted " + std::to_string(FIELD())); });
  POST(0x3FF);
  POST(EVENT::Accepted, 8);
  POST(0x3FF);
  POST(EVENT::CloseWindow);
  while (ACCEPT(window)) {
    if (EVENT() == 0x3FF || EVENT() == EVENT::Accepted) seen.push_back("program");
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"first Event3FFh", "second", "program",
                                            "accepted 8", "program", "program"}));
}

}  // namespace
}  // namespace zuna::window
