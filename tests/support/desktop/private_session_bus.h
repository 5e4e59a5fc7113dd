// A D-Bus session bus of a test's own: a dbus-daemon child process with a
// configuration that activates no services, so a name on it is owned only
// by what the test starts (a desktop's notification daemon installed on
// the machine is never started by a call to its name).
//
//   PrivateSessionBus bus(dir.path());
//   RunProgram(..., {"DBUS_SESSION_BUS_ADDRESS=" + bus.address()});
//
// Ownership: the daemon belongs to the object and is killed with it.  A
// daemon that cannot start fails the test (ADD_FAILURE); address() is then
// empty.
#ifndef ZUNA_TESTS_SUPPORT_DESKTOP_PRIVATE_SESSION_BUS_H_
#define ZUNA_TESTS_SUPPORT_DESKTOP_PRIVATE_SESSION_BUS_H_

#include <memory>
#include <string>

#include "tests/support/child_process.h"

namespace zuna::testing {

class PrivateSessionBus final {
 public:
  // Writes the daemon's configuration into `directory` and starts it.
  explicit PrivateSessionBus(const std::string& directory);
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // The bus's address, as DBUS_SESSION_BUS_ADDRESS takes it.
  const std::string& address() const { return address_; }

 private:
  std::unique_ptr<ChildProcess> daemon_;
  std::string address_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_DESKTOP_PRIVATE_SESSION_BUS_H_
