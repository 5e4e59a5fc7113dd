#include "framework/data/assertion.h"

#include <atomic>
#include <utility>
#include <vector>

#include "framework/data/framework_host.h"

namespace zuna::framework {
namespace {

std::atomic<uint64_t> assertion_count{0};

struct ThreadDeferral {
  int depth = 0;
  std::vector<std::string> pending;
};

ThreadDeferral& ThisThreadDeferral() {
  thread_local ThreadDeferral deferral;
  return deferral;
}

void Show(std::string text) {
  MessageBoxRequest request;
  request.caption = std::string(kAssertionCaption);
  request.text = std::move(text);
  request.icon = Icon::Exclamation;
  request.buttons = Button::OK;
  request.default_button = Button::OK;
  Host().MessageBox(request);
}

std::string_view ModuleName(std::string_view file) {
  const size_t slash = file.find_last_of("/\\");
  return slash == std::string_view::npos ? file : file.substr(slash + 1);
}

}  // namespace

std::string AssertionText(std::string_view check,
                          const std::source_location& where) {
  std::string text(check);
  text += "\n\nModule: ";
  text += ModuleName(where.file_name());
  text += "\nLine: ";
  text += std::to_string(where.line());
  return text;
}

void AssertionFailed(std::string_view check,
                     const std::source_location& where) {
  assertion_count.fetch_add(1, std::memory_order_relaxed);
  std::string text = AssertionText(check, where);
  ThreadDeferral& deferral = ThisThreadDeferral();
  if (deferral.depth > 0) {
    deferral.pending.push_back(std::move(text));
    return;
  }
  Show(std::move(text));
}

DeferredAssertions::DeferredAssertions() { ++ThisThreadDeferral().depth; }

DeferredAssertions::~DeferredAssertions() {
  ThreadDeferral& deferral = ThisThreadDeferral();
  if (--deferral.depth > 0) return;
  // A report shown here may itself raise another (a host that asserts);
  // take the queue first so such a report is shown, not lost.
  while (!deferral.pending.empty()) {
    std::vector<std::string> pending = std::move(deferral.pending);
    deferral.pending.clear();
    for (std::string& text : pending) Show(std::move(text));
  }
}

uint64_t AssertionCount() {
  return assertion_count.load(std::memory_order_relaxed);
}

}  // namespace zuna::framework
