// The node (a serial port, a hidraw node) a unit was found at, held
// without opening the device: a unit that takes its place at once under
// the same name, even with the same device number, has a node of its own.
// Where ports are no file nodes (Windows) it holds nothing. One source
// file per system.
#pragma once

#include <string>

namespace pyrrow::platform {

class NodeHold {
public:
    NodeHold() = default;
    // Holds the node path leads to now; nothing when there is none.
    explicit NodeHold(const std::string& path);
    ~NodeHold();
    NodeHold(NodeHold&& other) noexcept;
    NodeHold& operator=(NodeHold&& other) noexcept;

    // Whether the node held has been removed, or path leads to another
    // node now. False when nothing is held or path leads nowhere (whether
    // that is a departure is the caller's to say).
    bool Replaced(const std::string& path) const;

private:
    int m_node = -1;  // a descriptor of the node itself, not of the device; -1: none
};

}  // namespace pyrrow::platform
