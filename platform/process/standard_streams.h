// The three standard streams of a program that may have been started with
// one of them closed (`>&-`, `2>&-`, a daemon, a careless script). Until they
// are open again, the next file, port or socket the program opens would take
// the free number, and its own output and messages would go into it.
#pragma once

namespace pyrrow::platform {

// Gives each closed standard stream (standard input, output and error) the
// null device, so that no later open takes its place. Call it first in
// main, before anything is opened. Streams that are open are left alone.
// Where even the null device cannot be opened, the program cannot run
// safely: it ends at once with exit code 125.
void OpenClosedStandardStreams();

}  // namespace pyrrow::platform
