// One desktop notification, through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus) with libnotify.
//
// The session bus is the one DBUS_SESSION_BUS_ADDRESS names (a systemd
// user service has it in its environment).  The call waits for the
// service's answer, at most D-Bus's default reply time (25 seconds).
//
// Threads: libnotify keeps process-wide state; call from one thread at a
// time.
#ifndef ZUNA_TOOLS_ZUNATOOL_DESKTOP_NOTICE_H_
#define ZUNA_TOOLS_ZUNATOOL_DESKTOP_NOTICE_H_

#include <optional>
#include <string>

namespace zuna::tool {

// The name the notifications come from.
inline constexpr const char* kNoticeApplication = "Zuna";

// Shows a notification with `summary` and `body` (plain UTF-8 text; it is
// escaped for a service that reads markup in bodies).  nullopt once the
// service has taken it; otherwise what went wrong, as D-Bus or libnotify
// said it (no session bus, no service on it, no answer).
std::optional<std::string> ShowDesktopNotice(const std::string& summary,
                                             const std::string& body);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_DESKTOP_NOTICE_H_
