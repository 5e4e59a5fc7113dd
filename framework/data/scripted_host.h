// A FrameworkHost for tests: it shows nothing, records every message box,
// history window and stop with the THREAD() number of the caller, answers
// from a script, and lets Stop() return so a test can see a fatal stop
// without losing the test process.
//
//   ScriptedHost host;
//   ScopedHost installed(host);
//   host.Answer(Button::No);          // the next box answers No
//   ... code under test ...
//   EXPECT_EQ(host.MessageBoxes().size(), 1u);
//
// Answers: each message box or history window takes the next scripted
// answer; with none left it answers its default button.  Assertion reports
// ("Assertion Failed") always answer their default and leave the script.
//
// Threads: any thread; one mutex guards the records and the script.
// ThreadNumber() is FrameworkHost's default numbering.
#ifndef ZUNA_FRAMEWORK_DATA_SCRIPTED_HOST_H_
#define ZUNA_FRAMEWORK_DATA_SCRIPTED_HOST_H_

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "framework/data/framework_host.h"

namespace zuna::framework {

class ScriptedHost final : public FrameworkHost {
 public:
  struct ShownBox {
    MessageBoxRequest request;
    int32_t thread = 0;
    int32_t answer = 0;
  };
  struct ShownHistory {
    HistoryWindowRequest request;
    int32_t thread = 0;
    int32_t answer = 0;
  };
  struct StopRecord {
    int exit_code = 0;
    std::string message;
    int32_t thread = 0;
  };

  int32_t MessageBox(const MessageBoxRequest& request) override;
  int32_t ShowHistory(const HistoryWindowRequest& request) override;
  void Stop(int exit_code, std::string_view message) override;

  // Queues the answer for the next box or history window.
  void Answer(int32_t button);

  // Copies of what was recorded, in the order it happened.
  std::vector<ShownBox> MessageBoxes() const;
  std::vector<ShownHistory> HistoryWindows() const;
  std::vector<StopRecord> Stops() const;
  // The texts of the boxes captioned "Assertion Failed".
  std::vector<std::string> Assertions() const;
  // The boxes that are not assertion reports.
  std::vector<ShownBox> Messages() const;

  // Forgets every record and the rest of the script.
  void Clear();

 private:
  int32_t NextAnswer(int32_t default_button);

  mutable std::mutex mutex_;
  std::deque<int32_t> answers_;
  std::vector<ShownBox> boxes_;
  std::vector<ShownHistory> histories_;
  std::vector<StopRecord> stops_;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_SCRIPTED_HOST_H_
