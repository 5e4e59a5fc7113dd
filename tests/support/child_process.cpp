#include "tests/support/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <mutex>
#include <thread>

extern char** environ;

namespace zuna::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kExitWait = std::chrono::seconds(5);

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void IgnoreSigpipeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

ChildProcess::ChildProcess(const std::string& path,
                           const std::vector<std::string>& args) {
  IgnoreSigpipeOnce();
  int in_pipe[2];   // test writes, child reads
  int out_pipe[2];  // child writes, test reads
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
  // test is closed at exec (see the header).
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
    CloseFd(to_child_);
    CloseFd(from_child_);
    ADD_FAILURE() << "cannot start " << path << ": errno " << spawned;
    return;
  }
  pid_ = pid;
}

ChildProcess::~ChildProcess() {
  CloseFd(to_child_);  // end of input: a program reading commands ends by itself
  Wait(kExitWait);
  CloseFd(from_child_);
}

bool ChildProcess::SendLine(const std::string& line) {
  if (to_child_ < 0) return false;
  const std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(to_child_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ChildProcess::ReadLine(std::string* line, std::chrono::milliseconds timeout) {
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
      CloseFd(from_child_);
      return false;
    }
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
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

void ChildProcess::Kill() {
  // The signal goes first: closing stdin first would let the child see the
  // end of its input and shut down cleanly (releasing holds, unlocking)
  // before the kill lands, which is not the crash a test asks for.
  if (pid_ > 0) ::kill(pid_, SIGKILL);
  CloseFd(to_child_);
  if (pid_ > 0) Wait(kExitWait);
}

std::string TestProgramPath(const std::string& program) {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return program;
  const std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + program;
}

}  // namespace zuna::testing
