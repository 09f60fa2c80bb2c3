// Test entry for windows: a QApplication on the offscreen platform unless one is chosen.
#include "common/TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    UsePrivateTemporaryFolder();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The user's real configuration, data and cache folders are out of reach: the XDG
    // folders are private ones (UsePrivateTemporaryFolder), also for the programs started.
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
