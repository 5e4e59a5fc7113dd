// A program of the build running beside a test as a child process, with
// pipes on its stdin and stdout: the test writes it command lines and reads
// its answer lines, each read bounded by a timeout.  Tests order processes'
// steps by waiting for these lines, never by sleeping.  The stations of the
// multi-process tests (StationClient, file_lock_test's lock station) are
// built on it.
//
//   ChildProcess child(TestProgramPath("os_lock_station"), {});
//   std::string line;
//   if (child.SendLine("close a") &&
//       child.ReadLine(&line, std::chrono::seconds(10))) { ... }
//   child.Kill();  // SIGKILL: no chance to clean up
//
// Ownership: the child belongs to this object.  The destructor closes the
// child's stdin (a program reading commands then ends by itself) and waits
// for it, killing it when it has not ended within a few seconds.  The
// child's stderr is the test's, so what a child complains about shows in
// the test's output.  Every other descriptor of the test (files a test holds
// open among them) is closed in the child, so it never inherits an open
// file description and the locks on it.
//
// Threads: one test thread per object.  Writing to a child that died must
// not kill the test, so the first ChildProcess makes the process ignore
// SIGPIPE.
#ifndef ZUNA_TESTS_SUPPORT_CHILD_PROCESS_H_
#define ZUNA_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace zuna::testing {

class ChildProcess final {
 public:
  // Starts `path` with `args` (argv[1]...).  A program that cannot be
  // started fails the test (ADD_FAILURE); the object then has no child,
  // SendLine and ReadLine return false and Wait returns -1.
  ChildProcess(const std::string& path, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Writes `line` and a newline to the child's stdin.  False when its
  // stdin is closed or the child is gone.
  bool SendLine(const std::string& line);

  // Reads the next line the child prints, without its newline.  False on
  // end of output (output_ended() is true from then on) or when no whole
  // line comes within `timeout`.
  bool ReadLine(std::string* line, std::chrono::milliseconds timeout);

  // Waits up to `timeout` for the child to end and returns its exit code;
  // -1 when it was ended by a signal, did not end in time (it is then
  // killed) or there is no child.  Its stdin stays open.
  int Wait(std::chrono::milliseconds timeout);

  // Closes the child's stdin, kills the child with SIGKILL and waits until
  // it is gone, so every lock and open file description it held is
  // released when this returns.
  void Kill();

  bool running() const { return pid_ > 0; }
  // True once the child's stdout has reached its end (it exited, crashed
  // or closed it).
  bool output_ended() const { return from_child_ < 0; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string pending_;  // read but not yet returned
};

// The path of `program`, a helper built into the directory of the test
// binaries (zuna_station, os_lock_station).
std::string TestProgramPath(const std::string& program);

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_CHILD_PROCESS_H_
