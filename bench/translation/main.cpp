// Lookup cost of Translate with a language file of realistic size: every message, progress line
// and hint passes through it, so a lookup must stay within a few microseconds.
#include "support/Translation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QByteArray file;
    const int sections = 10;
    const int entries = 400;
    for (int s = 0; s < sections; ++s) {
        file += "<//TForm" + QByteArray::number(s) + "-window\n";
        for (int e = 0; e < entries; ++e) {
            file += "E=Message number " + QByteArray::number(e) + " in \\\"%1\\\"\\r\\n\n";
            file += "T=Meldung Nummer " + QByteArray::number(e) + " in \\\"%1\\\"\\r\\n\n";
        }
    }
    file.replace("<//TForm0-", "<//STRING_TABLE-");
    QFile out(dir.filePath(QStringLiteral("lang.txt")));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(file);
    out.close();

    QElapsedTimer load;
    load.start();
    LoadLanguageFile(dir.path());
    const double loadMs = load.nsecsElapsed() / 1e6;

    QStringList texts;
    for (int i = 0; i < 2 * entries; ++i)
        texts << QStringLiteral("Message number %1 in \"%1\"\r\n").arg(i);
    const int rounds = 200000;
    qsizetype checksum = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        checksum += Translate(texts.at(i % texts.size())).size();
    const double perLookupUs = timer.nsecsElapsed() / 1e3 / rounds;
    std::printf("language file: %d entries, %lld bytes, loaded in %.2f ms\n", sections * entries,
                static_cast<long long>(file.size()), loadMs);
    std::printf("Translate: %.3f us per lookup (half found, half not; checksum %lld)\n",
                perLookupUs, static_cast<long long>(checksum));
    return 0;
}
