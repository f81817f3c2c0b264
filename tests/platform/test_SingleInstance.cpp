// The single-instance guard within one process: each guard opens the lock on its own,
// so a second guard meets the first as another process would.
#include "TestFiles.h"
#include "platform/Exceptions.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <gtest/gtest.h>
#include <optional>

namespace {

const QString Name = QStringLiteral("LodvarGuardTest");

class TSingleInstanceTest : public testing::Test {
protected:
    TTempFolder runtime;
    TScopedEnv env{"XDG_RUNTIME_DIR", runtime.Path().chopped(1)};
};

TEST_F(TSingleInstanceTest, LockFileIsNamedAfterTheGuardAndTheUserInTheRuntimeFolder) {
    const QString path = SingleInstanceLockPath(Name);
    EXPECT_TRUE(path.startsWith(runtime.Path() + Name + QLatin1Char('-'))) << path.toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral(".lock")));
    const TScopedEnv relative("XDG_RUNTIME_DIR", QStringLiteral("relative/dir"));
    EXPECT_TRUE(SingleInstanceLockPath(Name).startsWith(QDir::tempPath() + QLatin1Char('/')));
}

TEST_F(TSingleInstanceTest, SecondGuardFindsTheFirstUntilItEnds) {
    std::optional<TSingleInstance> first(std::in_place, Name);
    EXPECT_FALSE(first->AlreadyRunning());
    {
        const TSingleInstance second(Name);
        EXPECT_TRUE(second.AlreadyRunning());
    }
    // The second guard's end did not release the first one's lock.
    EXPECT_TRUE(TSingleInstance(Name).AlreadyRunning());
    // A moved guard keeps the lock; its end releases it.
    TSingleInstance moved(std::move(*first));
    first.reset();
    EXPECT_TRUE(TSingleInstance(Name).AlreadyRunning());
    moved = TSingleInstance(QStringLiteral("AnotherGuard"));
    EXPECT_FALSE(TSingleInstance(Name).AlreadyRunning());
}

TEST_F(TSingleInstanceTest, GuardThatCannotBeCreatedRaisesTheSystemError) {
    const struct {
        const char* name;
        bool (*plant)(const QString& path, const QString& folder);
    } cases[] = {
        {"a folder at the lock's path",
         [](const QString& path, const QString&) { return QDir().mkpath(path); }},
        // In a shared temporary folder a link could point the lock at another file.
        {"a link at the lock's path",
         [](const QString& path, const QString& folder) {
             return QFile::link(folder + QStringLiteral("target"), path);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TTempFolder folder;
        const TScopedEnv caseEnv("XDG_RUNTIME_DIR", folder.Path().chopped(1));
        ASSERT_TRUE(c.plant(SingleInstanceLockPath(Name), folder.Path()));
        try {
            const TSingleInstance guard(Name);
            ADD_FAILURE() << "no error";
        } catch (const EOSError& e) {
            EXPECT_NE(e.ErrorCode(), 0);
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot open the lock file ")));
        }
        EXPECT_FALSE(QFile::exists(folder.Path() + QStringLiteral("target")));
    }
}

} // namespace
