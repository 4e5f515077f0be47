// The Windows build has no MQTT library: --publish and the publish command
// say so before anything is touched.
#include "cli/publisher.h"

namespace pyrrow::cli {

std::unique_ptr<Publisher> Publisher::Start(Setup setup, std::string* problem)
{
    *problem = setup.target.text + ": MQTT is for the Linux build only; keep --log here and send the log from "
               "a Linux machine with pyrrow-cli publish";
    return nullptr;
}

}  // namespace pyrrow::cli
