// The test's end of a zuna_station process (tests/stations/station_main.cpp):
// starts the program with pipes on its stdin and stdout, sends it one
// command line at a time and reads the one-line answer, timing each call.
// Tests step several stations in lockstep by waiting for answers, never by
// sleeping.
//
//   StationClient a;                       // command mode, waits for "ready"
//   ASSERT_EQ(a.Code("share " + dir.File("ZUN")), 0);
//   StationReply r = a.Ask("get 1");       // r.code, r.value, r.elapsed
//   a.Kill();                              // SIGKILL: no chance to clean up
//
//   StationClient churn({"churn", path, "7", "300", "--id", "1", "--log", log});
//   std::string summary;
//   churn.ReadLine(&summary, std::chrono::seconds(60));
//   int exit_code = churn.Wait(std::chrono::seconds(5));
//
// Ownership and threads as ChildProcess (tests/support/child_process.h),
// which this builds on: the destructor closes the station's stdin (a station
// in command mode then ends by itself) and waits for it; its stderr is the
// test's; one test thread per client.
#ifndef ZUNA_TESTS_SUPPORT_STATION_CLIENT_H_
#define ZUNA_TESTS_SUPPORT_STATION_CLIENT_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace zuna::testing {

// One answer of a station.
struct StationReply {
  bool answered = false;  // false: no line within the timeout, or the station is gone
  std::string line;       // the whole answer, without its newline
  int code = -1;          // its leading number: 0 or the driver's error number
  std::string value;      // what follows that number and one blank
  std::chrono::steady_clock::duration elapsed{};  // from sending to the answer

  double seconds() const {
    return std::chrono::duration<double>(elapsed).count();
  }
};

class StationClient final {
 public:
  // Starts zuna_station with `args`.  In command mode (no arguments, or
  // options only) it also waits for the station's "ready"; a station that
  // cannot start or stays silent fails the test (ADD_FAILURE), and every
  // Ask then answers unanswered with code -1.
  explicit StationClient(const std::vector<std::string>& args = {});
  StationClient(const StationClient&) = delete;
  StationClient& operator=(const StationClient&) = delete;

  // Sends `command` (a newline is added) and waits up to `timeout` for the
  // answer line.
  StationReply Ask(const std::string& command,
                   std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Ask(command).code.
  int Code(const std::string& command);

  // The two halves of Ask, for a command whose answer is to wait (the
  // station waits for another): Send returns at once; Receive waits up to
  // `timeout` for the answer and, unlike Ask, reports no failure when none
  // came (reply.answered is false).
  bool Send(const std::string& command);
  StationReply Receive(std::chrono::milliseconds timeout);

  // Reads one line the station prints without being asked (churn's
  // summary).  False on end of output or timeout.
  bool ReadLine(std::string* line, std::chrono::milliseconds timeout) {
    return child_.ReadLine(line, timeout);
  }

  // Waits up to `timeout` for the station to end and returns its exit
  // code; -1 when it was ended by a signal, or did not end in time (it is
  // then killed).
  int Wait(std::chrono::milliseconds timeout) { return child_.Wait(timeout); }

  // Kills the station with SIGKILL and waits until it is gone, so every
  // lock and open file description it held is released when this returns.
  void Kill() { child_.Kill(); }

  bool running() const { return child_.running(); }
  pid_t pid() const { return child_.pid(); }

 private:
  ChildProcess child_;
  std::chrono::steady_clock::time_point sent_at_{};
};

// The station program built for the tests, beside the test binaries.
std::string StationProgramPath();

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_STATION_CLIENT_H_
