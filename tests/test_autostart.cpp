// Starting at login: the Preferences checkbox writes and removes the autostart entry and follows
// the file when it is changed by hand.
#include "CWAutostart.h"
#include "CWPrefsWC.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QFile>

using namespace Qt::StringLiterals;

TEST(Autostart, TheCheckboxWritesAndRemovesTheEntryAndFollowsTheFile)
{
    QFile::remove(CWAutostart::entryPath());
    CWPrefsWC prefs(nullptr);
    prefs.showWindow();
    auto *box = prefs.window()->findChild<QCheckBox *>(u"startAtLogin"_s);
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isChecked());

    box->click();
    QFile entry(CWAutostart::entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains(" --background\n"));
    box->click();
    EXPECT_FALSE(entry.exists());

    for (bool byHand : {true, false}) {
        SCOPED_TRACE(byHand ? "entry written by hand" : "entry removed by hand");
        if (byHand)
            writeTextFile(CWAutostart::entryPath().section(u'/', 0, -2), entry.fileName().section(u'/', -1),
                          CWAutostart::entryText(u"cellwise"_s));
        else
            entry.remove();
        prefs.window()->hide();
        prefs.showWindow();
        EXPECT_EQ(box->isChecked(), byHand);
    }
}

TEST(Autostart, TheEntryQuotesAnExecutablePathThatNeedsIt)
{
    for (const auto &[path, exec] : {std::pair{"/usr/bin/cellwise", "Exec=/usr/bin/cellwise --background"},
                                     {"/home/a b/100%/cellwise", "Exec=\"/home/a b/100%%/cellwise\" --background"}}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(CWAutostart::entryText(QString::fromUtf8(path)).contains(QString::fromUtf8(exec)));
    }
}
