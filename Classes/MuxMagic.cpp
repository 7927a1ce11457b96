#include "MuxMagic.h"

#include "Console.h"
#include "SwitchableGraphics.h"

#include <cerrno>

namespace {

constexpr std::uint32_t kStateIntegratedInUse = 7;
constexpr std::uint32_t kStateDynamicSwitching = 4;

// The open connection: the two processors found by switcherOpen().
std::optional<SwitchableGraphics::Pair> &connection()
{
    static std::optional<SwitchableGraphics::Pair> pair;
    return pair;
}

} // namespace

bool MuxMagic::switcherOpen()
{
    connection() = SwitchableGraphics::findPair();
    if (!connection())
        Console::line(QStringLiteral("No matching drivers found."));
    return connection().has_value();
}

void MuxMagic::switcherClose()
{
    connection().reset();
}

bool MuxMagic::isUsingIntegrated()
{
    return connection() && _getMuxState(kStateIntegratedInUse) != 0;
}

bool MuxMagic::isUsingDynamicSwitching()
{
    return connection() && _getMuxState(kStateDynamicSwitching) != 0;
}

std::uint64_t MuxMagic::_getMuxState(std::uint32_t selector)
{
    // Only the two selectors above are ever asked for.
    const bool askingIntegrated = selector == kStateIntegratedInUse;
    const std::optional<QByteArray> value =
        SwitchableGraphics::readAttribute(connection()->discrete, askingIntegrated
                                                                      ? QStringLiteral("power/runtime_status")
                                                                      : QStringLiteral("power/control"));
    if (!value) {
        Console::line(QString::asprintf("getMuxState returned 0x%08x.", static_cast<unsigned>(errno)));
        return 0;
    }
    return askingIntegrated ? !SwitchableGraphics::isRuntimeActive(*value)
                            : SwitchableGraphics::isAutoPowerControl(*value);
}
