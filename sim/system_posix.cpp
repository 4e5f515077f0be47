#include <unistd.h>

#include "sim/system.h"

namespace pyrrow::sim {

unsigned long ProcessId()
{
    return static_cast<unsigned long>(::getpid());
}

FineTimers::FineTimers() = default;
FineTimers::~FineTimers() = default;

void AllowRebind(asio::ip::tcp::acceptor& acceptor)
{
    std::error_code ignored;
    acceptor.set_option(asio::socket_base::reuse_address(true), ignored);
}

}  // namespace pyrrow::sim
