#include "kit/AppFlavor.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(AppFlavorTest, RawValues) {
    EXPECT_EQ(appFlavorRawValue(AppFlavor::debug), QStringLiteral("debug"));
    EXPECT_EQ(appFlavorRawValue(AppFlavor::internal), QStringLiteral("internal"));
    EXPECT_EQ(appFlavorRawValue(AppFlavor::release), QStringLiteral("release"));
    for (AppFlavor flavor : {AppFlavor::debug, AppFlavor::internal, AppFlavor::release})
        EXPECT_EQ(appFlavorFromRawValue(appFlavorRawValue(flavor)), flavor);
    EXPECT_EQ(appFlavorFromRawValue(QStringLiteral("Release")), std::nullopt);
}

TEST(AppFlavorTest, CurrentFlavorFollowsTheBuildAndTheEnvironment) {
#ifndef NDEBUG
    test::ScopedEnv internal("VANTREL_FLAVOR", QByteArray("internal"));
    EXPECT_EQ(currentAppFlavor(), AppFlavor::debug);
#else
    {
        test::ScopedEnv unset("VANTREL_FLAVOR", std::nullopt);
        EXPECT_EQ(currentAppFlavor(), AppFlavor::release);
    }
    {
        test::ScopedEnv internal("VANTREL_FLAVOR", QByteArray("internal"));
        EXPECT_EQ(currentAppFlavor(), AppFlavor::internal);
    }
    {
        test::ScopedEnv other("VANTREL_FLAVOR", QByteArray("debug"));
        EXPECT_EQ(currentAppFlavor(), AppFlavor::release);
    }
#endif
}

}  // namespace
}  // namespace vantrel
