#include "UrlOpener.h"

#include "Console.h"

#include <QDesktopServices>

namespace UrlOpener {
namespace {
Handler &currentHandler()
{
    static Handler handler;
    return handler;
}
} // namespace

bool open(const QUrl &url)
{
    const Handler &handler = currentHandler();
    if (handler ? handler(url) : QDesktopServices::openUrl(url))
        return true;
    Console::line(QStringLiteral("Couldn't open ") + url.toString());
    return false;
}

Handler setHandler(Handler handler)
{
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

} // namespace UrlOpener
