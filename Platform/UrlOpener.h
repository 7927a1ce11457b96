#pragma once

#include <QUrl>
#include <functional>

// Opens a URL with the desktop's default handler (a web page in the browser), behind a seam that
// tests observe instead.
namespace UrlOpener {

// False with a console line when nothing could open it.
bool open(const QUrl &url);

using Handler = std::function<bool(const QUrl &)>;
// Replaces the desktop by a handler; an empty one restores the desktop. Returns the previous handler.
Handler setHandler(Handler handler);

} // namespace UrlOpener
