// Threads and pauses as the upload needs them: a worker that runs on its own
// and is never joined, and the protocol's pauses.
#pragma once

#include <functional>

namespace pyrrow::platform {

// Runs body on a new thread that nobody waits for. False when no thread
// could be started (body then never runs). On Windows the thread runs with
// the system timer at 1 ms, so that its pauses keep their length.
bool StartDetachedThread(std::function<void()> body);

// Waits the given number of milliseconds: the one place the program pauses.
void Sleep(unsigned milliseconds);

}  // namespace pyrrow::platform
