#include "tests/support/desktop/notification_server.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace zuna::testing {
namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";

// The interface as the Desktop Notifications protocol gives it.
constexpr const char* kIntrospection =
    "<node><interface name='org.freedesktop.Notifications'>"
    "<method name='Notify'>"
    "<arg type='s' direction='in'/><arg type='u' direction='in'/>"
    "<arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='s' direction='in'/><arg type='as' direction='in'/>"
    "<arg type='a{sv}' direction='in'/><arg type='i' direction='in'/>"
    "<arg type='u' direction='out'/></method>"
    "<method name='GetCapabilities'><arg type='as' direction='out'/></method>"
    "<method name='GetServerInformation'>"
    "<arg type='s' direction='out'/><arg type='s' direction='out'/>"
    "<arg type='s' direction='out'/><arg type='s' direction='out'/></method>"
    "<method name='CloseNotification'><arg type='u' direction='in'/></method>"
    "<signal name='NotificationClosed'><arg type='u'/><arg type='u'/></signal>"
    "<signal name='ActionInvoked'><arg type='u'/><arg type='s'/></signal>"
    "</interface></node>";

void OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                  const gchar* method, GVariant* parameters,
                  GDBusMethodInvocation* invocation, gpointer server) {
  static_cast<NotificationServer*>(server)->Answer(method, parameters, invocation);
}

const GDBusInterfaceVTable kVTable = {OnMethodCall, nullptr, nullptr, {}};

}  // namespace

struct NotificationServer::Glib {
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  GDBusConnection* connection = nullptr;
  GDBusNodeInfo* node = nullptr;
  guint registration = 0;
};

NotificationServer::NotificationServer(const std::string& bus_address,
                                       std::vector<std::string> capabilities)
    : capabilities_(std::move(capabilities)), glib_(new Glib) {
  glib_->context = g_main_context_new();
  glib_->loop = g_main_loop_new(glib_->context, FALSE);
  // Calls are dispatched to the context that is the thread's default
  // when the object is registered: the loop thread's.
  g_main_context_push_thread_default(glib_->context);
  GError* error = nullptr;
  glib_->connection = g_dbus_connection_new_for_address_sync(
      bus_address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (glib_->connection != nullptr) {
    glib_->node = g_dbus_node_info_new_for_xml(kIntrospection, &error);
  }
  if (glib_->node != nullptr) {
    glib_->registration = g_dbus_connection_register_object(
        glib_->connection, kPath, glib_->node->interfaces[0], &kVTable, this, nullptr,
        &error);
  }
  // Owning the name last: a caller that finds it finds the object too.
  GVariant* reply = nullptr;
  if (glib_->registration != 0) {
    reply = g_dbus_connection_call_sync(
        glib_->connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", kName, 0u),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  }
  g_main_context_pop_thread_default(glib_->context);
  if (reply == nullptr) {
    ADD_FAILURE() << "notification service not started: "
                  << (error ? error->message : "?");
    if (error) g_error_free(error);
    return;
  }
  guint32 answer = 0;
  g_variant_get(reply, "(u)", &answer);
  g_variant_unref(reply);
  EXPECT_EQ(answer, 1u) << "not the primary owner of " << kName;
  loop_thread_ = std::thread([this] {
    g_main_context_push_thread_default(glib_->context);
    g_main_loop_run(glib_->loop);
    g_main_context_pop_thread_default(glib_->context);
  });
}

NotificationServer::~NotificationServer() {
  if (loop_thread_.joinable()) {
    // Quit from inside the loop: a quit before the loop runs would be lost.
    g_main_context_invoke(
        glib_->context,
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        glib_->loop);
    loop_thread_.join();
  }
  if (glib_->registration != 0) {
    g_dbus_connection_unregister_object(glib_->connection, glib_->registration);
  }
  if (glib_->connection != nullptr) {
    g_dbus_connection_close_sync(glib_->connection, nullptr, nullptr);
    g_object_unref(glib_->connection);
  }
  if (glib_->node != nullptr) g_dbus_node_info_unref(glib_->node);
  g_main_loop_unref(glib_->loop);
  g_main_context_unref(glib_->context);
  delete glib_;
}

std::vector<ReceivedNotice> NotificationServer::Received() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return received_;
}

void NotificationServer::Answer(const char* method, void* parameters_pointer,
                                void* invocation_pointer) {
  auto* parameters = static_cast<GVariant*>(parameters_pointer);
  auto* invocation = static_cast<GDBusMethodInvocation*>(invocation_pointer);
  const std::string name = method;
  if (name == "Notify") {
    const gchar* app_name = nullptr;
    const gchar* summary = nullptr;
    const gchar* body = nullptr;
    g_variant_get_child(parameters, 0, "&s", &app_name);
    g_variant_get_child(parameters, 3, "&s", &summary);
    g_variant_get_child(parameters, 4, "&s", &body);
    {
      std::lock_guard<std::mutex> hold(mutex_);
      received_.push_back({app_name, summary, body});
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", next_id_++));
  } else if (name == "GetCapabilities") {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
    for (const std::string& c : capabilities_) g_variant_builder_add(&builder, "s", c.c_str());
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &builder));
  } else if (name == "GetServerInformation") {
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(ssss)", "zuna-test", "Zuna", "1", "1.2"));
  } else {
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
}

}  // namespace zuna::testing
