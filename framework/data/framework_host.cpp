#include "framework/data/framework_host.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "runtime/values/code_page.h"

namespace zuna::framework {
namespace {

constexpr std::pair<int32_t, std::string_view> kButtonCaptions[] = {
    {Button::OK, "O&k"},         {Button::Yes, "&Yes"},
    {Button::No, "&No"},         {Button::Abort, "&Abort"},
    {Button::Retry, "&Retry"},   {Button::Ignore, "&Ignore"},
    {Button::Cancel, "&Cancel"}, {Button::Help, "&Help"},
};

std::atomic<FrameworkHost*>& InstalledHost() {
  static std::atomic<FrameworkHost*> host{nullptr};
  return host;
}

StderrHost& DefaultHost() {
  // Never destroyed: a thread may still report while the process exits.
  static StderrHost* host = new StderrHost;
  return *host;
}

// Writes the parts (Windows-1251) as one line of UTF-8.
void WriteLine(std::initializer_list<std::string_view> cp1251_parts) {
  std::string utf8;
  for (std::string_view part : cp1251_parts) utf8 += values::Cp1251ToUtf8(part);
  utf8 += '\n';
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

}  // namespace

std::vector<std::pair<int32_t, std::string>> HistoryButtons(int32_t buttons) {
  std::vector<std::pair<int32_t, std::string>> result;
  for (const auto& [value, caption] : kButtonCaptions) {
    if ((buttons & value) != 0) result.emplace_back(value, std::string(caption));
  }
  return result;
}

int32_t FrameworkHost::ThreadNumber() {
  static std::atomic<int32_t> next{1};
  thread_local const int32_t number = next.fetch_add(1);
  return number;
}

int32_t StderrHost::MessageBox(const MessageBoxRequest& request) {
  WriteLine({"[", request.caption, "] ", request.text});
  std::fflush(stderr);
  return request.default_button;
}

int32_t StderrHost::ShowHistory(const HistoryWindowRequest& request) {
  WriteLine({"[", request.caption, "]"});
  for (const HistoryLine& line : request.lines) {
    WriteLine({"  ", line.text, " | ", line.category});
  }
  std::fflush(stderr);
  return request.default_button;
}

void StderrHost::Stop(int exit_code, std::string_view message) {
  EndProgram(exit_code, message);
}

void EndProgram(int exit_code, std::string_view message) {
  WriteLine({"Program stopped: ", message});
  std::fflush(nullptr);
  std::quick_exit(exit_code);
}

FrameworkHost& Host() {
  FrameworkHost* host = InstalledHost().load(std::memory_order_acquire);
  return host != nullptr ? *host : DefaultHost();
}

FrameworkHost* SetHost(FrameworkHost* host) {
  return InstalledHost().exchange(host, std::memory_order_acq_rel);
}

int32_t CurrentThreadNumber() { return Host().ThreadNumber(); }

void FatalStop(std::string_view message) {
  Host().Stop(kFatalStopExitCode, message);
}

}  // namespace zuna::framework
