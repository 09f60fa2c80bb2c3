#include "engine/TidyLibraryRun.h"

#include <limits>
#include <memory>
#include <tidy/tidybuffio.h>
#include <vector>

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

// The document's bytes as the library's input buffer, lent, not copied. The library only
// reads an attached buffer (ungetting a byte moves its position back, it writes nothing).
class InputBuffer {
public:
    explicit InputBuffer(const QByteArray& bytes) {
        tidyBufInit(&m_buffer);
        if (!bytes.isEmpty())
            tidyBufAttach(&m_buffer, reinterpret_cast<byte*>(const_cast<char*>(bytes.constData())),
                          uint(bytes.size()));
    }
    ~InputBuffer() { tidyBufDetach(&m_buffer); }
    InputBuffer(const InputBuffer&) = delete;
    InputBuffer& operator=(const InputBuffer&) = delete;
    TidyBuffer* get() { return &m_buffer; }

private:
    TidyBuffer m_buffer{};
};

// Reached from the callback through the document's application data. Texts go into one
// growing block while the library works: a small allocation per report, interleaved with the
// library's own node allocations, made large documents about a tenth slower. The reports are
// built once the library has let go of its memory.
class Collector {
public:
    void add(int level, int line, int column, const char* text) {
        const qsizetype offset = m_texts.size();
        if (text)
            m_texts.append(text);
        m_entries.push_back({level, line, column, offset, m_texts.size() - offset});
    }

    QList<TidyReport> take() {
        QList<TidyReport> reports;
        reports.reserve(qsizetype(m_entries.size()));
        for (const Entry& entry : m_entries) {
            reports.append({entry.level, entry.line, entry.column,
                            QByteArray(m_texts.constData() + entry.offset, entry.size)});
        }
        m_entries.clear();
        m_texts.clear();
        return reports;
    }

    bool lost = false; // a report could not be stored

private:
    struct Entry {
        int level;
        int line;
        int column;
        qsizetype offset;
        qsizetype size;
    };
    std::vector<Entry> m_entries;
    QByteArray m_texts;
};

Bool TIDY_CALL CollectMessage(TidyMessage message) {
    auto* collector = static_cast<Collector*>(tidyGetAppData(tidyGetMessageDoc(message)));
    if (collector) {
        // No exception may cross the library's C frames.
        try {
            collector->add(int(tidyGetMessageLevel(message)), tidyGetMessageLine(message),
                           tidyGetMessageColumn(message), tidyGetMessage(message));
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
    Collector collector;
    TidyDocPtr doc(tidyCreate());
    if (!doc)
        return {};
    // Installed before the options so that a refused value is reported, not printed.
    tidySetAppData(doc.get(), &collector);
    tidySetMessageCallback(doc.get(), CollectMessage);

    const auto run = [&](QByteArray& output) {
        if (!ApplyResolvedOptions(request.options, doc.get()))
            return TidyRunStatus::Failed;
        // Every byte with its length, as the tidy program reads a file: a NUL byte or a
        // UTF-16 page is content, and nothing is read past the end (a string would end at
        // its first NUL, and the library would also read the terminator as a last byte).
        if (request.document.size() > qsizetype(std::numeric_limits<uint>::max()))
            return TidyRunStatus::Failed; // more than the library's buffer can describe
        InputBuffer input(request.document);
        if (tidyParseBuffer(doc.get(), input.get()) < 0 || tidyCleanAndRepair(doc.get()) < 0)
            return TidyRunStatus::Failed;
        // Saving adds no reports: validation stops here.
        if (request.mode == TidyRequest::Mode::ReportsOnly)
            return TidyRunStatus::Completed;
        OutputBuffer buffer;
        if (tidySaveBuffer(doc.get(), buffer.get()) < 0)
            return TidyRunStatus::Failed;
        const TidyBuffer* saved = buffer.get();
        if (saved->size == 0 && !request.document.isEmpty())
            return TidyRunStatus::Failed;
        output = QByteArray(reinterpret_cast<const char*>(saved->bp), qsizetype(saved->size));
        return TidyRunStatus::Completed;
    };

    TidyResult result;
    const TidyRunStatus status = run(result.output);
    doc.reset();
    result.status = collector.lost ? TidyRunStatus::Failed : status;
    if (result.status != TidyRunStatus::Completed)
        result.output.clear();
    result.reports = collector.take();
    return result;
}
