#include "engine/TidyLibraryRun.h"

#include <memory>
#include <tidy/tidybuffio.h>

namespace {

struct TidyDocDeleter {
    void operator()(TidyDoc doc) const { tidyRelease(doc); }
};
using TidyDocPtr = std::unique_ptr<std::remove_pointer_t<TidyDoc>, TidyDocDeleter>;

class OutputBuffer {
public:
    OutputBuffer() { tidyBufInit(&m_buffer); }
    ~OutputBuffer() { tidyBufFree(&m_buffer); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    TidyBuffer* get() { return &m_buffer; }

private:
    TidyBuffer m_buffer{};
};

// Reached from the callback through the document's application data.
struct Collector {
    QList<TidyReport> reports;
    bool lost = false; // a report could not be stored
};

Bool TIDY_CALL CollectMessage(TidyMessage message) {
    auto* collector = static_cast<Collector*>(tidyGetAppData(tidyGetMessageDoc(message)));
    if (collector) {
        // No exception may cross the library's C frames.
        try {
            const char* text = tidyGetMessage(message);
            collector->reports.append({int(tidyGetMessageLevel(message)),
                                       tidyGetMessageLine(message), tidyGetMessageColumn(message),
                                       text ? QByteArray(text) : QByteArray()});
        } catch (...) {
            collector->lost = true;
        }
    }
    // Kept out of the library's own error output (stderr by default).
    return no;
}

} // namespace

bool ApplyResolvedOptions(const ResolvedTidyOptions& options, TidyDoc doc) {
    for (const TidyOptionStep& step : options) {
        // The library answers even for its placeholder "unknown" option.
        if (step.option <= TidyUnknownOption || step.option >= N_TIDY_OPTIONS)
            return false;
        const TidyOption option = tidyGetOption(doc, step.option);
        if (!option)
            return false;
        Bool accepted = no;
        if (step.kind == TidyOptionStep::Kind::Text) {
            accepted = tidyOptSetValue(doc, step.option, step.text.constData());
        } else {
            // A setter of the wrong type trips an assertion in the library.
            switch (tidyOptGetType(option)) {
            case TidyBoolean:
                accepted = tidyOptSetBool(doc, step.option, step.number != 0 ? yes : no);
                break;
            case TidyInteger:
                if (step.number >= 0)
                    accepted = tidyOptSetInt(doc, step.option, ulong(step.number));
                break;
            case TidyString:
                accepted =
                    tidyOptSetValue(doc, step.option, QByteArray::number(step.number).constData());
                break;
            }
        }
        if (!accepted)
            return false;
    }
    return true;
}

TidyResult RunTidyLibrary(const TidyRequest& request) {
    TidyResult result;
    Collector collector;
    TidyDocPtr doc(tidyCreate());
    if (!doc)
        return result;
    // Installed before the options so that a refused value is reported, not printed.
    tidySetAppData(doc.get(), &collector);
    tidySetMessageCallback(doc.get(), CollectMessage);

    const auto finish = [&](TidyRunStatus status) {
        result.status = collector.lost ? TidyRunStatus::Failed : status;
        result.reports = std::move(collector.reports);
        return result;
    };

    if (!ApplyResolvedOptions(request.options, doc.get()))
        return finish(TidyRunStatus::Failed);

    // QByteArray data is NUL-terminated, so the library reads up to the first NUL byte.
    const char* text = request.document.constData();
    if (tidyParseString(doc.get(), text) < 0 || tidyCleanAndRepair(doc.get()) < 0)
        return finish(TidyRunStatus::Failed);

    OutputBuffer output;
    if (tidySaveBuffer(doc.get(), output.get()) < 0)
        return finish(TidyRunStatus::Failed);
    const TidyBuffer* buffer = output.get();
    if (buffer->size == 0 && text[0] != '\0')
        return finish(TidyRunStatus::Failed);

    result.output = QByteArray(reinterpret_cast<const char*>(buffer->bp), qsizetype(buffer->size));
    return finish(TidyRunStatus::Completed);
}
