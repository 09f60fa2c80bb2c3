#include "fileops/CachedTidying.h"

#include "support/Errors.h"

namespace {

TidyResult Completed(QByteArray output, QList<TidyReport> reports) {
    TidyResult result;
    result.status = TidyRunStatus::Completed;
    result.output = std::move(output);
    result.reports = std::move(reports);
    return result;
}

} // namespace

CachedTidying::CachedTidying() = default;

CachedTidying::~CachedTidying() {
    Stop();
}

void CachedTidying::Start(TidyResultCache* cache, const ResolvedTidyOptions& options,
                          TidyRunner& runner, bool reportsOnly, bool checkOutput) {
    Stop();
    m_cache = nullptr;
    m_keys.reset();
    m_reportKeys.reset();
    m_checks.reset();
    const QByteArray identity = runner.identity();
    if (!cache || identity.isEmpty())
        return;
    m_cache = cache;
    m_reportsOnly = reportsOnly;
    m_reportKeys = cache->KeysFor(options, TidyRequest::Mode::ReportsOnly, identity);
    m_keys =
        reportsOnly ? *m_reportKeys : cache->KeysFor(options, TidyRequest::Mode::Tidy, identity);
    if (!reportsOnly && checkOutput) {
        // What CheckOutput answers is what Tidy would: kept under the tidy keys.
        m_checks = std::make_unique<TidyBatch>(options, runner);
        m_checks->setMode(TidyRequest::Mode::CheckOutput);
    }
}

CachedTidying::Answer CachedTidying::Look(const QByteArray& page, const QByteArray* backup) {
    Answer answer;
    if (!m_cache)
        return answer;
    answer.page = m_cache->Digest(page);
    const std::optional<CachedTidyResult> known = m_cache->Find(*m_keys, answer.page);
    if (m_reportsOnly) {
        if (known)
            answer.result = Completed({}, known->reports);
        return answer;
    }
    if (backup) {
        answer.backup = m_cache->Digest(*backup);
        const std::optional<CachedTidyResult> fromBackup = m_cache->Find(*m_keys, *answer.backup);
        if (fromBackup && fromBackup->output)
            answer.fromBackup =
                *fromBackup->output == answer.page && fromBackup->outputSize == page.size();
    }
    if (!known)
        return answer;
    if (known->output && *known->output == answer.page && known->outputSize == page.size())
        answer.result = Completed(page, known->reports); // tidying leaves it as it is
    else if (answer.fromBackup.value_or(false))
        answer.result = Completed({}, known->reports); // already tidied: never written
    return answer;
}

std::optional<TidyResult> CachedTidying::LookUnread(const struct stat& st) {
    if (!m_cache || !m_reportsOnly || m_cache->Strategy() != CacheStrategy::Metadata)
        return std::nullopt;
    const std::optional<KeyedDigest> digest = m_cache->KnownDigest(st);
    if (!digest)
        return std::nullopt;
    const std::optional<CachedTidyResult> known = m_cache->Find(*m_keys, *digest);
    if (!known)
        return std::nullopt;
    return Completed({}, known->reports);
}

void CachedTidying::Read(const struct stat& st, const Answer& answer) {
    if (m_cache && m_reportsOnly)
        m_cache->RememberDigest(st, answer.page);
}

CachedTidyResult CachedTidying::Kept(const TidyResult& result) const {
    CachedTidyResult kept;
    kept.status = result.status;
    kept.reports = result.reports;
    if (!m_reportsOnly) {
        kept.output = m_cache->Digest(result.output);
        kept.outputSize = result.output.size();
    }
    return kept;
}

void CachedTidying::Learn(const Answer& answer, const TidyResult& result) {
    if (!m_cache || result.status != TidyRunStatus::Completed)
        return;
    const CachedTidyResult kept = Kept(result);
    m_cache->Keep(*m_keys, answer.page, kept);
    if (m_reportsOnly)
        return;
    // A tidy's reports are a validation's: a validate after a check needs no run either.
    m_cache->Keep(*m_reportKeys, answer.page, {kept.status, kept.reports, {}, 0}, false);
    if (*kept.output != answer.page)
        Check(*kept.output, result.output);
}

void CachedTidying::LearnBackup(const Answer& answer, const TidyResult& result) {
    if (!m_cache || m_reportsOnly || !answer.backup || result.status != TidyRunStatus::Completed)
        return;
    const CachedTidyResult kept = Kept(result);
    m_cache->Keep(*m_keys, *answer.backup, kept);
    m_cache->Keep(*m_reportKeys, *answer.backup, {kept.status, kept.reports, {}, 0}, false);
}

void CachedTidying::Check(const KeyedDigest& digest, const QByteArray& text) {
    if (!m_checks)
        return;
    // Only as many as the helpers take without holding up the run; one left out costs its
    // page a run next time, nothing more.
    if (!m_checks->wantsMore())
        TakeChecks(false);
    if (!m_checks->wantsMore())
        return;
    try {
        m_checks->submit(text);
        m_checked.push_back(digest);
    } catch (const KelvaneError&) {
    }
}

void CachedTidying::TakeChecks(bool wait, const std::function<bool()>& stopped) {
    if (!m_checks)
        return;
    try {
        while (m_checks->pendingCount() > 0 && (wait || m_checks->isNextReady())) {
            if (wait && stopped && stopped())
                return;
            const TidyResult result = m_checks->takeNext();
            const KeyedDigest digest = m_checked.front();
            m_checked.pop_front();
            if (result.status != TidyRunStatus::Completed)
                continue;
            // A text's own entry (from a tidy of it) says more: kept as it is.
            m_cache->Keep(*m_keys, digest, {result.status, result.reports, {}, 0}, false);
            m_cache->Keep(*m_reportKeys, digest, {result.status, result.reports, {}, 0}, false);
        }
    } catch (const KelvaneError&) {
        // No helper (or a cancelled wait): the checks are only for the cache.
        m_checks->cancel();
        m_checked.clear();
    }
}

void CachedTidying::Stop() {
    if (m_checks) {
        m_checks->cancel();
        m_checked.clear();
    }
    if (m_cache)
        m_cache->Commit();
}
