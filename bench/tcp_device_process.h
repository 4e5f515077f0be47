// A TCP device for the measurements, in a child process of its own so that
// its work is not counted as the program's: it echoes the header with a zero
// status and acknowledges every frame at once.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Starts the device for a firmware file of size bytes on a loopback port,
// which *port gets; the child's pid. The child ends with 0 when the whole
// file came.
pid_t StartTcpDeviceProcess(std::size_t size, std::uint16_t* port);
