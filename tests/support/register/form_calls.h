// Calls of the register's record form the way the maintenance list makes
// them, for tests on either screen: the frame's menu item -2 starts a
// thread that takes the next queued call, puts its record in the thread's
// buffer (a cleared one for a new record), sets GlobalRequest, runs
// UpdateZun, then notes the response and the names the register holds.
//
//   FormCalls calls;
//   screen.RunMain(FormCalls::Main(calls));   // the frame, on thread 1
//   calls.Queue({framework::ChangeRecord, W("Иванов Иван")});
//   ... choose menu item -2, act on the form ...
//   calls.Responses(), calls.Names()
//
// Threads: Queue and the readers from the test's thread, the rest on the
// program's threads; a mutex guards what they share.
#ifndef ZUNA_TESTS_SUPPORT_REGISTER_FORM_CALLS_H_
#define ZUNA_TESTS_SUPPORT_REGISTER_FORM_CALLS_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zuna::testing {

inline constexpr int32_t kCallFormItem = -2;
// The frame's title, "Дни рождения", in the program's code page.
std::string CallerFrameTitle();

class FormCalls {
 public:
  struct Call {
    uint8_t request = 0;
    std::string name;  // the record to call it on; "" for a new record
  };

  void Queue(Call call);
  std::vector<uint8_t> Responses() const;
  // The names in the register after the last call, by name.
  std::vector<std::string> Names() const;

  // Thread 1: the register's dictionary and a frame whose item -2 starts
  // the next call on a thread of its own.
  static std::function<void()> Main(FormCalls& calls);

 private:
  void RunNext();

  mutable std::mutex mu_;
  std::vector<Call> calls_;
  size_t started_ = 0;
  std::vector<uint8_t> responses_;
  std::vector<std::string> names_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_REGISTER_FORM_CALLS_H_
