#include "SingleInstance.h"
#include "TestSupport.h"

#include <QSignalSpy>

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
