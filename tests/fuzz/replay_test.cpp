// Every fuzz target in the suite: each seed and each input that a fuzzer once found fault with
// (kept under findings/<target>/ with the fault mended) goes through the target's function
// again, in the ordinary build and in the sanitized one.

#include "FuzzTarget.h"

#include "common/TestSupport.h"
#include "support/Errors.h"

#include <QDir>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class FuzzPropertyFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

QString FuzzFolder(const QString& kind, const std::string& target) {
    return QStringLiteral(KELVANE_FUZZ_DIR "/%1/%2").arg(kind, QString::fromStdString(target));
}

QStringList InputsIn(const QString& folder) {
    QStringList paths;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

std::vector<std::string> TargetNames() {
    std::vector<std::string> names;
    for (const auto& [name, function] : FuzzTargets())
        names.push_back(name);
    return names;
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzReplay, SeedsAndKeptFindingsPass) {
    const FuzzFunction run = FuzzTargets().at(GetParam());
    const QStringList seeds = InputsIn(FuzzFolder(QStringLiteral("corpus"), GetParam()));
    EXPECT_FALSE(seeds.isEmpty()) << "no seeds for " << GetParam();
    for (const QString& path :
         seeds + InputsIn(FuzzFolder(QStringLiteral("findings"), GetParam()))) {
        const QByteArray input = ReadAll(path);
        try {
            run(input);
        } catch (const FuzzPropertyFailure& failure) {
            ADD_FAILURE() << path.toStdString() << ": " << failure.what();
        } catch (const std::exception& error) {
            // Under libFuzzer an exception that escapes is a crash.
            ADD_FAILURE() << path.toStdString() << ": exception escaped: " << error.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(TargetNames()),
                         [](const auto& info) { return info.param; });

// A folder of inputs whose name matches no target would never be replayed.
TEST(FuzzInputs, EveryFolderNamesATarget) {
    for (const QString& kind : {QStringLiteral("corpus"), QStringLiteral("findings")}) {
        const QDir dir(QStringLiteral(KELVANE_FUZZ_DIR "/") + kind);
        for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            EXPECT_TRUE(FuzzTargets().count(name.toStdString()))
                << kind.toStdString() << "/" << name.toStdString();
    }
}

} // namespace

[[noreturn]] void FuzzFailure(const QString& what) {
    throw FuzzPropertyFailure(what.toStdString());
}
