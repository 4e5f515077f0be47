// The operator's request to stop (SIGINT, SIGTERM, SIGHUP, or Ctrl+C in a
// console) turned into a descriptor the event loop waits on, so that the
// simulator ends between two events, never inside one. One source file per operating
// system implements it (stop_signals_linux.cpp, stop_signals_win.cpp).
#pragma once

#include <memory>
#include <string>

namespace pyrrow::sim {

class StopSignals {
public:
    // Takes over the stop requests for this process (SIGINT, SIGTERM and
    // SIGHUP, and SIGPIPE is ignored; Windows: the console's Ctrl+C,
    // Ctrl+Break and closing). Null, with the system's reason in *error, when that fails.
    static std::unique_ptr<StopSignals> Open(std::string* error);
    virtual ~StopSignals() = default;

    // Readable once a stop was requested.
    virtual int Fd() const = 0;
    // What asked to stop ("SIGTERM", "Ctrl+C"), taking it.
    virtual std::string Take() = 0;
};

}  // namespace pyrrow::sim
