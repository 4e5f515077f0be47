// The words of a failed upload: which unit, what failed, what was tried and
// why, and what to do next.
#pragma once

#include <string>

#include "cli/flash/select.h"
#include "platform/devices/device_access.h"
#include "upload/upload_engine.h"

namespace pyrrow::cli {

// node: what is known of the device node (owner, mode, holder) when the
// system refused access or the device was busy; may be null.
std::string FailureText(const Target& target, const upload::UploadFailure& failure, const platform::NodeAccess* node);

}  // namespace pyrrow::cli
