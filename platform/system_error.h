// The reason the system gave for a failed call, caught right after the call,
// so that every front end can say why: the window on standard error, the
// command-line tool in its messages and JSON.
#pragma once

#include <string>

namespace pyrrow::platform {

struct SystemError {
    // What the failure means for whoever tries again.
    enum class Kind {
        Other,
        NotFound,  // no such device, file or peer
        Denied,    // the system refused access
        Busy,      // another program holds it
        Exists,    // something is already where a new file was to be made
        NotAFile,  // the name can be no file at all (a socket, a device that is not there)
        Host,      // this host lacked what the call needed: descriptors, memory, locks
    };

    Kind kind = Kind::Other;
    int code = 0;      // errno (POSIX) or GetLastError (Windows); 0 when there is none
    std::string text;  // the system's words, and what helps the operator, in UTF-8
};

// Records the system's last error (errno or GetLastError, read at once) into
// error, which may be null; detail, when given, follows the system's words
// in parentheses.
void CaptureSystemError(SystemError* error, const std::string& detail = {});
// Records a failure of the given system code.
void SetSystemError(SystemError* error, int code, const std::string& detail = {});
// Records a failure that has no system code: the text says it all.
void SetErrorText(SystemError* error, SystemError::Kind kind, std::string text);

// What a system code means for whoever tries again, and the system's words
// for it (system_error_posix.cpp, system_error_win.cpp).
SystemError::Kind SystemErrorKind(int code);
std::string SystemErrorWords(int code);

}  // namespace pyrrow::platform
