#include "framework/data/assertion.h"

#include <gtest/gtest.h>

#include "framework/data/scripted_host.h"

namespace zuna::framework {
namespace {

TEST(AssertionTest, NamesTheCheckTheModuleAndTheLine) {
  ScriptedHost host;
  ScopedHost installed(host);
  const uint64_t before = AssertionCount();
  const int line = __LINE__ + 1;
  EXPECT_FALSE(Assert(1 + 1 == 3, "Sum is wrong."));
  EXPECT_TRUE(Assert(true, "never shown"));
  const auto boxes = host.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].request.caption, "Assertion Failed");
  EXPECT_EQ(boxes[0].request.text, "Sum is wrong.\n\nModule: assertion_test.cpp"
                                   "\nLine: " + std::to_string(line));
  EXPECT_EQ(boxes[0].request.buttons, Button::OK);
  EXPECT_EQ(AssertionCount(), before + 1);
}

TEST(AssertionTest, DeferredReportsWaitForTheOutermostScope) {
  ScriptedHost host;
  ScopedHost installed(host);
  {
    DeferredAssertions outer;
    AssertionFailed("first");
    {
      DeferredAssertions inner;
      AssertionFailed("second");
    }
    EXPECT_TRUE(host.MessageBoxes().empty());
  }
  const auto texts = host.Assertions();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("first\n", 0), 0u);
  EXPECT_EQ(texts[1].rfind("second\n", 0), 0u);
}

TEST(AssertionTest, ReportsDoNotTakeScriptedAnswers) {
  ScriptedHost host;
  ScopedHost installed(host);
  host.Answer(Button::No);
  AssertionFailed("check");
  MessageBoxRequest question;
  question.buttons = Button::Yes | Button::No;
  question.default_button = Button::Yes;
  EXPECT_EQ(Host().MessageBox(question), Button::No);
}

}  // namespace
}  // namespace zuna::framework
