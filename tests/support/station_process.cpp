#include "tests/support/station_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace zuna::testing {

namespace {

constexpr int kAnswerTimeoutMs = 10000;
constexpr auto kExitWait = std::chrono::seconds(5);

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

StationProcess::StationProcess(const std::string& path,
                               const std::vector<std::string>& args) {
  int in_pipe[2];   // parent writes, child reads
  int out_pipe[2];  // child writes, parent reads
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

  pid_ = ::fork();
  if (pid_ == 0) {
    // dup2 clears close-on-exec on the copies; everything else of the test
    // (its open Files among them) is closed at exec.
    ::dup2(in_pipe[0], STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  to_child_ = in_pipe[1];
  from_child_ = out_pipe[0];
  if (pid_ < 0) {
    CloseIfOpen(to_child_);
    CloseIfOpen(from_child_);
    ADD_FAILURE() << "fork failed";
    return;
  }
  std::string ready;
  if (!ReadLine(&ready)) {
    ADD_FAILURE() << path << " did not start";
    Reap(/*kill_first=*/true);
  }
}

StationProcess::~StationProcess() { Reap(/*kill_first=*/false); }

std::string StationProcess::Ask(const std::string& command) {
  if (to_child_ < 0) return "";
  const std::string line = command + "\n";
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(to_child_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return "";
    done += static_cast<size_t>(n);
  }
  std::string answer;
  return ReadLine(&answer) ? answer : "";
}

bool StationProcess::ReadLine(std::string* line) {
  while (true) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      *line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return true;
    }
    if (from_child_ < 0) return false;
    pollfd fd = {from_child_, POLLIN, 0};
    const int ready = ::poll(&fd, 1, kAnswerTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char buffer[512];
    const ssize_t n = ::read(from_child_, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

void StationProcess::Kill() { Reap(/*kill_first=*/true); }

void StationProcess::Reap(bool kill_first) {
  CloseIfOpen(to_child_);  // end of input: a station exits by itself
  if (pid_ > 0) {
    if (kill_first) ::kill(pid_, SIGKILL);
    const auto deadline = std::chrono::steady_clock::now() + kExitWait;
    int status = 0;
    while (true) {
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_ || (done < 0 && errno != EINTR)) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pid_ = -1;
  }
  CloseIfOpen(from_child_);
}

std::string OsLockStationPath() {
  // Built into the directory of the test binaries.
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return "os_lock_station";
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + "os_lock_station";
}

}  // namespace zuna::testing
