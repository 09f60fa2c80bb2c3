// Test entry for logic: a QCoreApplication, no screen.
#include "common/TestSupport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    UsePrivateTemporaryFolder();
    QCoreApplication app(argc, argv);
    // The user's real configuration, data and cache folders are out of reach: the XDG
    // folders are private ones (UsePrivateTemporaryFolder), also for the programs started.
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
