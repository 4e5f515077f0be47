// A serial line on a descriptor that the io_context waits on, owns and
// closes: what a pseudo-terminal's master and a named tty share. Read, and
// what the line is, are each one's own. For the POSIX sources only.
#pragma once

#include <unistd.h>

#include <memory>
#include <string>

#include <asio/posix/stream_descriptor.hpp>

#include "sim/lines/serial_line.h"
#include "sim/system.h"
#include "sim/timer.h"

namespace pyrrow::sim {

class DescriptorLine : public SerialLine {
public:
    explicit DescriptorLine(asio::io_context& io) : m_port(io) {}

    const std::string& Where() const override { return m_where; }

    void AwaitBytes(std::function<void()> ready) override
    {
        m_port.async_wait(asio::posix::descriptor_base::wait_read,
                          WhileAlive(m_alive, [ready = std::move(ready)](const std::error_code&) { ready(); }));
    }

    bool Write(const void* data, std::size_t size, platform::SystemError* error) override
    {
        if (::write(m_port.native_handle(), data, size) == static_cast<ssize_t>(size))
            return true;
        *error = Failure("writing " + m_where);
        return false;
    }

protected:
    asio::posix::stream_descriptor m_port;
    std::shared_ptr<char> m_alive = std::make_shared<char>();  // for the handlers of its waits
    std::string m_where;
};

}  // namespace pyrrow::sim
