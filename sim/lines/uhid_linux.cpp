#include <fcntl.h>
#include <grp.h>
#include <linux/uhid.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <asio/posix/stream_descriptor.hpp>

#include "sim/lines/uhid.h"
#include "sim/system.h"
#include "sim/timer.h"

namespace pyrrow::sim {
namespace {

std::string OwnerText(const struct stat& s)
{
    const passwd* user = ::getpwuid(s.st_uid);
    const group* grp = ::getgrgid(s.st_gid);
    char mode[11] = "c---------";
    const char bits[] = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        if ((s.st_mode & (0400u >> i)) != 0)
            mode[i + 1] = bits[i];
    }
    return std::string(mode) + " " + (user != nullptr ? user->pw_name : std::to_string(s.st_uid)) + " " +
           (grp != nullptr ? grp->gr_name : std::to_string(s.st_gid));
}

bool WriteEvent(int fd, const uhid_event& event, platform::SystemError* error)
{
    if (::write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event))
        return Fail(error, "writing to the uhid device");
    return true;
}

void CopyText(__u8* to, std::size_t size, const std::string& text)
{
    std::memcpy(to, text.data(), std::min(size - 1, text.size()));
}

}  // namespace

// The descriptor closes with it, once.
struct UhidDevice::Interface {
    Interface(asio::io_context& io, int fd) : descriptor(io, fd) {}
    int Fd() { return descriptor.native_handle(); }

    asio::posix::stream_descriptor descriptor;
    std::shared_ptr<char> alive = std::make_shared<char>();
};

UhidDevice::UhidDevice(std::unique_ptr<Interface> interface) : m_interface(std::move(interface)) {}

std::unique_ptr<UhidDevice> UhidDevice::Open(asio::io_context& io, const std::string& path,
                                             platform::SystemError* error)
{
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) {
        const int e = errno;
        *error = Failure(path);
        error->text += (e == ENOENT ? ". The kernel offers no user-space HID here: load its module with "
                                "\"sudo modprobe uhid\" (kernel option CONFIG_UHID)"
                                    : "");
        return nullptr;
    }
    if (!S_ISCHR(s.st_mode)) {
        error->text = path + " is not the uhid device (no character device)";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        *error = Failure(path + " cannot be opened for reading and writing");
        if (e == EACCES || e == EPERM)
            error->text += ". It is " + OwnerText(s) +
                      ". Run the simulator as a user who may write it: with sudo, or through a udev rule such as "
                      "KERNEL==\"uhid\", GROUP=\"plugdev\", MODE=\"0660\" and membership of that group";
        return nullptr;
    }
    return Adopt(io, fd);
}

std::unique_ptr<UhidDevice> UhidDevice::Adopt(asio::io_context& io, int fd)
{
    return std::unique_ptr<UhidDevice>(new UhidDevice(std::make_unique<Interface>(io, fd)));
}

UhidDevice::~UhidDevice()
{
    if (!m_created)
        return;
    auto event = std::make_unique<uhid_event>();  // zeroed
    event->type = UHID_DESTROY;
    platform::SystemError ignored;
    WriteEvent(m_interface->Fd(), *event, &ignored);
}

void UhidDevice::AwaitEvent(std::function<void()> ready)
{
    m_interface->descriptor.async_wait(
        asio::posix::descriptor_base::wait_read,
        WhileAlive(m_interface->alive, [ready = std::move(ready)](const std::error_code&) { ready(); }));
}

bool UhidDevice::Create(const UhidIdentity& identity, platform::SystemError* error)
{
    auto event = std::make_unique<uhid_event>();  // zeroed
    event->type = UHID_CREATE2;
    uhid_create2_req& c = event->u.create2;
    CopyText(c.name, sizeof c.name, identity.name);
    CopyText(c.phys, sizeof c.phys, "pyrrow-sim");
    CopyText(c.uniq, sizeof c.uniq, identity.serial);
    if (identity.descriptor.size() > sizeof c.rd_data) {
        error->text = "the report descriptor is too long for uhid";
        return false;
    }
    std::memcpy(c.rd_data, identity.descriptor.data(), identity.descriptor.size());
    c.rd_size = static_cast<__u16>(identity.descriptor.size());
    c.bus = BUS_USB;
    c.vendor = identity.vendor;
    c.product = identity.product;
    if (!WriteEvent(m_interface->Fd(), *event, error))
        return false;
    m_created = true;
    return true;
}

bool UhidDevice::Read(UhidEvent* out, platform::SystemError* error)
{
    auto event = std::make_unique<uhid_event>();  // zeroed
    const ssize_t n = ::read(m_interface->Fd(), event.get(), sizeof *event);
    *out = UhidEvent{};
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n < static_cast<ssize_t>(sizeof event->type)) {
        if (n < 0)
            *error = Failure("reading from the uhid device");
        else
            error->text = "the uhid device closed";
        return false;
    }
    switch (event->type) {
    case UHID_OPEN:
        out->type = UhidEvent::Type::Open;
        break;
    case UHID_CLOSE:
        out->type = UhidEvent::Type::Close;
        break;
    case UHID_OUTPUT:
        out->type = UhidEvent::Type::Output;
        out->data.assign(reinterpret_cast<const char*>(event->u.output.data),
                         std::min<std::size_t>(event->u.output.size, UHID_DATA_MAX));
        break;
    case UHID_GET_REPORT:
        out->type = UhidEvent::Type::GetReport;
        out->id = event->u.get_report.id;
        break;
    case UHID_SET_REPORT:
        out->type = UhidEvent::Type::SetReport;
        out->id = event->u.set_report.id;
        out->data.assign(reinterpret_cast<const char*>(event->u.set_report.data),
                         std::min<std::size_t>(event->u.set_report.size, UHID_DATA_MAX));
        break;
    default:
        out->type = UhidEvent::Type::Other;
        break;
    }
    return true;
}

bool UhidDevice::SendInput(const std::string& report, platform::SystemError* error)
{
    auto event = std::make_unique<uhid_event>();  // zeroed
    event->type = UHID_INPUT2;
    const std::size_t size = std::min<std::size_t>(report.size(), UHID_DATA_MAX);
    event->u.input2.size = static_cast<__u16>(size);
    std::memcpy(event->u.input2.data, report.data(), size);
    return WriteEvent(m_interface->Fd(), *event, error);
}

bool UhidDevice::RefuseGetReport(std::uint32_t id, platform::SystemError* error)
{
    auto event = std::make_unique<uhid_event>();  // zeroed
    event->type = UHID_GET_REPORT_REPLY;
    event->u.get_report_reply.id = id;
    event->u.get_report_reply.err = EIO;
    return WriteEvent(m_interface->Fd(), *event, error);
}

bool UhidDevice::AcceptSetReport(std::uint32_t id, platform::SystemError* error)
{
    auto event = std::make_unique<uhid_event>();  // zeroed
    event->type = UHID_SET_REPORT_REPLY;
    event->u.set_report_reply.id = id;
    return WriteEvent(m_interface->Fd(), *event, error);
}

}  // namespace pyrrow::sim
