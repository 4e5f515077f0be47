// Taskbar progress over D-Bus, observed by a second connection on a private
// session bus (the test program runs under dbus-run-session).
#include <dbus/dbus.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/window/taskbar.h"

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

// A bus daemon of the test's own, named in DBUS_SESSION_BUS_ADDRESS while it
// lives, so that the test may stop it without disturbing the session's bus.
class PrivateBus {
public:
    PrivateBus()
    {
        if (const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            m_savedAddress = saved;
        int pipe[2];
        if (::pipe(pipe) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, pipe[0]);
        char program[] = "dbus-daemon";
        char session[] = "--session";
        char noFork[] = "--nofork";
        std::string printAddress = "--print-address=" + std::to_string(pipe[1]);
        char* argv[] = {program, session, noFork, printAddress.data(), nullptr};
        const int spawned = posix_spawnp(&m_pid, program, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        if (spawned != 0) {
            ADD_FAILURE() << "dbus-daemon: " << std::strerror(spawned);
            m_pid = 0;
            ::close(pipe[0]);
            return;
        }
        std::string address;
        char c = 0;
        while (::read(pipe[0], &c, 1) == 1 && c != '\n')
            address += c;
        ::close(pipe[0]);
        if (!address.empty())
            ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        m_running = !address.empty();
    }
    ~PrivateBus()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::setenv("DBUS_SESSION_BUS_ADDRESS", m_savedAddress.c_str(), 1);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Running() const { return m_running; }
    void Stop() { ::kill(m_pid, SIGSTOP); }
    void Continue() { ::kill(m_pid, SIGCONT); }

private:
    pid_t m_pid = 0;
    bool m_running = false;
    std::string m_savedAddress;
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

TEST(TaskbarProgress, AStoppedBusNeverHoldsTheUpload)
{
    if (!HaveBus())
        GTEST_SKIP() << "no session bus";
    PrivateBus bus;
    ASSERT_TRUE(bus.Running());
    Observer observer;
    ASSERT_TRUE(observer.Connected());
    auto taskbar = pyrrow::platform::CreateTaskbarProgress();
    ASSERT_NE(taskbar, nullptr);

    // Far more updates than the connection's socket holds: were any of them
    // to wait for the stopped bus, the loop would never end.
    bus.Stop();
    constexpr int kUploads = 10;
    constexpr int kBlocks = 1000;
    int returned = 0;
    for (int upload = 0; upload < kUploads; ++upload) {
        taskbar->SetProgressState(pyrrow::platform::TBPF_NORMAL);
        for (int block = 1; block <= kBlocks; ++block) {
            taskbar->SetProgressValue(static_cast<std::uint64_t>(block), kBlocks);
            ++returned;
        }
        taskbar->SetProgressState(pyrrow::platform::TBPF_NOPROGRESS);
    }
    EXPECT_EQ(returned, kUploads * kBlocks);

    // Once the bus takes messages again, the updates reach it again.
    bus.Continue();
    bool hidden = false;
    for (int i = 0; i < 10000 && !hidden; ++i) {
        taskbar->SetProgressState(pyrrow::platform::TBPF_NOPROGRESS);
        const auto update = observer.Next();
        ASSERT_TRUE(update);
        hidden = update->properties.at("progress-visible") == "false";
    }
    EXPECT_TRUE(hidden);
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
