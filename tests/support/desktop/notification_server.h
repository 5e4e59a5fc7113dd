// A freedesktop notification service of a test's own: it owns
// org.freedesktop.Notifications on a given bus (a PrivateSessionBus),
// answers Notify, GetCapabilities, GetServerInformation and
// CloseNotification as a desktop's daemon would, and keeps every
// notification it is sent for the test to look at.  Nothing is shown.
//
// Threads: the service answers on a thread of its own (a GLib main loop);
// the public methods may be called from any thread.  Ownership: the
// connection and the thread belong to the object; the destructor stops
// the thread and leaves the bus.
#ifndef ZUNA_TESTS_SUPPORT_DESKTOP_NOTIFICATION_SERVER_H_
#define ZUNA_TESTS_SUPPORT_DESKTOP_NOTIFICATION_SERVER_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zuna::testing {

struct ReceivedNotice {
  std::string app_name;
  std::string summary;
  std::string body;
};

class NotificationServer final {
 public:
  // Connects to `bus_address` and owns the name before returning;
  // `capabilities` are what GetCapabilities answers ("body",
  // "body-markup", ...).  A failure fails the test (ADD_FAILURE).
  NotificationServer(const std::string& bus_address,
                     std::vector<std::string> capabilities);
  ~NotificationServer();
  NotificationServer(const NotificationServer&) = delete;
  NotificationServer& operator=(const NotificationServer&) = delete;

  // Every notification received so far, in order.
  std::vector<ReceivedNotice> Received() const;

  // Called on the service's thread for each method call (GDBus callback).
  void Answer(const char* method, void* parameters, void* invocation);

 private:
  std::vector<std::string> capabilities_;
  struct Glib;  // GLib objects, kept out of this header
  Glib* glib_ = nullptr;
  std::thread loop_thread_;
  mutable std::mutex mutex_;
  std::vector<ReceivedNotice> received_;  // guarded by mutex_
  uint32_t next_id_ = 1;                  // service thread only
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_DESKTOP_NOTIFICATION_SERVER_H_
