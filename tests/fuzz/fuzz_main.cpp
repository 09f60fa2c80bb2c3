// libFuzzer's entry points for a program built with one target.
#include "FuzzTarget.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

[[noreturn]] void FuzzFailure(const QString& what) {
    std::fprintf(stderr, "fuzz property failed: %s\n", qPrintable(what));
    std::abort();
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    QStandardPaths::setTestModeEnabled(true);
    if (FuzzTargets().size() != 1) {
        std::fprintf(stderr, "fuzz: a fuzz program holds exactly one target\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzTargets().begin()->second(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
