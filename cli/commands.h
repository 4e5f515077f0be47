// The commands of pyrrow-cli; each returns the process's exit code.
#pragma once

#include <string>

#include "cli/options.h"

namespace pyrrow::cli {

int RunList(bool json);
int RunFlash(const FlashOptions& options, const std::string& version);
int RunPublish(const PublishOptions& options);

}  // namespace pyrrow::cli
