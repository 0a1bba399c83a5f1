// Entry point of every test executable: a QCoreApplication for event-loop tests,
// and XDG folders pointed at a private temporary folder so that no test touches
// the real home folder.
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    vantrel::test::ScopedXdgHome processHome;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
