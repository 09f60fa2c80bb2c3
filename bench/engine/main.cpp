// RunTidy against a bare loop of the same HTML Tidy calls with the same options, in one run.
// Prints pages/s for both and their ratio, and the times for 5, 10 and 20 MB pages. Times are
// processor seconds.

#include "common/Corpus.h"
#include "engine/TidyEngine.h"
#include "engine/TidyOptionSet.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <tidy/tidy.h>
#include <tidy/tidybuffio.h>
#include <vector>

namespace {

// What a minimal program keeps of each report: its text.
Bool TIDY_CALL KeepMessage(TidyMessage message) {
    auto* kept = static_cast<std::string*>(tidyGetAppData(tidyGetMessageDoc(message)));
    kept->append(tidyGetMessage(message));
    kept->append("\r\n");
    return no;
}

// The default option set, written out by hand.
size_t BareTidy(const QByteArray& document) {
    std::string messages;
    TidyDoc doc = tidyCreate();
    tidySetAppData(doc, &messages);
    tidySetMessageCallback(doc, KeepMessage);
    tidyOptSetBool(doc, TidyBreakBeforeBR, no);
    tidyOptSetBool(doc, TidyMakeBare, yes);
    tidyOptSetBool(doc, TidyMakeClean, yes);
    tidyOptSetBool(doc, TidyWord2000, yes);
    tidyOptSetInt(doc, TidyIndentContent, 0);
    tidyOptSetBool(doc, TidyUpperCaseTags, yes);
    tidyOptSetInt(doc, TidyUpperCaseAttrs, 1);
    tidyOptSetBool(doc, TidyDropEmptyParas, yes);
    tidyOptSetInt(doc, TidyFixComments, 0);
    tidyOptSetBool(doc, TidyFixUri, no);
    tidyOptSetBool(doc, TidyMark, no);
    tidyOptSetInt(doc, TidyWrapLen, 0);
    tidyOptSetInt(doc, TidyTabSize, 1);
    tidyOptSetValue(doc, TidyInCharEncoding, "raw");
    tidyOptSetValue(doc, TidyOutCharEncoding, "raw");
    tidyOptSetBool(doc, TidyForceOutput, yes);
    TidyBuffer input;
    tidyBufInit(&input);
    tidyBufAttach(&input, reinterpret_cast<byte*>(const_cast<char*>(document.constData())),
                  uint(document.size()));
    TidyBuffer output;
    tidyBufInit(&output);
    tidyParseBuffer(doc, &input);
    tidyCleanAndRepair(doc);
    tidySaveBuffer(doc, &output);
    const size_t size = output.size + messages.size();
    tidyBufDetach(&input);
    tidyBufFree(&output);
    tidyRelease(doc);
    return size;
}

size_t WrappedTidy(const QByteArray& document) {
    QByteArray text = document;
    QString messages;
    if (!RunTidy(text, messages))
        std::fprintf(stderr, "RunTidy answered no\n");
    return size_t(text.size() + messages.size());
}

QList<QByteArray> LoadCorpus(int copies) {
    const QList<QByteArray> pages = ExampleSitePages();
    QList<QByteArray> corpus;
    for (int i = 0; i < copies; ++i)
        corpus << pages;
    return corpus;
}

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Processor time of this (single-threaded) process: other work on the machine then skews the
// ratio far less than it skews wall-clock time.
template <typename Run> double Seconds(Run&& run) {
    const double start = CpuSeconds();
    run();
    return CpuSeconds() - start;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CurrentOptionSet() = TidyOptionSet{};

    const QList<QByteArray> corpus = LoadCorpus(25);
    if (corpus.isEmpty()) {
        std::fprintf(stderr, "no pages under %s/site\n", KELVANE_EXAMPLES);
        return 1;
    }
    size_t sink = 0;
    // Warm up both roads.
    for (const QByteArray& page : corpus)
        sink += BareTidy(page) + WrappedTidy(page);
    const int rounds = 15;
    std::vector<double> bare, wrapped, ratios;
    const auto bareRound = [&] {
        return Seconds([&] {
            for (const QByteArray& page : corpus)
                sink += BareTidy(page);
        });
    };
    const auto wrappedRound = [&] {
        return Seconds([&] {
            for (const QByteArray& page : corpus)
                sink += WrappedTidy(page);
        });
    };
    for (int round = 0; round < rounds; ++round) {
        // Alternate which goes first so that neither always inherits the other's heap.
        double b = 0, w = 0;
        if (round % 2 == 0) {
            b = bareRound();
            w = wrappedRound();
        } else {
            w = wrappedRound();
            b = bareRound();
        }
        bare.push_back(b);
        wrapped.push_back(w);
        ratios.push_back(w / b);
    }
    // Medians resist the odd scheduling hiccup.
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::printf("corpus: %lld pages per round, %d rounds\n", qlonglong(corpus.size()), rounds);
    std::printf("bare HTML Tidy loop: %10.0f pages/s\n", double(corpus.size()) / median(bare));
    std::printf("RunTidy:             %10.0f pages/s\n", double(corpus.size()) / median(wrapped));
    std::printf("RunTidy time / bare time (median of rounds): %.3f (target <= 1.050)\n",
                median(ratios));

    // One large page against the bare loop, in both orders, keeping the better time of each:
    // on a page this size the heap left behind by the previous run weighs as much as the code.
    const QByteArray fiveMb = GeneratedPage(5 * 1024 * 1024);
    double bareLarge = 1e9, wrappedLarge = 1e9;
    for (int order = 0; order < 2; ++order) {
        const auto runBare = [&] {
            bareLarge = std::min(bareLarge, Seconds([&] { sink += BareTidy(fiveMb); }));
        };
        const auto runWrapped = [&] {
            wrappedLarge = std::min(wrappedLarge, Seconds([&] { sink += WrappedTidy(fiveMb); }));
        };
        if (order == 0) {
            runBare();
            runWrapped();
        } else {
            runWrapped();
            runBare();
        }
    }
    std::printf("\n5 MB page: bare %.2f s, RunTidy %.2f s, ratio %.3f\n", bareLarge, wrappedLarge,
                wrappedLarge / bareLarge);

    std::printf("\nlarge pages through RunTidy:\n");
    double perMb[3] = {};
    const int sizes[3] = {5, 10, 20};
    for (int i = 0; i < 3; ++i) {
        const QByteArray page = GeneratedPage(qsizetype(sizes[i]) * 1024 * 1024);
        const double seconds = Seconds([&] { sink += WrappedTidy(page); });
        perMb[i] = seconds / sizes[i];
        std::printf("  %2d MB: %6.2f s  (%.3f s per MB)\n", sizes[i], seconds, perMb[i]);
    }
    std::printf("20 MB time / 5 MB time: %.2f (linear: 4.00)\n", perMb[2] * 20 / (perMb[0] * 5));
    return sink == 0 ? 1 : 0;
}
