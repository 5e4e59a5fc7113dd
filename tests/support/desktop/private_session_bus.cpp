#include "tests/support/desktop/private_session_bus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace zuna::testing {
namespace {

constexpr const char* kDaemon = "/usr/bin/dbus-daemon";

// A session bus that lets everyone talk to and own anything, with no
// <servicedir>: nothing is ever activated.
constexpr const char* kConfiguration =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig>\n"
    "  <type>session</type>\n"
    "  <listen>unix:tmpdir=/tmp</listen>\n"
    "  <auth>EXTERNAL</auth>\n"
    "  <policy context=\"default\">\n"
    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
    "    <allow eavesdrop=\"true\"/>\n"
    "    <allow own=\"*\"/>\n"
    "  </policy>\n"
    "</busconfig>\n";

}  // namespace

PrivateSessionBus::PrivateSessionBus(const std::string& directory) {
  const std::string config = directory + "/session-bus.conf";
  std::ofstream(config) << kConfiguration;
  daemon_ = std::make_unique<ChildProcess>(
      kDaemon,
      std::vector<std::string>{"--config-file=" + config, "--nofork", "--print-address=1"});
  if (!daemon_->ReadLine(&address_, std::chrono::seconds(10)) || address_.empty()) {
    ADD_FAILURE() << kDaemon << " printed no address";
    address_.clear();
  }
}

PrivateSessionBus::~PrivateSessionBus() { daemon_->Kill(); }

}  // namespace zuna::testing
