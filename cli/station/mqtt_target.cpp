#include "cli/station/mqtt_target.h"

#include <cstdlib>
#include <string>

#include "cli/flash/input_file.h"

namespace pyrrow::cli {

ParsedMqttTarget ParseMqttTarget(const std::string& text)
{
    const auto bad = [&text](const std::string& why) {
        return ParsedMqttTarget{std::nullopt, text + ": " + why};
    };
    MqttTarget target;
    target.text = text;
    std::string rest;
    if (text.rfind("mqtt://", 0) == 0) {
        rest = text.substr(7);
        target.port = 1883;
    } else if (text.rfind("mqtts://", 0) == 0) {
        rest = text.substr(8);
        target.tls = true;
        target.port = 8883;
    } else {
        return bad("give mqtt://HOST[:PORT]/PREFIX or mqtts://HOST[:PORT]/PREFIX");
    }
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos || slash + 1 == rest.size())
        return bad("give the topics' PREFIX after the host (mqtt://HOST/line3)");
    std::string authority = rest.substr(0, slash);
    target.prefix = rest.substr(slash + 1);
    if (authority.find('@') != std::string::npos)
        return bad("a user or password is never given on the command line: set PYRROW_MQTT_USER and "
                   "PYRROW_MQTT_PASSWORD, or name a file with --mqtt-login");
    if (target.prefix.find_first_of("+#") != std::string::npos || target.prefix.back() == '/' ||
        target.prefix.find("//") != std::string::npos || target.prefix.find('\0') != std::string::npos)
        return bad("the PREFIX is topic levels without + or # and without empty levels (plant/line3)");
    const std::size_t colon = authority.rfind(':');
    const std::size_t bracket = authority.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string port = authority.substr(colon + 1);
        const bool digits = !port.empty() && port.size() <= 5 && port.front() != '0' &&
                            port.find_first_not_of("0123456789") == std::string::npos;
        if (!digits || std::stoi(port) > 65535)
            return bad("the port is a number from 1 to 65535 without leading zeros");
        target.port = std::stoi(port);
        authority.resize(colon);
    }
    if (authority.size() > 2 && authority.front() == '[' && authority.back() == ']')
        authority = authority.substr(1, authority.size() - 2);
    if (authority.empty() || authority.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                         "0123456789.-:") != std::string::npos)
        return bad("give the broker's host name or address");
    target.host = authority;
    return {target, {}};
}

std::string ReadMqttLogin(const std::string& file, MqttLogin& login, std::stop_token stop)
{
    if (file.empty()) {
        const char* user = std::getenv("PYRROW_MQTT_USER");
        const char* password = std::getenv("PYRROW_MQTT_PASSWORD");
        login.user = user != nullptr ? user : "";
        login.password = password != nullptr ? password : "";
        if (login.user.empty() && !login.password.empty())
            return "PYRROW_MQTT_PASSWORD is set without PYRROW_MQTT_USER";
        return {};
    }
    const InputFile read = ReadInputFile("the --mqtt-login file", file, 64 * 1024, stop);
    if (read.status != ReadStatus::Read)
        return "--mqtt-login: " + read.problem;
    const std::string text(read.bytes.begin(), read.bytes.end());
    const std::size_t end = text.find('\n');
    login.user = text.substr(0, end);
    login.password = end == std::string::npos ? "" : text.substr(end + 1, text.find('\n', end + 1) - end - 1);
    for (std::string* line : {&login.user, &login.password})
        if (!line->empty() && line->back() == '\r')
            line->pop_back();
    if (login.user.empty())
        return "--mqtt-login: " + file + " names no user on its first line (the password goes on the second)";
    return {};
}

platform::MqttClient::Setup StationClientSetup(const MqttTarget& target)
{
    platform::MqttClient::Setup setup;
    setup.broker = target;
    setup.recordsTopic = target.Topic("records");
    setup.statusTopic = target.Topic("status");
    return setup;
}

}  // namespace pyrrow::cli
