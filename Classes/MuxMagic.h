#pragma once

#include <cstdint>

// Asks the machine's graphics switching whether the low-power integrated processor is in use.
// Where there is no switching (one graphics processor), every question answers NO.
class MuxMagic {
public:
    MuxMagic() = delete;

    static bool switcherOpen();
    static void switcherClose();
    // NO while the switcher is closed.
    static bool isUsingIntegrated();
    static bool isUsingDynamicSwitching();

private:
    // 7: the integrated processor drives the display; 4: switching is automatic. 0 on failure.
    static std::uint64_t _getMuxState(std::uint32_t selector);
};
