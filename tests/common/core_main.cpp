// Test entry for logic: a QCoreApplication, no screen.
#include "common/TestSupport.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    UsePrivateTemporaryFolder();
    QCoreApplication app(argc, argv);
    // Keeps tests away from the user's real configuration, data and cache folders.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
