// What becomes of a settings file that cannot be read: a file that is
// there but cannot be loaded is moved aside before anything is written over
// it. Each decision is told on standard error.
#pragma once

#include <string>

namespace pyrrow::settings {

// Moves the settings file at path aside to path + ".damaged" (numbered
// when that is taken), telling why it could not be used. False when it
// stays where it is.
bool SetAside(const std::u16string& path, const std::string& why);

}  // namespace pyrrow::settings
