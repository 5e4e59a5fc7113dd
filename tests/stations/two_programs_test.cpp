// Two copies of the whole register program, each a process of its own on
// one register, each with its lists open, taking turns to add, change and
// delete people through the form.  Nothing is lost: the register ends with
// exactly the people the accepted steps leave, both lists count them after
// their own next step, and zunatool's check finds the register sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace zuna {
namespace {

using zuna::testing::ChildProcess;
using zuna::testing::RunProgram;

constexpr auto kPatience = std::chrono::seconds(60);

class Program {
 public:
  explicit Program(const std::string& directory)
      : child_(std::string(ZUNA_BIN_DIR) + "/../tests/zuna_program_station", {directory}) {
    std::string line;
    ready_ = child_.ReadLine(&line, kPatience) && line == "ready";
  }
  bool ready() const { return ready_; }

  std::string Ask(const std::string& command) {
    std::string answer;
    if (!child_.SendLine(command) || !child_.ReadLine(&answer, kPatience)) return "no answer";
    return answer;
  }

 private:
  ChildProcess child_;
  bool ready_ = false;
};

std::string Name(char program, int i) {
  return std::string(program == 'A' ? "Анна" : "Борис") + std::to_string(100 + i);
}

TEST(TwoPrograms, TakingTurnsThroughTheFormLoseNothing) {
  zuna::testing::TempDir dir;
  Program a(dir.path());
  ASSERT_TRUE(a.ready());
  Program b(dir.path());
  ASSERT_TRUE(b.ready());

  std::set<std::string> expected;
  constexpr int kPeople = 12;
  for (int i = 0; i < kPeople; ++i) {
    for (auto [program, name] : {std::pair{&a, Name('A', i)}, std::pair{&b, Name('B', i)}}) {
      ASSERT_EQ(program->Ask("insert " + name + " 0" + std::to_string(1 + i % 9) + "/03/1980"),
                "0");
      expected.insert(name);
    }
  }
  // Each changes and deletes records the other added while its lists
  // were open.
  for (int i = 0; i < kPeople; i += 3) {
    ASSERT_EQ(a.Ask("change " + Name('B', i) + " " + Name('B', i) + "x"), "0");
    expected.erase(Name('B', i));
    expected.insert(Name('B', i) + "x");
    ASSERT_EQ(b.Ask("delete " + Name('A', i + 1)), "0");
    expected.erase(Name('A', i + 1));
  }

  // Each list refills after its own next step, and then counts what both
  // programs did.
  for (auto [program, name] : {std::pair{&a, std::string("Вера1")}, {&b, std::string("Глеб1")}}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(program->Ask("insert " + name + " 01/04/1990"), "0");
    expected.insert(name);
    std::istringstream count(program->Ask("count"));
    int code = -1, total = -1, rows = -1;
    count >> code >> total >> rows;
    EXPECT_EQ(code, 0);
    EXPECT_EQ(total, static_cast<int>(expected.size())) << "the list caught up";
    EXPECT_GT(rows, 0);
  }
  // Coming back to its window refills a list: A counts B's newest person
  // without a step of its own.
  ASSERT_EQ(b.Ask("insert Дарья1 02/04/1990"), "0");
  expected.insert("Дарья1");
  ASSERT_EQ(a.Ask("refocus"), "0");
  {
    std::istringstream count(a.Ask("count"));
    int code = -1, total = -1;
    count >> code >> total;
    EXPECT_EQ(total, static_cast<int>(expected.size())) << "the list refilled on focus";
  }
  // Home rebuilds the page from the file and counts again: both lists now
  // show what both programs did.
  for (Program* program : {&a, &b}) {
    ASSERT_EQ(program->Ask("top"), "0");
    std::istringstream count(program->Ask("count"));
    int code = -1, total = -1;
    count >> code >> total;
    EXPECT_EQ(total, static_cast<int>(expected.size())) << (program == &a ? "A" : "B");
  }
  EXPECT_EQ(a.Ask("quit"), "0");
  EXPECT_EQ(b.Ask("quit"), "0");

  auto listed = RunProgram(zuna::testing::BinPath("zunatool"), {"list", dir.File("ZUN")});
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  std::set<std::string> names;
  std::istringstream lines(listed.out);
  for (std::string line; std::getline(lines, line);) {
    const size_t bar = line.find('|');
    if (bar != std::string::npos) names.insert(line.substr(0, bar));
  }
  EXPECT_EQ(names, expected);
  auto check = RunProgram(zuna::testing::BinPath("zunatool"), {"check", dir.File("ZUN")});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
}

}  // namespace
}  // namespace zuna
