#include "SingleInstance.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SingleInstance, SecondLaunchAsksTheFirstToBecomeActive)
{
    QTemporaryDir directory;
    auto first = std::make_unique<SingleInstance>(directory.path());
    ASSERT_TRUE(first->claim());
    QSignalSpy activation(first.get(), &SingleInstance::activationRequested);

    SingleInstance second(directory.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(activation.wait(5000));

    first.reset();
    SingleInstance third(directory.path());
    EXPECT_TRUE(third.claim()) << "the lock goes with the first instance";
}

TEST(SingleInstance, SeparateDataDirectoriesDoNotMeet)
{
    QTemporaryDir a, b;
    SingleInstance first(a.path());
    SingleInstance second(b.path());
    EXPECT_TRUE(first.claim());
    EXPECT_TRUE(second.claim());
}
