#include "tests/support/station_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <mutex>
#include <thread>

extern char** environ;

namespace zuna::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReadyTimeout = std::chrono::seconds(10);
constexpr auto kExitWait = std::chrono::seconds(5);

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void IgnoreSigpipeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

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

StationClient::StationClient(const std::vector<std::string>& args) {
  IgnoreSigpipeOnce();
  const std::string path = StationProgramPath();
  int in_pipe[2];   // test writes, station reads
  int out_pipe[2];  // station writes, test reads
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    ::close(in_pipe[0]);
    ::close(in_pipe[1]);
    ADD_FAILURE() << "pipe failed";
    return;
  }
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // dup2 clears close-on-exec on the copies; every other descriptor of the
  // test (files a test holds open among them) is closed at exec, so the
  // station never inherits an open file description and its locks.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  to_child_ = in_pipe[1];
  from_child_ = out_pipe[0];
  if (spawned != 0) {
    CloseInput();
    CloseOutput();
    ADD_FAILURE() << "cannot start " << path << ": errno " << spawned;
    return;
  }
  pid_ = pid;
  if (args.empty()) {
    std::string ready;
    if (!ReadLine(&ready, kReadyTimeout) || ready != "ready") {
      ADD_FAILURE() << path << " did not say ready (said \"" << ready << "\")";
      Kill();
    }
  }
}

StationClient::~StationClient() {
  CloseInput();  // end of input: a station in command mode ends by itself
  if (pid_ > 0) Reap(kExitWait);
  CloseOutput();
}

bool StationClient::SendLine(const std::string& line) {
  if (to_child_ < 0) return false;
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(to_child_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

StationReply StationClient::Ask(const std::string& command,
                                std::chrono::milliseconds timeout) {
  StationReply reply;
  const Clock::time_point start = Clock::now();
  if (SendLine(command + "\n")) {
    reply.answered = ReadLine(&reply.line, timeout);
  }
  reply.elapsed = Clock::now() - start;
  if (reply.answered) {
    ParseAnswer(&reply);
  } else if (from_child_ < 0 && pid_ > 0) {
    // Its output ended: the station is gone (a fatal stop, a crash).
    const pid_t pid = pid_;
    const int exit_code = Reap(std::chrono::seconds(1));
    ADD_FAILURE() << "station " << pid << " ended (exit code " << exit_code
                  << ") instead of answering \"" << command << "\"";
  } else {
    ADD_FAILURE() << "station " << pid_ << " gave no answer to \"" << command
                  << "\" within " << timeout.count() << " ms";
  }
  return reply;
}

int StationClient::Code(const std::string& command) { return Ask(command).code; }

bool StationClient::ReadLine(std::string* line,
                             std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (true) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      *line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return true;
    }
    if (from_child_ < 0) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd fd = {from_child_, POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (ready == 0) continue;  // the deadline check above ends the wait
    char buffer[4096];
    const ssize_t n = ::read(from_child_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      CloseOutput();
      return false;
    }
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

int StationClient::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  return Reap(timeout);
}

void StationClient::Kill() {
  CloseInput();
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    Reap(kExitWait);
  }
}

int StationClient::Reap(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) {
      pid_ = -1;
      return -1;
    }
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void StationClient::CloseInput() { CloseFd(to_child_); }
void StationClient::CloseOutput() { CloseFd(from_child_); }

std::string StationProgramPath() {
  // Built into the directory of the test binaries.
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return "zuna_station";
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + "zuna_station";
}

}  // namespace zuna::testing
