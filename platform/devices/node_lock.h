// An exclusive hold on a device node for as long as one upload uses it: a
// lock that another run of ours, and any program that locks the node, meets
// at once instead of writing its reports into the same unit. The lock is
// advisory: a program that never locks is not kept out.
#pragma once

#include <string>

#include "platform/system_error.h"

namespace pyrrow::platform {

class NodeLock {
public:
    NodeLock() = default;
    ~NodeLock() { Release(); }
    NodeLock(NodeLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    NodeLock& operator=(NodeLock&& other) noexcept;
    NodeLock(const NodeLock&) = delete;
    NodeLock& operator=(const NodeLock&) = delete;

    // Locks the node at path (links followed) without waiting. False, with
    // the cause in *error (which may be null), when it cannot be opened or
    // is locked already: kind Busy then, by another process or by another
    // lock of this one.
    bool Take(const std::string& path, SystemError* error);
    // Lets the node go; harmless when nothing is held.
    void Release();

private:
    int m_fd = -1;
};

}  // namespace pyrrow::platform
