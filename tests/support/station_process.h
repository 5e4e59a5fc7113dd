// A helper program of the build running as another station: started with
// pipes on its stdin and stdout, given one command line at a time, each
// answered with one line.  Tests order the stations' steps by waiting for
// these answers, never by sleeping.
//
//   StationProcess station(StationPath());
//   ASSERT_EQ(station.Ask("open a /tmp/x/ZUN.DAT w write"), "0");
//   ... the parent tries what the station's share mode must refuse ...
//   station.Kill();  // SIGKILL: no chance to clean up
//
// The program must print one line ("ready") when it is ready for commands.
// Ownership: the child belongs to this object; the destructor closes its
// stdin (a well-behaved station exits) and waits for it, killing it if it
// has not ended within a few seconds.  Not thread-safe; one test thread.
#ifndef ZUNA_TESTS_SUPPORT_STATION_PROCESS_H_
#define ZUNA_TESTS_SUPPORT_STATION_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace zuna::testing {

class StationProcess final {
 public:
  // Starts `path` with `args` and waits for its first line.  A station that
  // cannot start or says nothing fails the test (ADD_FAILURE); every Ask
  // then answers "" .
  explicit StationProcess(const std::string& path,
                          const std::vector<std::string>& args = {});
  ~StationProcess();
  StationProcess(const StationProcess&) = delete;
  StationProcess& operator=(const StationProcess&) = delete;

  // Sends `command` (a newline is added) and returns the answer line
  // without its newline; "" when the station is gone or stays silent for
  // ten seconds.
  std::string Ask(const std::string& command);

  // Kills the station with SIGKILL and waits until it is gone, so every
  // lock it held has been released when this returns.
  void Kill();

  pid_t pid() const { return pid_; }

 private:
  // Reads one line from the station; false on end of file or timeout.
  bool ReadLine(std::string* line);
  void Reap(bool kill_first);

  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string pending_;  // read but not yet returned
};

// The OS-layer station program built for the tests (os_lock_station).
std::string OsLockStationPath();

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_STATION_PROCESS_H_
