// The serial ports as the registry lists them, in natural order.
#include <windows.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "platform/serial/serial_ports.h"

namespace {

const wchar_t* const kKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Registry values that a driver would add for its ports, removed again.
class PortsInRegistry {
public:
    PortsInRegistry()
    {
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &m_key,
                          nullptr);
    }
    ~PortsInRegistry()
    {
        for (const std::wstring& name : m_names)
            ::RegDeleteValueW(m_key, name.c_str());
        ::RegCloseKey(m_key);
    }
    PortsInRegistry(const PortsInRegistry&) = delete;
    PortsInRegistry& operator=(const PortsInRegistry&) = delete;

    bool Opened() const { return m_key != nullptr; }
    void AddText(const std::wstring& name, const std::wstring& port)
    {
        m_names.push_back(name);
        ::RegSetValueExW(m_key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                         static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    }
    void AddNumber(const std::wstring& name, DWORD number)
    {
        m_names.push_back(name);
        ::RegSetValueExW(m_key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }

private:
    HKEY m_key = nullptr;
    std::vector<std::wstring> m_names;
};

TEST(SerialPorts, RegistryListInNaturalOrder)
{
    PortsInRegistry registry;
    ASSERT_TRUE(registry.Opened());
    registry.AddText(L"\\Device\\PyrrowTest200", L"COM200");
    registry.AddText(L"\\Device\\PyrrowTest42", L"COM42");
    registry.AddNumber(L"\\Device\\PyrrowTestNumber", 7);  // no port name: left out
    const std::vector<std::u16string> ports = pyrrow::platform::EnumerateSerialPorts();
    const auto at42 = std::find(ports.begin(), ports.end(), u"COM42");
    const auto at200 = std::find(ports.begin(), ports.end(), u"COM200");
    ASSERT_NE(at42, ports.end());
    ASSERT_NE(at200, ports.end());
    EXPECT_LT(at42, at200);  // by number, not by text
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), pyrrow::platform::NaturalLess));
    EXPECT_EQ(std::count_if(ports.begin(), ports.end(), [](const std::u16string& p) { return p.empty(); }), 0);
}

}  // namespace
