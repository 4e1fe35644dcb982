// RealtimeKit, the desktop's broker of real-time priorities (org.freedesktop.RealtimeKit1
// on the system bus): a process without the right to raise itself may ask it to make one
// of its threads real-time, once, within the limits it publishes.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "link/Realtimekit.h"

#ifdef ZANTIR_REALTIMEKIT
#include <dbus/dbus.h>

namespace {

constexpr const char* Service = "org.freedesktop.RealtimeKit1";
constexpr const char* Object = "/org/freedesktop/RealtimeKit1";
constexpr int CallTimeoutMs = 1000;

// The reply to one call, or nullptr with the reason in why.
DBusMessage* Call(DBusConnection* bus, DBusMessage* call, std::string& why) {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(bus, call, CallTimeoutMs, &error);
    dbus_message_unref(call);
    if (reply == nullptr) {
        why = error.message != nullptr ? error.message : "no answer";
        dbus_error_free(&error);
    }
    return reply;
}

// A property of RealtimeKit's as a signed number: MaxRealtimePriority is int32,
// RTTimeUSecMax int64.
bool Property(DBusConnection* bus, const char* name, int64_t& value, std::string& why) {
    DBusMessage* call =
        dbus_message_new_method_call(Service, Object, "org.freedesktop.DBus.Properties", "Get");
    if (call == nullptr) {
        why = "out of memory";
        return false;
    }
    const char* interface = Service;
    dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                             DBUS_TYPE_INVALID);
    DBusMessage* reply = Call(bus, call, why);
    if (reply == nullptr) {
        return false;
    }
    DBusMessageIter iter;
    DBusMessageIter variant;
    bool ok = dbus_message_iter_init(reply, &iter) &&
              dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT;
    if (ok) {
        dbus_message_iter_recurse(&iter, &variant);
        const int type = dbus_message_iter_get_arg_type(&variant);
        if (type == DBUS_TYPE_INT32) {
            dbus_int32_t v = 0;
            dbus_message_iter_get_basic(&variant, &v);
            value = v;
        } else if (type == DBUS_TYPE_INT64) {
            dbus_int64_t v = 0;
            dbus_message_iter_get_basic(&variant, &v);
            value = v;
        } else {
            ok = false;
        }
    }
    dbus_message_unref(reply);
    if (!ok) {
        why = std::string("unexpected ") + name;
    }
    return ok;
}

bool Ask(DBusConnection* bus, int wanted, int& granted, std::string& why) {
    int64_t maxPriority = 0;
    int64_t maxRtTime = 0;
    if (!Property(bus, "MaxRealtimePriority", maxPriority, why) ||
        !Property(bus, "RTTimeUSecMax", maxRtTime, why)) {
        return false;
    }
    if (maxPriority < 1 || maxRtTime < 1) {
        why = "no real-time priority offered";
        return false;
    }
    // RealtimeKit serves only a process that bounds its real-time threads' CPU time
    // without sleep; the link's thread sleeps between every request.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) {
        why = "RLIMIT_RTTIME unknown";
        return false;
    }
    const auto bound = static_cast<rlim_t>(maxRtTime);
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > bound) {
        limit.rlim_cur = bound;
        limit.rlim_max = bound;
        if (setrlimit(RLIMIT_RTTIME, &limit) != 0) {
            why = "RLIMIT_RTTIME not set";
            return false;
        }
    }
    granted = static_cast<int>(std::min<int64_t>(wanted, maxPriority));
    DBusMessage* call =
        dbus_message_new_method_call(Service, Object, Service, "MakeThreadRealtime");
    if (call == nullptr) {
        why = "out of memory";
        return false;
    }
    dbus_uint64_t thread = static_cast<dbus_uint64_t>(syscall(SYS_gettid));
    dbus_uint32_t priority = static_cast<dbus_uint32_t>(granted);
    dbus_message_append_args(call, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &priority,
                             DBUS_TYPE_INVALID);
    DBusMessage* reply = Call(bus, call, why);
    if (reply == nullptr) {
        return false;
    }
    dbus_message_unref(reply);
    return true;
}

}  // namespace

bool MakeThreadRealtimeByKit(int wanted, int& granted, std::string& why) {
    DBusError error;
    dbus_error_init(&error);
    // A connection of its own, closed again: the program keeps no bus open for this.
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (bus == nullptr) {
        why = error.message != nullptr ? error.message : "no system bus";
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    const bool ok = Ask(bus, wanted, granted, why);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return ok;
}

#else

bool MakeThreadRealtimeByKit(int, int&, std::string& why) {
    why = "built without D-Bus";
    return false;
}

#endif
