#include "Console.h"

#include <QtGlobal>
#include <cstdio>

namespace Console {
namespace {
Sink &currentSink()
{
    static Sink sink;
    return sink;
}
} // namespace

void line(const QString &text)
{
    // A line is read, not scrolled through: a longer one is cut, ending in "…".
    constexpr qsizetype kMaxLength = 1000; // characters
    QString trimmed = text;
    while (trimmed.endsWith(QLatin1Char('\n')))
        trimmed.chop(1);
    if (trimmed.size() > kMaxLength)
        trimmed = trimmed.left(kMaxLength - 1) + QChar(0x2026);
    if (const Sink &sink = currentSink()) {
        sink(trimmed);
        return;
    }
    const QByteArray bytes = trimmed.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}

Sink setSink(Sink sink)
{
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

void routeQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) { line(message); });
}

} // namespace Console
