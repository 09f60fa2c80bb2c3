#include "engine/TidyLibraryRun.h"

#include "engine/TidyDocumentHeap.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

struct TidyDocDeleter {
    void operator()(TidyDoc doc) const { tidyRelease(doc); }
};
using TidyDocPtr = std::unique_ptr<std::remove_pointer_t<TidyDoc>, TidyDocDeleter>;

// The tidied text, written straight into the answer's bytes. Called once per byte.
class ByteSink {
public:
    ByteSink() { tidyInitSink(&m_sink, this, PutByte); }
    TidyOutputSink* get() { return &m_sink; }
    bool failed() const { return m_failed; }
    QByteArray take() {
        m_bytes.truncate(m_used);
        return std::move(m_bytes);
    }

private:
    static void TIDY_CALL PutByte(void* data, byte value) {
        auto* self = static_cast<ByteSink*>(data);
        if (self->m_used == self->m_bytes.size() && !self->grow())
            return;
        self->m_at[self->m_used++] = char(value);
    }
    bool grow() {
        // No exception may cross the library's C frames: a failure ends the run as failed.
        try {
            m_bytes.resize(std::max<qsizetype>(64 * 1024, m_bytes.size() * 2));
        } catch (...) {
            m_failed = true;
            return false;
        }
        m_at = m_bytes.data();
        return true;
    }

    QByteArray m_bytes;
    char* m_at = nullptr;
    qsizetype m_used = 0;
    bool m_failed = false;
    TidyOutputSink m_sink{};
};

// The document's bytes as the library's input, lent, not copied. The library calls these once
// per byte; its own buffer source adds a second call to each.
// Ungetting a byte only moves back: the library ungets the bytes it has just read.
class ByteSource {
public:
    explicit ByteSource(const QByteArray& bytes)
        : m_bytes(reinterpret_cast<const unsigned char*>(bytes.constData())),
          m_size(size_t(bytes.size())) {
        tidyInitSource(&m_source, this, GetByte, UngetByte, AtEnd);
    }
    TidyInputSource* get() { return &m_source; }

private:
    static int TIDY_CALL GetByte(void* data) {
        auto* self = static_cast<ByteSource*>(data);
        return self->m_next < self->m_size ? self->m_bytes[self->m_next++] : EOF;
    }
    static void TIDY_CALL UngetByte(void* data, byte) {
        auto* self = static_cast<ByteSource*>(data);
        if (self->m_next > 0)
            --self->m_next;
    }
    static Bool TIDY_CALL AtEnd(void* data) {
        const auto* self = static_cast<const ByteSource*>(data);
        return self->m_next >= self->m_size ? yes : no;
    }

    const unsigned char* m_bytes;
    size_t m_size;
    size_t m_next = 0;
    TidyInputSource m_source{};
};

// Reached from the callback through the document's application data. Texts go into one
// growing block while the library works: a small allocation per report, interleaved with the
// library's own node allocations, made large documents about a tenth slower. The reports are
// built once the library has let go of its memory. Keys are the library's static strings.
class Collector {
public:
    explicit Collector(std::vector<uint> mutedCodes) : m_mutedCodes(std::move(mutedCodes)) {}

    void add(int level, int line, int column, const char* text, const char* key, uint code) {
        const qsizetype offset = m_texts.size();
        if (text)
            m_texts.append(text);
        const bool muted =
            std::find(m_mutedCodes.begin(), m_mutedCodes.end(), code) != m_mutedCodes.end();
        m_entries.push_back({level, line, column, offset, m_texts.size() - offset, key, muted});
    }

    QList<TidyReport> take() {
        QList<TidyReport> reports;
        reports.reserve(qsizetype(m_entries.size()));
        for (const Entry& entry : m_entries) {
            reports.append({entry.level, entry.line, entry.column,
                            QByteArray(m_texts.constData() + entry.offset, entry.size),
                            entry.key ? QByteArray(entry.key) : QByteArray(), entry.muted});
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
        const char* key;
        bool muted;
    };
    std::vector<uint> m_mutedCodes;
    std::vector<Entry> m_entries;
    QByteArray m_texts;
};

Bool TIDY_CALL CollectMessage(TidyMessage message) {
    auto* collector = static_cast<Collector*>(tidyGetAppData(tidyGetMessageDoc(message)));
    if (collector) {
        // No exception may cross the library's C frames.
        try {
            collector->add(int(tidyGetMessageLevel(message)), tidyGetMessageLine(message),
                           tidyGetMessageColumn(message), tidyGetMessage(message),
                           tidyGetMessageKey(message), tidyGetMessageCode(message));
        } catch (...) {
            collector->lost = true;
        }
    }
    // Kept out of the library's own error output (stderr by default).
    return no;
}

// The codes of the keys of the request's mute step. The library is not given the list itself:
// in 5.6 it decides muting only after the callback has seen the message, announces every muted
// key with a report of its own, and grows a list of more than ten keys with the C library's
// realloc on memory that came from the document's allocator, which corrupts the heap.
std::vector<uint> MutedCodes(const ResolvedTidyOptions& options) {
    std::vector<uint> codes;
    for (const TidyOptionStep& step : options) {
        if (step.option != TidyMuteReports)
            continue;
        for (const QByteArray& key : step.text.split(',')) {
            if (key.isEmpty())
                continue;
            const uint code = tidyErrorCodeFromKey(key.constData());
            if (code != UINT_MAX)
                codes.push_back(code);
        }
    }
    return codes;
}

// Under AddressSanitizer every block of the library goes through the checked allocator, so that
// an overrun inside the library is caught rather than landing in a neighbouring slab block.
#if defined(__SANITIZE_ADDRESS__)
#define KELVANE_TIDY_DEFAULT_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVANE_TIDY_DEFAULT_HEAP 1
#endif
#endif

TidyDoc CreateDocument([[maybe_unused]] TidyDocumentHeap& heap) {
#ifdef KELVANE_TIDY_DEFAULT_HEAP
    return tidyCreate();
#else
    return tidyCreateWithAllocator(heap.allocator());
#endif
}

// Whether saving the parsed and repaired document is sure to write some text, so that a tidy
// could not fail for want of output. The library writes the document whenever its markup is
// shown and it either found no errors or is told to write anyway; a whole document (neither
// body-only nor XML, which may print nothing) then has at least its <html> element, which the
// parser always makes. Any other case is answered by writing the text.
bool SaveWritesMarkup(TidyDoc doc) {
    return tidyOptGetBool(doc, TidyShowMarkup) &&
           (tidyErrorCount(doc) == 0 || tidyOptGetBool(doc, TidyForceOutput)) &&
           tidyOptGetInt(doc, TidyBodyOnly) == TidyNoState && !tidyOptGetBool(doc, TidyXmlOut);
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
        if (step.option == TidyMuteReports)
            continue; // applied to the collected reports (MutedCodes)
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
    Collector collector(MutedCodes(request.options));
    TidyDocumentHeap heap; // outlives the document
    TidyDocPtr doc(CreateDocument(heap));
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
            return TidyRunStatus::Failed; // more than the library's positions can describe
        ByteSource input(request.document);
        if (tidyParseSource(doc.get(), input.get()) < 0 || tidyCleanAndRepair(doc.get()) < 0)
            return TidyRunStatus::Failed;
        // Saving adds no reports: validation stops here.
        if (request.mode == TidyRequest::Mode::ReportsOnly)
            return TidyRunStatus::Completed;
        if (request.mode == TidyRequest::Mode::CheckOutput && SaveWritesMarkup(doc.get()))
            return TidyRunStatus::Completed;
        ByteSink sink;
        if (tidySaveSink(doc.get(), sink.get()) < 0 || sink.failed())
            return TidyRunStatus::Failed;
        output = sink.take();
        if (output.isEmpty() && !request.document.isEmpty())
            return TidyRunStatus::Failed;
        return TidyRunStatus::Completed;
    };

    TidyResult result;
    const TidyRunStatus status = run(result.output);
    doc.reset();
    result.status = collector.lost ? TidyRunStatus::Failed : status;
    if (result.status != TidyRunStatus::Completed)
        result.output.clear();
    if (request.mode != TidyRequest::Mode::Tidy)
        result.output.clear();
    result.reports = collector.take();
    return result;
}
