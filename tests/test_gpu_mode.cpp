#include "MuxMagic.h"
#include "SessionMagic.h"
#include "SwitchableGraphics.h"
#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

const QString kIntegrated = QStringLiteral("bus/pci/devices/0000:00:02.0");
const QString kDiscrete = QStringLiteral("bus/pci/devices/0000:01:00.0");

QString sysfsRoot()
{
    return qEnvironmentVariable("CELLWISE_SYSFS_ROOT");
}

void setRuntimeStatus(const char *status)
{
    writeTextFile(sysfsRoot(), kDiscrete + QStringLiteral("/power/runtime_status"), QString::fromLatin1(status) + u'\n');
}

// A laptop with an integrated and a discrete processor, the discrete one powered down, plus a
// network controller that must not count. Written before the observer first looks, since it finds
// the processors it watches once.
void writeTwoGpuMachine()
{
    const QString root = sysfsRoot();
    writeTextFile(root, kIntegrated + QStringLiteral("/class"), QStringLiteral("0x030000\n"));
    writeTextFile(root, kIntegrated + QStringLiteral("/boot_vga"), QStringLiteral("1\n"));
    writeTextFile(root, kDiscrete + QStringLiteral("/class"), QStringLiteral("0x030200\n"));
    writeTextFile(root, kDiscrete + QStringLiteral("/boot_vga"), QStringLiteral("0\n"));
    writeTextFile(root, kDiscrete + QStringLiteral("/power/control"), QStringLiteral("auto\n"));
    writeTextFile(root, QStringLiteral("bus/pci/devices/0000:02:00.0/class"), QStringLiteral("0x028000\n"));
    setRuntimeStatus("suspended");
}

struct RecordingDelegate : SessionMagicDelegate {
    void gpuChangedTo(int newKind, int previousKind) override
    {
        const std::lock_guard lock(mutex);
        calls.emplace_back(newKind, previousKind);
    }
    std::mutex mutex;
    std::vector<std::pair<int, int>> calls;
};

} // namespace

TEST(SwitchableGraphics, DisplayControllersAndTheirRoles)
{
    struct Row {
        const char *pciClass;
        bool display;
    } rows[] = {{"0x030000", true}, {"0x030200", true}, {"0x038000", true}, {"0x028000", false}, {"garbage", false}, {"", false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.pciClass);
        EXPECT_EQ(SwitchableGraphics::isDisplayClass(row.pciClass), row.display);
    }
    using Controllers = QList<SwitchableGraphics::DisplayController>;
    EXPECT_FALSE(SwitchableGraphics::pairAmong(Controllers{{QStringLiteral("a"), "0x030000", "1"}}));
    const auto pair = SwitchableGraphics::pairAmong(
        Controllers{{QStringLiteral("discrete"), "0x030000", "0"}, {QStringLiteral("integrated"), "0x030000", "1"}});
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->integrated, QStringLiteral("integrated")) << "the boot display's processor is the integrated one";
    EXPECT_EQ(pair->discrete, QStringLiteral("discrete"));
    EXPECT_FALSE(SwitchableGraphics::isRuntimeActive("suspending")) << "on its way down counts as not in use";
}

TEST(MuxMagic, OneGpuAnswersAsNoSwitcher)
{
    ConsoleCapture console;
    EXPECT_FALSE(MuxMagic::isUsingIntegrated()) << "closed: asks nothing";
    writeTextFile(sysfsRoot(), QStringLiteral("bus/pci/devices/0000:00:02.0/class"), QStringLiteral("0x030000\n"));
    EXPECT_FALSE(MuxMagic::switcherOpen());
    EXPECT_TRUE(console.contains(QStringLiteral("No matching drivers found.")));
    EXPECT_FALSE(MuxMagic::isUsingIntegrated());
    EXPECT_FALSE(MuxMagic::isUsingDynamicSwitching());
    QDir(sysfsRoot() + QStringLiteral("/bus")).removeRecursively();
}

TEST(MuxMagic, ReadsTheDiscreteGpusPowerState)
{
    writeTwoGpuMachine();
    ASSERT_TRUE(MuxMagic::switcherOpen());
    EXPECT_TRUE(MuxMagic::isUsingIntegrated());
    EXPECT_TRUE(MuxMagic::isUsingDynamicSwitching());
    setRuntimeStatus("active");
    EXPECT_FALSE(MuxMagic::isUsingIntegrated());

    ConsoleCapture console;
    QFile::remove(sysfsRoot() + u'/' + kDiscrete + QStringLiteral("/power/runtime_status"));
    EXPECT_FALSE(MuxMagic::isUsingIntegrated());
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines().first().startsWith(QStringLiteral("getMuxState returned 0x")));

    MuxMagic::switcherClose();
    MuxMagic::switcherClose(); // a second close does nothing
    EXPECT_FALSE(MuxMagic::isUsingIntegrated());
    QDir(sysfsRoot() + QStringLiteral("/bus")).removeRecursively();
}

// The observer flips once per real switch of the discrete processor's power, telling its delegate
// the new and the previous kind (0 integrated, 1 discrete).
TEST(SessionMagic, FlipsOncePerSwitchAndTellsTheDelegate)
{
    writeTwoGpuMachine();
    SessionMagic &session = SessionMagic::sharedInstance();
    ASSERT_TRUE(session.displayWatcher().isWatching());
    RecordingDelegate delegate;
    session.setUsingIntegrated(true);
    session.setDelegate(&delegate);

    const auto pollAndSettle = [&session] {
        session.displayWatcher().checkNow();
        session.waitForQueuedReconfigurations();
    };
    setRuntimeStatus("resuming");
    setRuntimeStatus("active");
    pollAndSettle();
    EXPECT_FALSE(session.usingIntegrated());
    pollAndSettle(); // no change, no switch
    setRuntimeStatus("suspending");
    pollAndSettle();
    setRuntimeStatus("suspended");
    pollAndSettle(); // still powered down: the same switch
    EXPECT_TRUE(session.usingIntegrated());
    {
        const std::lock_guard lock(delegate.mutex);
        EXPECT_EQ(delegate.calls, (std::vector<std::pair<int, int>>{{1, 0}, {0, 1}}));
    }

    // A reconfiguration that set no mode changes nothing; without a delegate a switch still counts.
    session.displayReconfigured(0, 0);
    session.waitForQueuedReconfigurations();
    EXPECT_TRUE(session.usingIntegrated());
    session.setDelegate(nullptr);
    session.displayReconfigured(0, DisplayReconfigurationWatcher::kModeSetFlag);
    session.waitForQueuedReconfigurations();
    EXPECT_FALSE(session.usingIntegrated());
    EXPECT_EQ(delegate.calls.size(), 2u);
}
