#include "BatteryRegistry.h"

#include "SysfsBatteryRegistry.h"

namespace {
std::unique_ptr<BatteryRegistry> &installed()
{
    static std::unique_ptr<BatteryRegistry> registry;
    return registry;
}
} // namespace

BatteryRegistry &BatteryRegistry::current()
{
    if (!installed())
        installed() = std::make_unique<SysfsBatteryRegistry>();
    return *installed();
}

void BatteryRegistry::install(std::unique_ptr<BatteryRegistry> registry)
{
    installed() = std::move(registry);
}
