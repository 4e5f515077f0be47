#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/serial/serial_ports.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A sysfs tree with /class/tty entries: a name, whether it has a device
// link, and its UART type ("" for none), beside the tty or in the device.
struct FakeTty {
    std::string name;
    bool device;
    std::string type;
    bool typeInDevice = false;
};

// consoles: the kernel's console list (class/tty/console/active), if any.
void Build(const fs::path& root, const std::vector<FakeTty>& ttys, const std::string& consoles = "")
{
    fs::create_directories(root / "devices");
    fs::create_directories(root / "class" / "tty");
    for (const FakeTty& t : ttys) {
        const fs::path dir = root / "devices" / t.name;
        fs::create_directories(dir);
        if (t.device) {
            fs::create_directories(root / "devices" / (t.name + "-hw"));
            fs::create_directory_symlink(root / "devices" / (t.name + "-hw"), dir / "device");
        }
        if (!t.type.empty())
            std::ofstream(t.typeInDevice ? dir / "device" / "type" : dir / "type") << t.type << "\n";
        fs::create_directory_symlink(dir, root / "class" / "tty" / t.name);
    }
    if (!consoles.empty())
        std::ofstream(root / "class" / "tty" / "console" / "active") << consoles << "\n";
}

TEST(SerialPorts, RealPortsInNaturalOrderWithoutConsoles)
{
    pyrrow::test::TempDir dir;
    Build(dir.path(), {
                          {"tty0", false, ""},                // virtual terminal
                          {"ptmx", false, ""},                // no device
                          {"ttyS0", true, "4"},               // a 16550A
                          {"ttyS1", true, "0"},               // placeholder of the 8250 driver
                          {"ttyS10", true, "0", true},        // placeholder, older layout
                          {"ttyS2", true, "4", true},         // real, older layout
                          {"ttyUSB10", true, ""},
                          {"ttyUSB2", true, ""},
                          {"ttyACM0", true, ""},
                          {"console", false, ""},
                          {"ttyS3", true, "4"},               // a 16550A carrying the console
                          {"ttyAMA0", true, ""},              // a board's console UART
                      },
          "tty0 ttyS3 ttyAMA0");
    EXPECT_EQ(pyrrow::platform::EnumerateSerialPorts(dir.path().string()),
              (std::vector<std::u16string>{u"ttyACM0", u"ttyS0", u"ttyS2", u"ttyUSB2", u"ttyUSB10"}));
    EXPECT_EQ(pyrrow::platform::ConsoleSerialPorts(dir.path().string()),
              (std::vector<std::u16string>{u"ttyAMA0", u"ttyS3"}));
    // By any name the window and the command line take for it.
    for (const std::u16string name : {u"ttyS3", u"/dev/ttyS3", u"COM4", u"ttyAMA0"})
        EXPECT_TRUE(pyrrow::platform::IsConsolePort(name, dir.path().string())) << std::string(name.begin(), name.end());
    for (const std::u16string name : {u"ttyS0", u"COM1", u"/dev/pts/3", u"tty", u"ttyS"})
        EXPECT_FALSE(pyrrow::platform::IsConsolePort(name, dir.path().string())) << std::string(name.begin(), name.end());
}

TEST(SerialPorts, NoSysfsGivesNothing)
{
    EXPECT_TRUE(pyrrow::platform::EnumerateSerialPorts("/nonexistent").empty());
}

TEST(SerialPorts, NaturalLess)
{
    using pyrrow::platform::NaturalLess;
    EXPECT_TRUE(NaturalLess(u"ttyS2", u"ttyS10"));
    EXPECT_FALSE(NaturalLess(u"ttyS10", u"ttyS2"));
    EXPECT_TRUE(NaturalLess(u"ttyS", u"ttyS0"));
    EXPECT_TRUE(NaturalLess(u"COM9", u"COM10"));
    EXPECT_FALSE(NaturalLess(u"ttyS01", u"ttyS1"));
    EXPECT_FALSE(NaturalLess(u"ttyS1", u"ttyS01"));
    EXPECT_TRUE(NaturalLess(u"ttyACM0", u"ttyS0"));
}

}  // namespace
