#include "kit/Signal.h"

#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace vantrel {
namespace {

TEST(SignalTest, SlotsHearEachPublicationInConnectionOrderWhileTheirContextLives) {
    Signal<int, QString> changed;
    QStringList heard;
    auto first = std::make_unique<QObject>();
    QObject second;
    changed.connect(first.get(),
                    [&](int n, const QString& what) { heard << QStringLiteral("first %1 %2").arg(n).arg(what); });
    changed.connect(&second, [&](int n, const QString&) { heard << QStringLiteral("second %1").arg(n); });
    changed.publish(1, QStringLiteral("a"));
    EXPECT_EQ(heard, (QStringList{"first 1 a", "second 1"}));
    EXPECT_EQ(changed.connectionCount(), 2u);

    first.reset();
    changed.publish(2, QStringLiteral("b"));
    EXPECT_EQ(heard, (QStringList{"first 1 a", "second 1", "second 2"}));
    EXPECT_EQ(changed.connectionCount(), 1u);

    changed.disconnect(&second);
    changed.publish(3, QStringLiteral("c"));
    EXPECT_EQ(heard.size(), 3);
    EXPECT_EQ(changed.connectionCount(), 0u);
}

TEST(SignalTest, ASlotThatConnectsOrDisconnectsTakesEffectFromTheNextPublication) {
    Signal<> changed;
    QObject context;
    int outer = 0, inner = 0;
    changed.connect(&context, [&] {
        ++outer;
        if (outer == 1) changed.connect(&context, [&] { ++inner; });
        if (outer == 3) changed.disconnect(&context);
    });
    changed.publish();
    EXPECT_EQ(inner, 0);
    changed.publish();
    EXPECT_EQ(inner, 1);
    changed.publish();  // disconnects everything of the context, the slot still running included
    EXPECT_EQ(inner, 2);
    changed.publish();
    EXPECT_EQ(outer, 3);
    EXPECT_EQ(inner, 2);
}

}  // namespace
}  // namespace vantrel
