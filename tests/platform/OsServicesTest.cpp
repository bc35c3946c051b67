#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/FileStamp.h"
#include "platform/InstanceLock.h"
#include "platform/SessionEnd.h"
#include "platform/linux/LocalSocket.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

TEST(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    auto first = std::make_unique<InstanceLock>(dir.path(), "MonMutexcorvanta2");
    EXPECT_TRUE(first->IsFirst());
    InstanceLock second(dir.path(), "MonMutexcorvanta2");
    EXPECT_FALSE(second.IsFirst());
    InstanceLock other_name(dir.path(), "another");
    EXPECT_TRUE(other_name.IsFirst());
    first.reset();
    InstanceLock third(dir.path(), "MonMutexcorvanta2");
    EXPECT_TRUE(third.IsFirst());
}

TEST(InstanceLockTest, LockThatCannotBeCreatedLetsTheProgramRun) {
    QTemporaryDir dir;
    QFile blocker(QDir(dir.path()).filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    InstanceLock instance(blocker.fileName(), "MonMutexcorvanta2");
    EXPECT_TRUE(instance.IsFirst());
}

// Each signal a session's end or Ctrl-C sends reaches the event loop as one notice, even
// when it came before the loop ran.
TEST(SessionEndWatcherTest, ASignalRaisedBeforeTheLoopRunsIsDeliveredOnIt) {
    SessionEndWatcher watcher;
    ASSERT_TRUE(watcher.watching());
    QSignalSpy ending(&watcher, &SessionEndWatcher::sessionEnding);
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        ending.clear();
        ASSERT_EQ(std::raise(number), 0);
        // Raised on this thread: the handler has run, the notice waits for the loop.
        EXPECT_EQ(ending.count(), 0) << number;
        EXPECT_TRUE(test::WaitUntil([&] { return ending.count() > 0; })) << number;
    }
}

std::filesystem::path writeFile(const QTemporaryDir& dir, const char* name, const char* text) {
    const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(FileStampTest, TellsVersionsOfAFileApart) {
    QTemporaryDir dir;
    const auto path = writeFile(dir, "a.ini", "one");
    const auto first = StampOfFile(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size, 3u);
    EXPECT_EQ(StampOfFile(path), first);

    // Same size, same times set back: only the identity of a replacement tells it apart.
    const auto written = std::filesystem::last_write_time(path);
    const auto replacement = writeFile(dir, "b.ini", "two");
    std::filesystem::last_write_time(replacement, written);
    std::filesystem::rename(replacement, path);
    const auto second = StampOfFile(path);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_NE(second->file_id, first->file_id);
}

TEST(FileStampTest, OnlyRegularFilesHaveOne) {
    QTemporaryDir dir;
    EXPECT_EQ(StampOfFile(std::filesystem::path(dir.path().toStdString()) / "absent"),
              std::nullopt);
    EXPECT_EQ(StampOfFile(dir.path().toStdString()), std::nullopt);
}

// A connect that cannot reach anybody says why, at once, and leaves no socket behind.
TEST(ConnectLocalSocketTest, FailuresSayWhy) {
    QTemporaryDir dir;
    const auto now = std::chrono::steady_clock::now();
    struct Case {
        const char* name;
        std::string path;
        int error;
    };
    const Case cases[] = {
        {"path longer than a socket address holds",
         dir.path().toStdString() + "/" + std::string(200, 'x'), ENAMETOOLONG},
        {"no socket there", dir.path().toStdString() + "/absent", ENOENT},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(ConnectLocalSocket(c.path, now + std::chrono::seconds(5)), -1) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
    }
}

}  // namespace
}  // namespace tavoro
