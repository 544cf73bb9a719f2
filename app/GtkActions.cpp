#include "GtkActions.h"

#include <dbus/dbus.h>

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "Support/SystemLog.h"

namespace quillfen {

namespace {

constexpr const char* kQuitActionsLogCategory = "handoff";

const char* const kIntrospection =
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
    "<node>\n"
    "  <interface name=\"org.gtk.Actions\">\n"
    "    <method name=\"List\"><arg type=\"as\" name=\"list\" direction=\"out\"/></method>\n"
    "    <method name=\"Describe\"><arg type=\"s\" name=\"action_name\" direction=\"in\"/>"
    "<arg type=\"(bgav)\" name=\"description\" direction=\"out\"/></method>\n"
    "    <method name=\"DescribeAll\"><arg type=\"a{s(bgav)}\" name=\"descriptions\" "
    "direction=\"out\"/></method>\n"
    "    <method name=\"Activate\"><arg type=\"s\" name=\"action_name\" direction=\"in\"/>"
    "<arg type=\"av\" name=\"parameter\" direction=\"in\"/>"
    "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>\n"
    "    <method name=\"SetState\"><arg type=\"s\" name=\"action_name\" direction=\"in\"/>"
    "<arg type=\"v\" name=\"value\" direction=\"in\"/>"
    "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>\n"
    "    <signal name=\"Changed\"><arg type=\"as\" name=\"removals\"/><arg type=\"a{sb}\" "
    "name=\"enable_changes\"/>"
    "<arg type=\"a{sv}\" name=\"state_changes\"/><arg type=\"a{s(bgav)}\" name=\"additions\"/></signal>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "    <method name=\"Introspect\"><arg type=\"s\" name=\"xml_data\" direction=\"out\"/></method>\n"
    "  </interface>\n"
    "</node>\n";

// What GLib reads as an action that is enabled, takes no parameter (the empty signature) and has
// no state.
bool appendDescription(DBusMessageIter* into) {
    DBusMessageIter description, state;
    const dbus_bool_t enabled = TRUE;
    const char* noParameter = "";
    return dbus_message_iter_open_container(into, DBUS_TYPE_STRUCT, nullptr, &description) &&
           dbus_message_iter_append_basic(&description, DBUS_TYPE_BOOLEAN, &enabled) &&
           dbus_message_iter_append_basic(&description, DBUS_TYPE_SIGNATURE, &noParameter) &&
           dbus_message_iter_open_container(&description, DBUS_TYPE_ARRAY, "v", &state) &&
           dbus_message_iter_close_container(&description, &state) &&
           dbus_message_iter_close_container(into, &description);
}

// The first argument when it is a string; empty otherwise.
std::string firstString(DBusMessage* message, DBusMessageIter* iter) {
    if (!dbus_message_iter_init(message, iter) || dbus_message_iter_get_arg_type(iter) != DBUS_TYPE_STRING)
        return {};
    const char* text = nullptr;
    dbus_message_iter_get_basic(iter, &text);
    return text != nullptr ? text : "";
}

}  // namespace

// libdbus's hooks into the main loop: a socket notifier for each way a watch waits, a timer for
// each timeout, and the dispatch queued rather than run inside libdbus's own call.
struct GtkActions::Callbacks {
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    static void forget(QObject* object) {
        if (object == nullptr) return;
        if (auto* notifier = qobject_cast<QSocketNotifier*>(object)) notifier->setEnabled(false);
        if (auto* timer = qobject_cast<QTimer*>(object)) timer->stop();
        // It may be the one whose signal runs now.
        object->deleteLater();
    }

    static dbus_bool_t addWatch(DBusWatch* watch, void* data) {
        auto* self = static_cast<GtkActions*>(data);
        const int fd = dbus_watch_get_unix_fd(watch);
        const unsigned int flags = dbus_watch_get_flags(watch);
        auto* notifiers = new Watch;
        const auto notifier = [&](QSocketNotifier::Type type, unsigned int condition) {
            auto* made = new QSocketNotifier(fd, type, self);
            QObject::connect(made, &QSocketNotifier::activated, self, [self, watch, condition] {
                dbus_watch_handle(watch, condition);
                self->dispatchLater();
            });
            return made;
        };
        if ((flags & DBUS_WATCH_READABLE) != 0)
            notifiers->read = notifier(QSocketNotifier::Read, DBUS_WATCH_READABLE);
        if ((flags & DBUS_WATCH_WRITABLE) != 0)
            notifiers->write = notifier(QSocketNotifier::Write, DBUS_WATCH_WRITABLE);
        dbus_watch_set_data(watch, notifiers, [](void* p) {
            auto* gone = static_cast<Watch*>(p);
            forget(gone->read);
            forget(gone->write);
            delete gone;
        });
        toggleWatch(watch, data);
        return TRUE;
    }

    static void removeWatch(DBusWatch* watch, void*) { dbus_watch_set_data(watch, nullptr, nullptr); }

    static void toggleWatch(DBusWatch* watch, void*) {
        auto* notifiers = static_cast<Watch*>(dbus_watch_get_data(watch));
        if (notifiers == nullptr) return;
        const bool enabled = dbus_watch_get_enabled(watch);
        for (QSocketNotifier* notifier : {notifiers->read, notifiers->write})
            if (notifier != nullptr) notifier->setEnabled(enabled);
    }

    static dbus_bool_t addTimeout(DBusTimeout* timeout, void* data) {
        auto* self = static_cast<GtkActions*>(data);
        auto* timer = new QTimer(self);
        QObject::connect(timer, &QTimer::timeout, self, [self, timeout] {
            dbus_timeout_handle(timeout);
            self->dispatchLater();
        });
        dbus_timeout_set_data(timeout, timer, [](void* p) { forget(static_cast<QTimer*>(p)); });
        toggleTimeout(timeout, data);
        return TRUE;
    }

    static void removeTimeout(DBusTimeout* timeout, void*) {
        dbus_timeout_set_data(timeout, nullptr, nullptr);
    }

    static void toggleTimeout(DBusTimeout* timeout, void*) {
        auto* timer = static_cast<QTimer*>(dbus_timeout_get_data(timeout));
        if (timer == nullptr) return;
        if (dbus_timeout_get_enabled(timeout))
            timer->start(dbus_timeout_get_interval(timeout));
        else
            timer->stop();
    }

    static void dispatchStatus(DBusConnection*, DBusDispatchStatus status, void* data) {
        if (status == DBUS_DISPATCH_DATA_REMAINS) static_cast<GtkActions*>(data)->dispatchLater();
    }

    static DBusHandlerResult message(DBusConnection*, DBusMessage* message, void* data) {
        if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL)
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        static_cast<GtkActions*>(data)->answer(message);
        return DBUS_HANDLER_RESULT_HANDLED;
    }
};

GtkActions::GtkActions(std::vector<std::string> actions, std::function<void(const std::string&)> activate,
                       QObject* parent)
    : QObject(parent), actions_(std::move(actions)), activate_(std::move(activate)) {}

GtkActions::~GtkActions() {
    if (connection_ == nullptr) return;
    dbus_connection_set_dispatch_status_function(connection_, nullptr, nullptr, nullptr);
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

bool GtkActions::start(const std::string& objectPath) {
    DBusError error;
    dbus_error_init(&error);
    connection_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (connection_ == nullptr) {
        SystemLog::notice(kQuitActionsLogCategory,
                          std::string("no session bus for the actions GNOME Shell's Quit runs: ") +
                              (dbus_error_is_set(&error) ? error.message : "no reason given"));
        dbus_error_free(&error);
        return false;
    }
    // A session bus that goes away ends the session; it must not end the process before its quit.
    dbus_connection_set_exit_on_disconnect(connection_, FALSE);
    static const DBusObjectPathVTable vtable{nullptr, &Callbacks::message, nullptr, nullptr, nullptr,
                                             nullptr};
    if (!dbus_connection_set_watch_functions(connection_, &Callbacks::addWatch, &Callbacks::removeWatch,
                                             &Callbacks::toggleWatch, this, nullptr) ||
        !dbus_connection_set_timeout_functions(connection_, &Callbacks::addTimeout, &Callbacks::removeTimeout,
                                               &Callbacks::toggleTimeout, this, nullptr) ||
        !dbus_connection_try_register_object_path(connection_, objectPath.c_str(), &vtable, this, &error)) {
        SystemLog::notice(kQuitActionsLogCategory,
                          std::string("could not offer the actions GNOME Shell's Quit runs: ") +
                              (dbus_error_is_set(&error) ? error.message : "out of memory"));
        dbus_error_free(&error);
        dbus_connection_close(connection_);
        dbus_connection_unref(connection_);
        connection_ = nullptr;
        return false;
    }
    dbus_connection_set_dispatch_status_function(connection_, &Callbacks::dispatchStatus, this, nullptr);
    const char* unique = dbus_bus_get_unique_name(connection_);
    uniqueName_ = unique != nullptr ? unique : "";
    // What came with the greeting waits already.
    dispatchLater();
    return true;
}

void GtkActions::dispatchLater() {
    if (dispatchQueued_ || connection_ == nullptr) return;
    dispatchQueued_ = true;
    QMetaObject::invokeMethod(
        this, [this] { dispatch(); }, Qt::QueuedConnection);
}

void GtkActions::dispatch() {
    dispatchQueued_ = false;
    while (connection_ != nullptr && dbus_connection_dispatch(connection_) == DBUS_DISPATCH_DATA_REMAINS) {
    }
}

void GtkActions::answer(DBusMessage* call) {
    const std::string interface =
        dbus_message_get_interface(call) != nullptr ? dbus_message_get_interface(call) : "";
    const std::string member = dbus_message_get_member(call) != nullptr ? dbus_message_get_member(call) : "";
    const auto offered = [&](const std::string& name) {
        return std::find(actions_.begin(), actions_.end(), name) != actions_.end();
    };
    DBusMessage* reply = nullptr;
    std::string activated;
    const auto refuse = [&](const char* error, const std::string& text) {
        reply = dbus_message_new_error(call, error, text.c_str());
    };
    DBusMessageIter in, out;
    if (interface == "org.freedesktop.DBus.Introspectable" && member == "Introspect") {
        reply = dbus_message_new_method_return(call);
        if (reply != nullptr)
            dbus_message_append_args(reply, DBUS_TYPE_STRING, &kIntrospection, DBUS_TYPE_INVALID);
    } else if (interface != kInterface) {
        refuse(DBUS_ERROR_UNKNOWN_INTERFACE, "no such interface here: " + interface);
    } else if (member == "List" && dbus_message_has_signature(call, "")) {
        reply = dbus_message_new_method_return(call);
        DBusMessageIter names;
        if (reply != nullptr) {
            dbus_message_iter_init_append(reply, &out);
            dbus_message_iter_open_container(&out, DBUS_TYPE_ARRAY, "s", &names);
            for (const auto& action : actions_) {
                const char* name = action.c_str();
                dbus_message_iter_append_basic(&names, DBUS_TYPE_STRING, &name);
            }
            dbus_message_iter_close_container(&out, &names);
        }
    } else if (member == "Describe" && dbus_message_has_signature(call, "s")) {
        const std::string name = firstString(call, &in);
        if (!offered(name)) {
            refuse(DBUS_ERROR_INVALID_ARGS, "no action is named " + name);
        } else if ((reply = dbus_message_new_method_return(call)) != nullptr) {
            dbus_message_iter_init_append(reply, &out);
            appendDescription(&out);
        }
    } else if (member == "DescribeAll" && dbus_message_has_signature(call, "")) {
        reply = dbus_message_new_method_return(call);
        DBusMessageIter all, entry;
        if (reply != nullptr) {
            dbus_message_iter_init_append(reply, &out);
            dbus_message_iter_open_container(&out, DBUS_TYPE_ARRAY, "{s(bgav)}", &all);
            for (const auto& action : actions_) {
                const char* name = action.c_str();
                dbus_message_iter_open_container(&all, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
                dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &name);
                appendDescription(&entry);
                dbus_message_iter_close_container(&all, &entry);
            }
            dbus_message_iter_close_container(&out, &all);
        }
    } else if (member == "Activate" && dbus_message_has_signature(call, "sava{sv}")) {
        const std::string name = firstString(call, &in);
        DBusMessageIter parameter;
        dbus_message_iter_next(&in);
        dbus_message_iter_recurse(&in, &parameter);
        if (!offered(name)) {
            refuse(DBUS_ERROR_INVALID_ARGS, "no action is named " + name);
        } else if (dbus_message_iter_get_arg_type(&parameter) != DBUS_TYPE_INVALID) {
            refuse(DBUS_ERROR_INVALID_ARGS, "the action " + name + " takes no parameter");
        } else {
            reply = dbus_message_new_method_return(call);
            activated = name;
        }
    } else if (member == "SetState" && dbus_message_has_signature(call, "sva{sv}")) {
        refuse(DBUS_ERROR_INVALID_ARGS, "no action has a state");
    } else {
        refuse(DBUS_ERROR_UNKNOWN_METHOD, "no such method here, or not with these arguments: " + member);
    }
    if (reply != nullptr) {
        dbus_connection_send(connection_, reply, nullptr);
        dbus_message_unref(reply);
    }
    // After the answer, so that the caller is not kept waiting by what the action does.
    if (!activated.empty() && activate_) {
        QMetaObject::invokeMethod(
            this, [activate = activate_, activated] { activate(activated); }, Qt::QueuedConnection);
    }
}

}  // namespace quillfen
