#include "MuxMagic.h"
#include "SessionMagic.h"
#include "SwitchableGraphics.h"
#include "TestSupport.h"

#include <QDir>
#include <mutex>
#include <vector>

namespace {

const QString kIntegrated = u"bus/pci/devices/0000:00:02.0"_s;
const QString kDiscrete = u"bus/pci/devices/0000:01:00.0"_s;

QString sysfsRoot()
{
    return qEnvironmentVariable("CELLWISE_SYSFS_ROOT");
}

void setRuntimeStatus(const char *status)
{
    writeTextFile(sysfsRoot(), kDiscrete + u"/power/runtime_status"_s, QString::fromLatin1(status) + u'\n');
}

// A laptop with an integrated and a discrete processor, the discrete one powered down, plus a
// network controller that must not count. Written before the observer first looks, since it finds
// the processors it watches once.
void writeTwoGpuMachine()
{
    const QString root = sysfsRoot();
    writeTextFile(root, kIntegrated + u"/class"_s, u"0x030000\n"_s);
    writeTextFile(root, kIntegrated + u"/boot_vga"_s, u"1\n"_s);
    writeTextFile(root, kDiscrete + u"/class"_s, u"0x030200\n"_s);
    writeTextFile(root, kDiscrete + u"/boot_vga"_s, u"0\n"_s);
    writeTextFile(root, kDiscrete + u"/power/control"_s, u"auto\n"_s);
    writeTextFile(root, u"bus/pci/devices/0000:02:00.0/class"_s, u"0x028000\n"_s);
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
    } rows[] = {{"0x030000", true},  {"0x030200", true}, {"0x038000", true},
                {"0x028000", false}, {"garbage", false}, {"", false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.pciClass);
        EXPECT_EQ(SwitchableGraphics::isDisplayClass(row.pciClass), row.display);
    }
    using Controllers = QList<SwitchableGraphics::DisplayController>;
    EXPECT_FALSE(SwitchableGraphics::pairAmong(Controllers{{u"a"_s, "0x030000", "1"}}));
    const auto pair = SwitchableGraphics::pairAmong(
        Controllers{{u"discrete"_s, "0x030000", "0"}, {u"integrated"_s, "0x030000", "1"}});
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->integrated, u"integrated"_s) << "the boot display's processor is the integrated one";
    EXPECT_EQ(pair->discrete, u"discrete"_s);
    EXPECT_FALSE(SwitchableGraphics::isRuntimeActive("suspending")) << "on its way down counts as not in use";
}

TEST(MuxMagic, OneGpuAnswersAsNoSwitcher)
{
    ConsoleCapture console;
    EXPECT_FALSE(MuxMagic::isUsingIntegrated()) << "closed: asks nothing";
    writeTextFile(sysfsRoot(), u"bus/pci/devices/0000:00:02.0/class"_s, u"0x030000\n"_s);
    EXPECT_FALSE(MuxMagic::switcherOpen());
    EXPECT_TRUE(console.contains(u"No matching drivers found."_s));
    EXPECT_FALSE(MuxMagic::isUsingIntegrated());
    EXPECT_FALSE(MuxMagic::isUsingDynamicSwitching());
    QDir(sysfsRoot() + u"/bus"_s).removeRecursively();
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
    QFile::remove(sysfsRoot() + u'/' + kDiscrete + u"/power/runtime_status"_s);
    EXPECT_FALSE(MuxMagic::isUsingIntegrated());
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines().first().startsWith(u"getMuxState returned 0x"_s));

    MuxMagic::switcherClose();
    MuxMagic::switcherClose(); // a second close does nothing
    EXPECT_FALSE(MuxMagic::isUsingIntegrated());
    QDir(sysfsRoot() + u"/bus"_s).removeRecursively();
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
