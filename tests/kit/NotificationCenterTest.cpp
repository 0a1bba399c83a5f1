#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "support/QtPrinters.h"

#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace vantrel {
namespace {

const QString kChanged = QStringLiteral("quicklinksDidChange");
const QString kOther = QStringLiteral("didChangeClipboardHistory");

TEST(NotificationCenterTest, DeliversNamedNotificationsWithTheirObjectAndDetails) {
    NotificationCenter center;
    QObject owner;
    QList<Notification> received;
    center.addObserver(kChanged, &owner, [&](const Notification& n) { received << n; });
    center.post(kOther);
    center.post(kChanged, QStringLiteral("quicklinks"), {{QStringLiteral("count"), 3}});
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].name, kChanged);
    EXPECT_EQ(received[0].object.toString(), QStringLiteral("quicklinks"));
    EXPECT_EQ(received[0].userInfo.value(QStringLiteral("count")).toInt(), 3);
}

TEST(NotificationCenterTest, ObserversAreCalledInTheOrderTheyWereAdded) {
    NotificationCenter center;
    QObject owner;
    QStringList order;
    center.addObserver(kChanged, &owner, [&](const Notification&) { order << QStringLiteral("a"); });
    center.addObserver(kChanged, &owner, [&](const Notification&) { order << QStringLiteral("b"); });
    center.addObserver(QString(), &owner, [&](const Notification&) { order << QStringLiteral("any"); });
    center.post(kChanged);
    EXPECT_EQ(order, QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("any")}));
}

TEST(NotificationCenterTest, AnObjectFilterLimitsDeliveryToThatObject) {
    NotificationCenter center;
    QObject owner;
    QStringList seen;
    center.addObserver(
        QString::fromLatin1(NotificationNames::packageConfigurationDidChange), &owner,
        [&](const Notification& n) { seen << n.object.toString(); }, QVariant(QStringLiteral("snippets")));
    center.post(NotificationNames::packageConfigurationDidChange, QStringLiteral("quicklinks"));
    center.post(NotificationNames::packageConfigurationDidChange, QStringLiteral("snippets"));
    center.post(NotificationNames::packageConfigurationDidChange);
    EXPECT_EQ(seen, QStringList{QStringLiteral("snippets")});
}

TEST(NotificationCenterTest, ObserversWhoseObjectIsDestroyedAreDropped) {
    NotificationCenter center;
    int calls = 0;
    auto owner = std::make_unique<QObject>();
    center.addObserver(kChanged, owner.get(), [&](const Notification&) { ++calls; });
    center.post(kChanged);
    EXPECT_EQ(calls, 1);
    owner.reset();
    center.post(kChanged);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount(kChanged), 0);
}

TEST(NotificationCenterTest, RemovingByTokenOrByObserver) {
    NotificationCenter center;
    QObject first;
    QObject second;
    QStringList seen;
    const auto token =
        center.addObserver(kChanged, &first, [&](const Notification&) { seen << QStringLiteral("token"); });
    center.addObserver(kChanged, &second, [&](const Notification&) { seen << QStringLiteral("second"); });
    center.addObserver(kOther, &second, [&](const Notification&) { seen << QStringLiteral("second-other"); });
    EXPECT_NE(token, 0u);

    center.removeObserver(token);
    center.post(kChanged);
    EXPECT_EQ(seen, QStringList{QStringLiteral("second")});

    center.removeObserver(&second, kChanged);
    center.post(kChanged);
    center.post(kOther);
    EXPECT_EQ(seen, QStringList({QStringLiteral("second"), QStringLiteral("second-other")}));

    center.removeObserver(&second);
    center.post(kOther);
    EXPECT_EQ(seen.size(), 2);
    EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenterTest, ObserversMayChangeRegistrationsWhileBeingCalled) {
    NotificationCenter center;
    QObject owner;
    QStringList seen;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token self = 0;
    self = center.addObserver(kChanged, &owner, [&](const Notification&) {
        seen << QStringLiteral("first");
        center.removeObserver(self);
        center.removeObserver(second);
        center.addObserver(kChanged, &owner, [&](const Notification&) { seen << QStringLiteral("added"); });
    });
    second = center.addObserver(kChanged, &owner, [&](const Notification&) { seen << QStringLiteral("second"); });

    center.post(kChanged);
    EXPECT_EQ(seen, QStringList{QStringLiteral("first")});
    center.post(kChanged);
    EXPECT_EQ(seen, QStringList({QStringLiteral("first"), QStringLiteral("added")}));
}

TEST(NotificationCenterTest, DeliversOnThePostingThread) {
    NotificationCenter center;
    QObject owner;
    std::atomic<QThread*> deliveredOn{nullptr};
    center.addObserver(kChanged, &owner, [&](const Notification&) { deliveredOn = QThread::currentThread(); });
    QThread* poster = nullptr;
    std::thread thread([&] {
        poster = QThread::currentThread();
        center.post(kChanged);
    });
    thread.join();
    EXPECT_EQ(deliveredOn.load(), poster);
    EXPECT_NE(deliveredOn.load(), QThread::currentThread());
}

TEST(NotificationCenterTest, ObserversWithoutAnObjectLastUntilRemoved) {
    NotificationCenter center;
    int calls = 0;
    const auto token = center.addObserver(kChanged, nullptr, [&](const Notification&) { ++calls; });
    center.post(kChanged);
    center.removeObserver(token);
    center.post(kChanged);
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTest, TheDefaultCenterIsShared) {
    QObject owner;
    int calls = 0;
    NotificationCenter::defaultCenter().addObserver(NotificationNames::didMatchSnippetAlias, &owner,
                                                    [&](const Notification&) { ++calls; });
    NotificationCenter::defaultCenter().post(NotificationNames::didMatchSnippetAlias);
    EXPECT_EQ(calls, 1);
    NotificationCenter::defaultCenter().removeObserver(&owner);
}

TEST(NotificationNamesTest, NamesAreSpelledAsSubscribersExpect) {
    EXPECT_EQ(QString(NotificationNames::packageConfigurationDidChange),
              QStringLiteral("vantrel_PackageConfigurationDidChange"));
    EXPECT_EQ(QString(NotificationNames::packageCommandsDidChange), QStringLiteral("vantrel_PackageCommandsDidChange"));
    EXPECT_EQ(QString(NotificationNames::didUprankItem), QStringLiteral("didUprankItemNotification"));
    EXPECT_EQ(QString(NotificationNames::scriptCommandsChanged), QStringLiteral("vantrel_scriptCommandsChanged"));
    EXPECT_EQ(QString(NotificationNames::quicklinksSourceDidChange), QStringLiteral("quicklinksSourceDidChange"));
}

}  // namespace
}  // namespace vantrel
