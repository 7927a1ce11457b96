#include "SingleInstance.h"
#include "TestSupport.h"

#include <QLockFile>
#include <QSignalSpy>

#include <thread>

TEST(SingleInstance, SecondLaunchAsksTheFirstToBecomeActive)
{
    QTemporaryDir directory;
    auto first = std::make_unique<SingleInstance>(directory.path());
    ASSERT_TRUE(first->claim());
    QSignalSpy activation(first.get(), &SingleInstance::activationRequested);

    SingleInstance second(directory.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(activation.wait(5000));

    QTemporaryDir other;
    EXPECT_TRUE(SingleInstance(other.path()).claim()) << "separate data directories do not meet";

    first.reset();
    SingleInstance third(directory.path());
    EXPECT_TRUE(third.claim()) << "the lock goes with the first instance";
}

TEST(SingleInstance, ALaunchInTheSameInstantReachesAFirstThatIsNotListeningYet)
{
    QTemporaryDir directory;
    // The first launch holds the lock but has not started listening when the second asks.
    auto earlyLock = std::make_unique<QLockFile>(directory.filePath(QStringLiteral("cellwise.lock")));
    ASSERT_TRUE(earlyLock->tryLock(0));
    bool secondClaimed = true;
    std::thread secondLaunch([&] { secondClaimed = SingleInstance(directory.path()).claim(); });
    QThread::msleep(200);
    earlyLock.reset();
    SingleInstance first(directory.path());
    ASSERT_TRUE(first.claim());
    QSignalSpy activation(&first, &SingleInstance::activationRequested);
    EXPECT_TRUE(activation.wait(5000));
    secondLaunch.join();
    EXPECT_FALSE(secondClaimed);
}
