#include <dbus/dbus.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/window/taskbar.h"

namespace pyrrow::platform {
namespace {

constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
constexpr const char* kObjectPath = "/com/canonical/unity/launcherentry/pyrrow";

// Without an address libdbus would try to start a bus of its own through X11
// autolaunch; a program without a session bus simply shows no progress.
bool SessionBusAnnounced()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && address[0] != 0)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && ::access((std::string(runtime) + "/bus").c_str(), F_OK) == 0;
}

class LauncherEntryProgress final : public TaskbarProgress {
public:
    explicit LauncherEntryProgress(DBusConnection* connection)
        : m_connection(connection), m_appUri(std::string("application://") + kDesktopEntryId)
    {
    }
    ~LauncherEntryProgress() override
    {
        dbus_connection_close(m_connection);
        dbus_connection_unref(m_connection);
    }
    LauncherEntryProgress(const LauncherEntryProgress&) = delete;
    LauncherEntryProgress& operator=(const LauncherEntryProgress&) = delete;

    // The upload calls these for every block from its own thread, so they
    // never wait for the bus: a message goes into the connection's queue and
    // out as far as the socket takes it. A bus that does not read (stopped,
    // overloaded) loses progress values; changes of state wait for it, up to
    // a bound.
    void SetProgressState(int state) override
    {
        Drained();
        if (dbus_connection_get_outgoing_size(m_connection) > kMaxUnsentBytes)
            return;
        const bool visible = state != TBPF_NOPROGRESS;
        Update(visible, visible ? nullptr : &kZero);
    }

    void SetProgressValue(std::uint64_t completed, std::uint64_t total) override
    {
        // A later value replaces this one; skipping it keeps the queue short.
        if (!Drained())
            return;
        const double progress = total == 0 ? 0.0 : static_cast<double>(completed) / static_cast<double>(total);
        Update(true, &progress);
    }

private:
    static constexpr double kZero = 0.0;
    // Changes of state queue up to this many bytes for a bus that has stopped
    // reading: well over a hundred uploads, yet bounded for a bus that never wakes.
    static constexpr long kMaxUnsentBytes = 64 * 1024;

    // Sends Update(app_uri, {"progress-visible": b, "progress": d}).
    void Update(bool visible, const double* progress)
    {
        DBusMessage* message = dbus_message_new_signal(kObjectPath, kInterface, "Update");
        if (message == nullptr)
            return;
        DBusMessageIter args;
        DBusMessageIter dict;
        dbus_message_iter_init_append(message, &args);
        const char* uri = m_appUri.c_str();
        bool ok = dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &uri) &&
                  dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict);
        if (ok) {
            const dbus_bool_t shown = visible ? TRUE : FALSE;
            ok = AppendEntry(&dict, "progress-visible", DBUS_TYPE_BOOLEAN, "b", &shown);
            if (ok && progress != nullptr)
                ok = AppendEntry(&dict, "progress", DBUS_TYPE_DOUBLE, "d", progress);
            ok = dbus_message_iter_close_container(&args, &dict) && ok;
        }
        if (ok && !dbus_connection_send(m_connection, message, nullptr))
            std::fprintf(stderr, "pyrrow: taskbar progress: no memory to queue a D-Bus message\n");
        dbus_message_unref(message);
    }

    // Writes what the socket takes of the messages still queued, without
    // waiting; true when the bus has taken everything sent so far.
    bool Drained()
    {
        if (!dbus_connection_has_messages_to_send(m_connection))
            return true;
        dbus_connection_read_write(m_connection, 0);
        // Nothing here reads the bus's messages to this connection; let them go.
        while (DBusMessage* incoming = dbus_connection_pop_message(m_connection))
            dbus_message_unref(incoming);
        return !dbus_connection_has_messages_to_send(m_connection);
    }

    static bool AppendEntry(DBusMessageIter* dict, const char* key, int type, const char* signature, const void* value)
    {
        DBusMessageIter entry;
        DBusMessageIter variant;
        if (!dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry))
            return false;
        bool ok = dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key) &&
                  dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
        if (ok) {
            ok = dbus_message_iter_append_basic(&variant, type, value);
            ok = dbus_message_iter_close_container(&entry, &variant) && ok;
        }
        return dbus_message_iter_close_container(dict, &entry) && ok;
    }

    DBusConnection* m_connection;
    std::string m_appUri;
};

}  // namespace

std::unique_ptr<TaskbarProgress> CreateTaskbarProgress()
{
    if (!SessionBusAnnounced() || !dbus_threads_init_default())
        return nullptr;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    dbus_error_free(&error);
    if (connection == nullptr)
        return nullptr;
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    return std::make_unique<LauncherEntryProgress>(connection);
}

}  // namespace pyrrow::platform
