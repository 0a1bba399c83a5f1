// Writes to the settings store announce themselves, so that whoever follows a
// setting (the main hotkey) hears about a change made anywhere in the process.
#include "kit/NotificationCenter.h"
#include "kit/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class UserDefaultsChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationCenter::defaultCenter().addObserver(
            QString(UserDefaults::didChangeNotification), &observer,
            [this](const Notification& notice) { notices.push_back(notice); });
    }

    ScopedXdgHome home;
    QObject observer;
    std::vector<Notification> notices;
};

TEST_F(UserDefaultsChangeTest, EveryWriteAndRemovalPostsTheKeyAndTheStore) {
    UserDefaults defaults(home.root() + QStringLiteral("/a.conf"));
    defaults.setValue(QStringLiteral("vantrelGlobalHotkey"), QStringLiteral("Control-Option-38"));
    defaults.setValue(QStringLiteral("vantrelGlobalHotkey"), QStringLiteral("Control-Option-38"));
    defaults.remove(QStringLiteral("popToRootTimeout"));
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].name, QStringLiteral("vantrelUserDefaultsDidChange"));
    EXPECT_EQ(notices[0].object.toString(), QStringLiteral("vantrelGlobalHotkey"));
    EXPECT_EQ(notices[0].userInfo.value(QStringLiteral("path")).toString(), defaults.path());
    EXPECT_EQ(notices[2].object.toString(), QStringLiteral("popToRootTimeout"));
}

TEST_F(UserDefaultsChangeTest, TheValueIsReadableWhenTheNoticeArrives) {
    UserDefaults defaults(home.root() + QStringLiteral("/b.conf"));
    QString seen;
    QObject reader;
    NotificationCenter::defaultCenter().addObserver(
        QString(UserDefaults::didChangeNotification), &reader,
        [&](const Notification&) { seen = defaults.value(QStringLiteral("key")).toString(); });
    defaults.setValue(QStringLiteral("key"), QStringLiteral("new"));
    EXPECT_EQ(seen, QStringLiteral("new"));
}

TEST_F(UserDefaultsChangeTest, ReadingPostsNothing) {
    UserDefaults defaults(home.root() + QStringLiteral("/c.conf"));
    defaults.value(QStringLiteral("vantrelGlobalHotkey"));
    defaults.contains(QStringLiteral("vantrelGlobalHotkey"));
    defaults.sync();
    EXPECT_TRUE(notices.empty());
}

TEST_F(UserDefaultsChangeTest, AWriteOnAnotherThreadIsAnnouncedThere) {
    UserDefaults defaults(home.root() + QStringLiteral("/d.conf"));
    QThread* postedOn = nullptr;
    QObject watcher;
    NotificationCenter::defaultCenter().addObserver(QString(UserDefaults::didChangeNotification), &watcher,
                                                    [&](const Notification&) { postedOn = QThread::currentThread(); });
    std::unique_ptr<QThread> writer(
        QThread::create([&] { defaults.setValue(QStringLiteral("key"), QStringLiteral("value")); }));
    writer->start();
    writer->wait();
    EXPECT_EQ(postedOn, writer.get());
}

}  // namespace
}  // namespace vantrel::test
