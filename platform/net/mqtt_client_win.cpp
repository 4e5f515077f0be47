// The Windows build has no MQTT library: --publish and the publish command
// say so before anything is touched.
#include "platform/net/mqtt_client.h"

namespace pyrrow::platform {

std::unique_ptr<MqttClient> MqttClient::Start(Setup setup, std::string* problem)
{
    *problem = setup.broker.text + ": MQTT is for the Linux build only; keep --log here and send the log from "
               "a Linux machine with pyrrow-cli publish";
    return nullptr;
}

}  // namespace pyrrow::platform
