#include <fcntl.h>
#include <grp.h>
#include <linux/uhid.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/uhid.h"

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

bool WriteEvent(int fd, const uhid_event& event, std::string* error)
{
    if (::write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
        *error = std::string("writing to the uhid device: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void CopyText(__u8* to, std::size_t size, const std::string& text)
{
    std::memcpy(to, text.data(), std::min(size - 1, text.size()));
}

}  // namespace

std::unique_ptr<UhidDevice> UhidDevice::Open(const std::string& path, std::string* error)
{
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) {
        const int e = errno;
        *error = path + ": " + std::strerror(e) +
                 (e == ENOENT ? ". The kernel offers no user-space HID here: load its module with "
                                "\"sudo modprobe uhid\" (kernel option CONFIG_UHID)"
                              : "");
        return nullptr;
    }
    if (!S_ISCHR(s.st_mode)) {
        *error = path + " is not the uhid device (no character device)";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        *error = path + " cannot be opened for reading and writing: " + std::strerror(e);
        if (e == EACCES || e == EPERM)
            *error += ". It is " + OwnerText(s) +
                      ". Run the simulator as a user who may write it: with sudo, or through a udev rule such as "
                      "KERNEL==\"uhid\", GROUP=\"plugdev\", MODE=\"0660\" and membership of that group";
        return nullptr;
    }
    return std::unique_ptr<UhidDevice>(new UhidDevice(fd));
}

std::unique_ptr<UhidDevice> UhidDevice::Adopt(int fd)
{
    return std::unique_ptr<UhidDevice>(new UhidDevice(fd));
}

UhidDevice::~UhidDevice()
{
    Destroy();
    ::close(m_fd);
}

bool UhidDevice::Create(const UhidIdentity& identity, std::string* error)
{
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_CREATE2;
    uhid_create2_req& c = event->u.create2;
    CopyText(c.name, sizeof c.name, identity.name);
    CopyText(c.phys, sizeof c.phys, "pyrrow-sim");
    CopyText(c.uniq, sizeof c.uniq, identity.serial);
    if (identity.descriptor.size() > sizeof c.rd_data) {
        *error = "the report descriptor is too long for uhid";
        return false;
    }
    std::memcpy(c.rd_data, identity.descriptor.data(), identity.descriptor.size());
    c.rd_size = static_cast<__u16>(identity.descriptor.size());
    c.bus = BUS_USB;
    c.vendor = identity.vendor;
    c.product = identity.product;
    if (!WriteEvent(m_fd, *event, error))
        return false;
    m_created = true;
    return true;
}

bool UhidDevice::Read(UhidEvent* out, std::string* error)
{
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    const ssize_t n = ::read(m_fd, event.get(), sizeof *event);
    *out = UhidEvent{};
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n < static_cast<ssize_t>(sizeof event->type)) {
        *error = n < 0 ? std::string("reading from the uhid device: ") + std::strerror(errno)
                       : std::string("the uhid device closed");
        return false;
    }
    switch (event->type) {
    case UHID_START:
        out->type = UhidEvent::Type::Start;
        break;
    case UHID_STOP:
        out->type = UhidEvent::Type::Stop;
        break;
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

bool UhidDevice::SendInput(const std::string& report, std::string* error)
{
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_INPUT2;
    const std::size_t size = std::min<std::size_t>(report.size(), UHID_DATA_MAX);
    event->u.input2.size = static_cast<__u16>(size);
    std::memcpy(event->u.input2.data, report.data(), size);
    return WriteEvent(m_fd, *event, error);
}

bool UhidDevice::RefuseGetReport(std::uint32_t id, std::string* error)
{
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_GET_REPORT_REPLY;
    event->u.get_report_reply.id = id;
    event->u.get_report_reply.err = EIO;
    return WriteEvent(m_fd, *event, error);
}

bool UhidDevice::AcceptSetReport(std::uint32_t id, std::string* error)
{
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_SET_REPORT_REPLY;
    event->u.set_report_reply.id = id;
    return WriteEvent(m_fd, *event, error);
}

void UhidDevice::Destroy()
{
    if (!m_created)
        return;
    m_created = false;
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof *event);
    event->type = UHID_DESTROY;
    std::string ignored;
    WriteEvent(m_fd, *event, &ignored);
}

}  // namespace pyrrow::sim
