#include "ui/qt/display_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace pyrrow::ui {
namespace {

constexpr char kNoWindowHint[] = "; pyrrow-cli uploads without one";

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// QT_QPA_PLATFORM names platforms in order ("wayland;xcb"); only the ones
// that need a display server count as no choice of one's own.
bool OnlyDisplayPlatforms(const char* list)
{
    std::string rest = list;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find(';', start), rest.size());
        std::string name = rest.substr(start, end - start);
        name = name.substr(0, name.find(':'));  // "xcb:option=..."
        if (!name.empty() && name != "xcb" && name.rfind("wayland", 0) != 0)
            return false;
        start = end + 1;
    }
    return true;
}

// Qt's other messages go to standard error as its own handler writes them.
void EndOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
        return;
    }
    QByteArray text = message.toLocal8Bit().simplified();
    std::fprintf(stderr, "pyrrow: the window cannot open: %s%s\n", text.constData(), kNoWindowHint);
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

std::optional<std::string> MissingDisplay(int argc, const char* const* argv)
{
    if (Set("DISPLAY") || Set("WAYLAND_DISPLAY"))
        return std::nullopt;
    if (Set("QT_QPA_PLATFORM") && !OnlyDisplayPlatforms(std::getenv("QT_QPA_PLATFORM")))
        return std::nullopt;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return std::nullopt;
    return std::string("pyrrow: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)") +
           kNoWindowHint + "\n";
}

PlatformFailureGuard::PlatformFailureGuard()
{
    qInstallMessageHandler(EndOnFatal);
}

PlatformFailureGuard::~PlatformFailureGuard()
{
    qInstallMessageHandler(nullptr);  // Qt's own again
}

}  // namespace pyrrow::ui
