// Threads and pauses as the upload needs them: a worker that runs on its own
// and is never joined, and the protocol's pauses.
#pragma once

#include <functional>

namespace pyrrow::platform {

// Runs body on a new thread that nobody waits for. False when no thread
// could be started (body then never runs).
bool StartDetachedThread(std::function<void()> body);

// Waits the given number of milliseconds: the one place the program pauses.
void Sleep(unsigned milliseconds);

}  // namespace pyrrow::platform
