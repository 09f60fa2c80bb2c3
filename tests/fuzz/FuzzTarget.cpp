#include "FuzzTarget.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

std::map<std::string, FuzzFunction>& FuzzTargets() {
    static std::map<std::string, FuzzFunction> targets;
    return targets;
}

bool RegisterFuzzTarget(const char* name, FuzzFunction function) {
    FuzzTargets()[name] = function;
    return true;
}

QList<QByteArray> SplitFuzzInput(QByteArrayView data, int count) {
    QList<QByteArray> parts;
    const QByteArrayView separator(kFuzzPartSeparator);
    while (parts.size() + 1 < count) {
        const qsizetype at = data.indexOf(separator);
        if (at < 0)
            break;
        parts.append(data.first(at).toByteArray());
        data = data.sliced(at + separator.size());
    }
    parts.append(data.toByteArray());
    while (parts.size() < count)
        parts.append(QByteArray());
    return parts;
}

QString FuzzScratchFolder() {
    static QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "fuzz: no scratch folder: %s\n", qPrintable(folder.errorString()));
        std::abort();
    }
    return folder.path();
}

QString WriteScratchFile(const QString& name, QByteArrayView bytes) {
    const QString path = FuzzScratchFolder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), bytes.size()) != bytes.size()) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}
