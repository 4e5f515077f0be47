// The commands of pyrrow-cli; each returns the process's exit code.
#pragma once

#include <stop_token>
#include <string>

#include "cli/options.h"
#include "platform/process/stop_requests.h"

namespace pyrrow::cli {

int RunList(bool json);
// stop is requested by requests, which the run keeps told of the code it
// would end with.
int RunFlash(const FlashOptions& options, const std::string& version, std::stop_source& stop,
             platform::StopRequests& requests);
int RunReport(const ReportOptions& options);
int RunPublish(const PublishOptions& options, std::stop_source& stop, const platform::StopRequests& requests);

}  // namespace pyrrow::cli
