#pragma once
// A fuzz target: one function that runs a parser of outside input on arbitrary bytes and checks
// what must hold for any input. The same function runs under libFuzzer (fuzz_<name>, built with
// KELVANE_FUZZ) and in the suite (test_fuzz_replay), which feeds it the seeds and every input
// a fuzzer ever found fault with, so that a mended fault stays mended.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <map>
#include <string>

using FuzzFunction = void (*)(QByteArrayView data);

// Targets by name; a target registers itself through KELVANE_FUZZ_TARGET.
std::map<std::string, FuzzFunction>& FuzzTargets();
bool RegisterFuzzTarget(const char* name, FuzzFunction function);

#define KELVANE_FUZZ_TARGET(name)                                                                  \
    static void FuzzTarget_##name(QByteArrayView data);                                            \
    [[maybe_unused]] static const bool kFuzzTargetRegistered_##name =                              \
        RegisterFuzzTarget(#name, FuzzTarget_##name);                                              \
    static void FuzzTarget_##name(QByteArrayView data)

// A property that does not hold. Under libFuzzer it ends the process (a finding, with the input
// kept as an artifact); in the suite it fails the test of that input.
[[noreturn]] void FuzzFailure(const QString& what);
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzFailure(what);                                                                     \
    } while (false)

// Inputs of several parts separate them by this line (readable in seed files, rare in mutations).
inline constexpr char kFuzzPartSeparator[] = "\n--8<--\n";
// The first `count` - 1 parts, then the rest as the last; missing parts are empty.
QList<QByteArray> SplitFuzzInput(QByteArrayView data, int count);

// A folder of this process for targets that read files, under TMPDIR; removed at exit.
QString FuzzScratchFolder();
// Writes `bytes` as `name` in the scratch folder and answers its path.
QString WriteScratchFile(const QString& name, QByteArrayView bytes);
