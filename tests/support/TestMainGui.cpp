// Entry point of the window suites: a QApplication on the test session's X
// server (DISPLAY), XDG folders pointed at a private temporary folder.
#include "main/vantrel/Composition.h"
#include "support/TestEnvironment.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    vantrel::test::ScopedXdgHome processHome;
    QApplication app(argc, argv);
    vantrel::installPlatform(vantrel::composePlatform());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
