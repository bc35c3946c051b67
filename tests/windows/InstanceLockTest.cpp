#include <gtest/gtest.h>
#include <windows.h>

#include <QProcess>
#include <QString>
#include <memory>

#include "platform/InstanceLock.h"

namespace tavoro {
namespace {

QString uniqueName() {
    return QStringLiteral("TavoroTestMutex%1").arg(::GetCurrentProcessId());
}

TEST(InstanceLockTest, ASecondHolderIsRefusedUntilTheFirstEnds) {
    const QString name = uniqueName();
    auto first = std::make_unique<InstanceLock>(InstanceLock::RuntimeFolder(), name);
    EXPECT_TRUE(first->IsFirst());
    {
        InstanceLock second(InstanceLock::RuntimeFolder(), name);
        EXPECT_FALSE(second.IsFirst());
    }
    // The refused one let go of nothing that counts: the first still holds it.
    EXPECT_FALSE(InstanceLock(InstanceLock::RuntimeFolder(), name).IsFirst());
    first.reset();
    EXPECT_TRUE(InstanceLock(InstanceLock::RuntimeFolder(), name).IsFirst());
}

// Another process of the same session sees the name too.
TEST(InstanceLockTest, TheLockIsSeenFromAnotherProcess) {
    const QString name = uniqueName() + "x";
    HANDLE other = ::CreateMutexA(nullptr, FALSE, name.toLocal8Bit().constData());
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(InstanceLock(InstanceLock::RuntimeFolder(), name).IsFirst());
    ::CloseHandle(other);
    EXPECT_TRUE(InstanceLock(InstanceLock::RuntimeFolder(), name).IsFirst());
}

}  // namespace
}  // namespace tavoro
