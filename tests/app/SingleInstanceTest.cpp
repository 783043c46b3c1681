// SPDX-License-Identifier: MIT
#include "app/SingleInstance.h"
#include "support/Files.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <QSysInfo>
#include <QTemporaryDir>

#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    // The lock file of a process that has ended: its PID names nobody any more.
    void leaveLockOfAnEndedBridge()
    {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        testfiles::write(m_dir / SingleInstance::LockFileName,
                         std::to_string(child) + "\ntessiro\n" + QSysInfo::machineHostName().toStdString() + "\n");
    }

    QTemporaryDir m_tmp;
    std::filesystem::path m_dir = testfiles::path(m_tmp);
};

TEST_F(SingleInstanceTest, SecondBridgeOnTheSameFolderIsRefusedNamingTheHolder)
{
    SingleInstance first(m_dir);
    ASSERT_TRUE(first.acquire());

    SingleInstance second(m_dir);
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(second.heldByAnother());
    EXPECT_EQ(second.holderPid(), ::getpid());
    EXPECT_NE(second.why().find("PID " + std::to_string(::getpid())), std::string::npos) << second.why();
}

TEST_F(SingleInstanceTest, FolderIsFreeAgainOnceTheHolderEnds)
{
    {
        SingleInstance first(m_dir);
        ASSERT_TRUE(first.acquire());
    }
    SingleInstance next(m_dir);
    EXPECT_TRUE(next.acquire());
}

TEST_F(SingleInstanceTest, LockLeftByABridgeThatDiedIsTakenOver)
{
    leaveLockOfAnEndedBridge();

    SingleInstance next(m_dir);
    EXPECT_TRUE(next.acquire()) << next.why();
}

TEST_F(SingleInstanceTest, LockLeftByABridgeThatDiedOnAFullDiskGivesTheFullDiskReason)
{
    // A crash, then a disk that fills up: the stale lock cannot be replaced.
    leaveLockOfAnEndedBridge();

    SingleInstance next(m_dir);
    {
        const WritesRefused full;
        EXPECT_FALSE(next.acquire());
    }
    EXPECT_FALSE(next.heldByAnother()) << "a full disk is not another bridge";
    EXPECT_NE(next.why().find("full"), std::string::npos) << next.why();
    EXPECT_EQ(next.why().find("already running"), std::string::npos) << next.why();
}

TEST_F(SingleInstanceTest, LockThatCannotBeMadeIsNotTakenForARunningBridge)
{
    // A folder that is not there: the lock file cannot be made whoever runs
    // the test, root included.
    SingleInstance instance(m_dir / "non_esiste");
    EXPECT_FALSE(instance.acquire());
    EXPECT_FALSE(instance.heldByAnother());
    EXPECT_NE(instance.why().find("cannot create the lock file"), std::string::npos) << instance.why();
    EXPECT_EQ(instance.why().find("already running"), std::string::npos) << instance.why();
}

} // namespace
