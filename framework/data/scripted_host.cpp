#include "framework/data/scripted_host.h"

#include "framework/data/assertion.h"

namespace zuna::framework {

int32_t ScriptedHost::NextAnswer(int32_t default_button) {
  if (answers_.empty()) return default_button;
  const int32_t answer = answers_.front();
  answers_.pop_front();
  return answer;
}

int32_t ScriptedHost::MessageBox(const MessageBoxRequest& request) {
  const int32_t thread = ThreadNumber();
  std::lock_guard lock(mutex_);
  // An assertion report never takes an answer meant for a question.
  const int32_t answer = request.caption == kAssertionCaption
                             ? request.default_button
                             : NextAnswer(request.default_button);
  boxes_.push_back({request, thread, answer});
  return answer;
}

int32_t ScriptedHost::ShowHistory(const HistoryWindowRequest& request) {
  const int32_t thread = ThreadNumber();
  std::lock_guard lock(mutex_);
  const int32_t answer = NextAnswer(request.default_button);
  histories_.push_back({request, thread, answer});
  return answer;
}

void ScriptedHost::Stop(int exit_code, std::string_view message) {
  const int32_t thread = ThreadNumber();
  std::lock_guard lock(mutex_);
  stops_.push_back({exit_code, std::string(message), thread});
}

void ScriptedHost::Answer(int32_t button) {
  std::lock_guard lock(mutex_);
  answers_.push_back(button);
}

std::vector<ScriptedHost::ShownBox> ScriptedHost::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<ScriptedHost::ShownHistory> ScriptedHost::HistoryWindows() const {
  std::lock_guard lock(mutex_);
  return histories_;
}

std::vector<ScriptedHost::StopRecord> ScriptedHost::Stops() const {
  std::lock_guard lock(mutex_);
  return stops_;
}

std::vector<std::string> ScriptedHost::Assertions() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const ShownBox& box : boxes_) {
    if (box.request.caption == kAssertionCaption) {
      texts.push_back(box.request.text);
    }
  }
  return texts;
}

std::vector<ScriptedHost::ShownBox> ScriptedHost::Messages() const {
  std::lock_guard lock(mutex_);
  std::vector<ShownBox> shown;
  for (const ShownBox& box : boxes_) {
    if (box.request.caption != kAssertionCaption) shown.push_back(box);
  }
  return shown;
}

void ScriptedHost::Clear() {
  std::lock_guard lock(mutex_);
  answers_.clear();
  boxes_.clear();
  histories_.clear();
  stops_.clear();
}

}  // namespace zuna::framework
