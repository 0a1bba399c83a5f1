// Entry point of the suites above the engine: as TestMain, with the desktop's
// real implementations installed (the program's own composition) so that
// links, applications, the calculator and the keyring work as they do for
// users.
#include "main/vantrel/Composition.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    vantrel::test::ScopedXdgHome processHome;
    QCoreApplication app(argc, argv);
    vantrel::installPlatform(vantrel::composePlatform());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
