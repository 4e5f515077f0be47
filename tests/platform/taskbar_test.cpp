// Taskbar progress over D-Bus, observed by a second connection on a private
// session bus (the test program runs under dbus-run-session).
#include <dbus/dbus.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/taskbar.h"

namespace {

struct Update {
    std::string appUri;
    std::map<std::string, std::string> properties;  // value as text: "true", "0.5"
};

// A second connection that sees every launcher-entry signal.
class Observer {
public:
    Observer()
    {
        DBusError error;
        dbus_error_init(&error);
        m_connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        dbus_error_free(&error);
        if (m_connection != nullptr) {
            dbus_bus_add_match(m_connection, "type='signal',interface='com.canonical.Unity.LauncherEntry'", nullptr);
            dbus_connection_flush(m_connection);
        }
    }
    ~Observer()
    {
        if (m_connection != nullptr) {
            dbus_connection_close(m_connection);
            dbus_connection_unref(m_connection);
        }
    }
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    bool Connected() const { return m_connection != nullptr; }

    std::optional<Update> Next()
    {
        for (int i = 0; i < 50; ++i) {
            dbus_connection_read_write(m_connection, 100);
            while (DBusMessage* message = dbus_connection_pop_message(m_connection)) {
                std::optional<Update> update;
                if (dbus_message_is_signal(message, "com.canonical.Unity.LauncherEntry", "Update"))
                    update = Decode(message);
                dbus_message_unref(message);
                if (update)
                    return update;
            }
        }
        return std::nullopt;
    }

private:
    static Update Decode(DBusMessage* message)
    {
        Update u;
        DBusMessageIter args;
        dbus_message_iter_init(message, &args);
        const char* uri = nullptr;
        dbus_message_iter_get_basic(&args, &uri);
        u.appUri = uri;
        dbus_message_iter_next(&args);
        DBusMessageIter dict;
        dbus_message_iter_recurse(&args, &dict);
        while (dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY) {
            DBusMessageIter entry;
            DBusMessageIter variant;
            dbus_message_iter_recurse(&dict, &entry);
            const char* key = nullptr;
            dbus_message_iter_get_basic(&entry, &key);
            dbus_message_iter_next(&entry);
            dbus_message_iter_recurse(&entry, &variant);
            if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_BOOLEAN) {
                dbus_bool_t b = FALSE;
                dbus_message_iter_get_basic(&variant, &b);
                u.properties[key] = b ? "true" : "false";
            } else if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_DOUBLE) {
                double d = 0;
                dbus_message_iter_get_basic(&variant, &d);
                u.properties[key] = std::to_string(d);
            }
            dbus_message_iter_next(&dict);
        }
        return u;
    }

    DBusConnection* m_connection = nullptr;
};

bool HaveBus()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return address != nullptr && address[0] != 0;
}

TEST(TaskbarProgress, AnnouncesStateAndValueOnTheSessionBus)
{
    if (!HaveBus())
        GTEST_SKIP() << "no session bus";
    Observer observer;
    ASSERT_TRUE(observer.Connected());
    auto taskbar = pyrrow::platform::CreateTaskbarProgress();
    ASSERT_NE(taskbar, nullptr);

    taskbar->SetProgressState(pyrrow::platform::TBPF_NORMAL);
    taskbar->SetProgressValue(288, 576);
    taskbar->SetProgressState(pyrrow::platform::TBPF_NOPROGRESS);

    const auto shown = observer.Next();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->appUri, "application://pyrrow.desktop");
    EXPECT_EQ(shown->properties, (std::map<std::string, std::string>{{"progress-visible", "true"}}));
    const auto half = observer.Next();
    ASSERT_TRUE(half);
    EXPECT_EQ(half->properties,
              (std::map<std::string, std::string>{{"progress", "0.500000"}, {"progress-visible", "true"}}));
    const auto hidden = observer.Next();
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->properties,
              (std::map<std::string, std::string>{{"progress", "0.000000"}, {"progress-visible", "false"}}));
}

TEST(TaskbarProgress, NoSessionBusGivesNoObject)
{
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string address = saved != nullptr ? saved : "";
    const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtime = savedRuntime != nullptr ? savedRuntime : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
    EXPECT_EQ(pyrrow::platform::CreateTaskbarProgress(), nullptr);
    if (saved != nullptr)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    if (savedRuntime != nullptr)
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
