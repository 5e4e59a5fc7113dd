#include "framework/window/engine_host.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "runtime/values/picture.h"
#include "runtime/window/properties.h"

namespace zuna::framework {
namespace {

// The history window's layout, in dialog units.
constexpr int32_t kMargin = 4;
constexpr int32_t kListWidth = 300;
constexpr int32_t kListHeight = 120;
constexpr int32_t kButtonWidth = 45;
constexpr int32_t kButtonHeight = 14;
constexpr int32_t kButtonGap = 4;
// The text column, then the category column; no pictures: the texts show
// as they are.
constexpr std::string_view kHistoryFormat = "220L(2)|M80L(2)";

std::string WithoutAccessMark(std::string_view caption) {
  std::string plain(caption);
  std::erase(plain, '&');
  return plain;
}

// The history lines as the list's rows.  Lives on the asking thread's stack
// for as long as the window is open.
class HistoryRows final : public window::ListSource {
 public:
  explicit HistoryRows(const std::vector<HistoryLine>& lines) : lines_(lines) {}

  int32_t Records() const override { return static_cast<int32_t>(lines_.size()); }

  std::string CellText(int32_t row, size_t column,
                       const values::Picture& /*picture*/) const override {
    if (row < 1 || row > Records()) return {};
    const HistoryLine& line = lines_[static_cast<size_t>(row - 1)];
    switch (column) {
      case 0:
        return line.text;
      case 1:
        return line.category;
      default:
        return {};
    }
  }

 private:
  const std::vector<HistoryLine>& lines_;
};

}  // namespace

window::WindowDefinition HistoryWindowDefinition(
    const HistoryWindowRequest& request) {
  const auto buttons = HistoryButtons(request.buttons);
  const int32_t count = static_cast<int32_t>(buttons.size());
  const int32_t buttons_width =
      count * kButtonWidth + std::max(count - 1, 0) * kButtonGap;
  const int32_t client_width = std::max(kListWidth, buttons_width);

  window::WindowDefinition definition;
  definition.name = std::string(kHistoryWindowName);
  definition.kind = window::WindowKind::kModal;
  definition.title = request.caption;
  definition.icon = window::SystemIconName(request.icon);
  definition.width = client_width + 2 * kMargin;
  const int32_t buttons_y = kMargin + kListHeight + kMargin;
  definition.height = buttons_y + kButtonHeight + kMargin;

  definition.controls.push_back(window::ControlDefinition{
      .type = window::ControlType::List,
      .label = "?HistoryList",
      .x = kMargin,
      .y = kMargin,
      .width = client_width,
      .height = kListHeight,
      .format = std::string(kHistoryFormat),
      .vscroll = true,
  });
  // The buttons sit in a row under the list's right end.
  int32_t x = kMargin + client_width - buttons_width;
  for (const auto& [value, caption] : buttons) {
    definition.controls.push_back(window::ControlDefinition{
        .type = window::ControlType::Button,
        .label = "?" + WithoutAccessMark(caption),
        .text = caption,
        .x = x,
        .y = buttons_y,
        .width = kButtonWidth,
        .height = kButtonHeight,
        .is_default = value == request.default_button,
    });
    x += kButtonWidth + kButtonGap;
  }
  return definition;
}

EngineHost::EngineHost() : EngineHost(EndProgram) {}

EngineHost::EngineHost(StopAction stop) : stop_(std::move(stop)) {}

int32_t EngineHost::MessageBox(const MessageBoxRequest& request) {
  return window::MESSAGE(request.text, request.caption,
                         window::SystemIconName(request.icon), request.buttons,
                         request.default_button, request.style);
}

int32_t EngineHost::ShowHistory(const HistoryWindowRequest& request) {
  const auto buttons = HistoryButtons(request.buttons);
  HistoryRows rows(request.lines);
  window::Window history(HistoryWindowDefinition(request));
  history.BindList(kHistoryList, &rows);
  if (!history.Open(window::TARGET())) return request.default_button;
  int32_t answer = request.default_button;
  while (window::ACCEPT(history)) {
    const int32_t accepted = window::ACCEPTED();
    if (accepted < kHistoryFirstButton) continue;
    const size_t chosen = static_cast<size_t>(accepted - kHistoryFirstButton);
    if (chosen >= buttons.size()) continue;
    answer = buttons[chosen].first;
    history.Close();
    break;
  }
  return answer;
}

void EngineHost::Stop(int exit_code, std::string_view message) {
  stop_(exit_code, message);
}

int32_t EngineHost::ThreadNumber() { return window::THREAD(); }

void EngineHost::SetWaitCursor(bool waiting) {
  window::SETCURSOR(waiting ? window::CURSOR::Wait : window::CURSOR::Arrow);
}

}  // namespace zuna::framework
