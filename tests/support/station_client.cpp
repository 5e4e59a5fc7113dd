#include "tests/support/station_client.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string_view>

namespace zuna::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReadyTimeout = std::chrono::seconds(10);

// The leading number of an answer and what follows it.
void ParseAnswer(StationReply* reply) {
  const std::string& line = reply->line;
  const size_t blank = line.find(' ');
  const std::string_view number(line.data(), blank == std::string::npos ? line.size() : blank);
  int code = 0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), code);
  reply->code = (error == std::errc() && end == number.data() + number.size()) ? code : -1;
  reply->value = blank == std::string::npos ? "" : line.substr(blank + 1);
}

}  // namespace

StationClient::StationClient(const std::vector<std::string>& args)
    : child_(StationProgramPath(), args) {
  // Options alone ("--crash-at N") still start command mode.
  const bool command_mode = args.empty() || args[0].starts_with("--");
  if (command_mode && child_.running()) {
    std::string ready;
    if (!child_.ReadLine(&ready, kReadyTimeout) || ready != "ready") {
      ADD_FAILURE() << StationProgramPath() << " did not say ready (said \"" << ready
                    << "\")";
      child_.Kill();
    }
  }
}

bool StationClient::Send(const std::string& command) {
  sent_at_ = Clock::now();
  return child_.SendLine(command);
}

StationReply StationClient::Receive(std::chrono::milliseconds timeout) {
  StationReply reply;
  reply.answered = child_.ReadLine(&reply.line, timeout);
  reply.elapsed = Clock::now() - sent_at_;
  if (reply.answered) ParseAnswer(&reply);
  return reply;
}

StationReply StationClient::Ask(const std::string& command,
                                std::chrono::milliseconds timeout) {
  StationReply reply;
  if (Send(command)) reply = Receive(timeout);
  if (reply.answered) return reply;
  if (child_.output_ended() && child_.running()) {
    // Its output ended: the station is gone (a fatal stop, a crash).
    const pid_t pid = child_.pid();
    const int exit_code = child_.Wait(std::chrono::seconds(1));
    ADD_FAILURE() << "station " << pid << " ended (exit code " << exit_code
                  << ") instead of answering \"" << command << "\"";
  } else {
    ADD_FAILURE() << "station " << child_.pid() << " gave no answer to \"" << command
                  << "\" within " << timeout.count() << " ms";
  }
  return reply;
}

int StationClient::Code(const std::string& command) { return Ask(command).code; }

std::string StationProgramPath() { return TestProgramPath("zuna_station"); }

}  // namespace zuna::testing
