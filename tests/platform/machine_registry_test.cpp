#include "common/TestSupport.h"
#include "platform/MachineRegistry.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kEditorKey =
    QStringLiteral("\\Software\\Mondavik\\Updrift\\Components\\Mondavik Scribbet");

class MachineRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        SetMachineRegistryFile(file());
    }
    void TearDown() override { SetMachineRegistryFile({}); }
    QString file() const { return m_dir.filePath(QStringLiteral("registry.ini")); }

    QTemporaryDir m_dir;
};

TEST_F(MachineRegistryTest, DefaultsToTheSystemWideFile) {
    SetMachineRegistryFile({});
    EXPECT_EQ(MachineRegistryFile(), QStringLiteral("/etc/xdg/Mondavik/registry.ini"));
}

TEST_F(MachineRegistryTest, MissingFileKeyOrValueGivesNothing) {
    EXPECT_FALSE(MachineRegistryString(kEditorKey, QStringLiteral("PATH")));
    WriteAll(file(), "[Software\\Mondavik\\Updrift\\Components\\Other]\nPATH=/x\n");
    EXPECT_FALSE(MachineRegistryString(kEditorKey, QStringLiteral("PATH")));
    WriteAll(file(), "[Software\\Mondavik\\Updrift\\Components\\Mondavik Scribbet]\nVERSION=2\n");
    EXPECT_FALSE(MachineRegistryString(kEditorKey, QStringLiteral("PATH")));
}

TEST_F(MachineRegistryTest, ReadsAHandWrittenSectionWithoutRegardToCase) {
    WriteAll(file(), "[SOFTWARE\\mondavik\\Updrift\\components\\Mondavik scribbet]\n"
                     "Path=/opt/Mondavik Scribbet/scribbet\n");
    EXPECT_EQ(MachineRegistryString(kEditorKey, QStringLiteral("PATH")),
              QStringLiteral("/opt/Mondavik Scribbet/scribbet"));
}

TEST_F(MachineRegistryTest, ReadsTheLayoutThatTheUserStoreWrites) {
    WriteAll(file(), "[Software]\n"
                     "Mondavik\\Updrift\\Components\\Mondavik%20Scribbet\\PATH=\"/opt/a, b\"\n");
    EXPECT_EQ(MachineRegistryString(kEditorKey, QStringLiteral("PATH")),
              QStringLiteral("/opt/a, b"));
}

TEST_F(MachineRegistryTest, AnUnquotedValueWithACommaStaysOneText) {
    WriteAll(file(), "[Software\\Mondavik\\Updrift\\Components\\Mondavik Scribbet]\n"
                     "PATH=/opt/a, b\n");
    EXPECT_EQ(MachineRegistryString(kEditorKey, QStringLiteral("PATH")),
              QStringLiteral("/opt/a, b"));
}

} // namespace
