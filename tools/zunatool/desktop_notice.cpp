#include "tools/zunatool/desktop_notice.h"

#include <libnotify/notify.h>

#include <memory>

namespace zuna::tool {
namespace {

// Owned GLib memory, freed with g_free / g_object_unref / g_error_free.
struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
struct GObjectDeleter {
  void operator()(void* p) const { g_object_unref(p); }
};
struct GErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};

// A service that reads markup in bodies would take "<" or "&" in a name
// for the start of a tag; one that does not shows the text as it is.
bool ServiceReadsMarkup() {
  GList* caps = notify_get_server_caps();
  bool markup = false;
  for (GList* c = caps; c != nullptr; c = c->next) {
    markup = markup || g_strcmp0(static_cast<const char*>(c->data), "body-markup") == 0;
  }
  g_list_free_full(caps, g_free);
  return markup;
}

// libnotify warns on stderr ("Failed to connect to proxy") before it
// returns the same failure as an error; the caller reports that one, in
// Russian, so the warning would only say it twice.
void Quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

}  // namespace

std::optional<std::string> ShowDesktopNotice(const std::string& summary,
                                             const std::string& body) {
  static const guint quiet = g_log_set_handler(
      "libnotify", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
      Quiet, nullptr);
  (void)quiet;
  if (!notify_is_initted() && !notify_init(kNoticeApplication)) {
    return std::string("libnotify не запустилась");
  }
  std::string text = body;
  if (ServiceReadsMarkup()) {
    std::unique_ptr<char, GFreeDeleter> escaped(g_markup_escape_text(body.c_str(), -1));
    text = escaped.get();
  }
  std::unique_ptr<NotifyNotification, GObjectDeleter> notice(
      notify_notification_new(summary.c_str(), text.c_str(), "x-office-calendar"));
  notify_notification_set_app_name(notice.get(), kNoticeApplication);
  GError* raw_error = nullptr;
  if (notify_notification_show(notice.get(), &raw_error)) return std::nullopt;
  std::unique_ptr<GError, GErrorDeleter> error(raw_error);
  return std::string(error ? error->message : "служба уведомлений не ответила");
}

}  // namespace zuna::tool
