#pragma once
// The result cache as a tidy or validate run uses it (TidyAhead asks it before it hands a
// document to the helpers, and tells it what they answered). A page whose bytes, options and
// library build were seen before is answered from the cache:
// - a validation by the reports kept;
// - a tidy when tidying it changes nothing (the kept text digest is the page's own), or when
//   its backup's kept tidied text is the page, which is then "already tidied" and needs only
//   its reports. A page whose tidied text is needed (to be written or shown) is tidied.
// So that a tidy rerun over what the run wrote costs no run of the library, each text a tidy
// run may write is checked once more in the helpers (TidyRequest::Mode::CheckOutput) and kept
// with its own status and reports.

#include "engine/TidyBatch.h"
#include "engine/TidyResultCache.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class CachedTidying {
public:
    CachedTidying();
    ~CachedTidying();
    CachedTidying(const CachedTidying&) = delete;
    CachedTidying& operator=(const CachedTidying&) = delete;

    // Takes `cache` (none: inactive) for a run with `options` on `runner`, reports only or
    // tidying; with `checkOutput`, each tidied text that differs from its page is checked.
    // A runner without an identity is not cached.
    void Start(TidyResultCache* cache, const ResolvedTidyOptions& options, TidyRunner& runner,
               bool reportsOnly, bool checkOutput);
    bool Active() const { return m_cache != nullptr; }

    // What the cache knows of a page (and of its backup).
    struct Answer {
        KeyedDigest page;
        std::optional<KeyedDigest> backup;
        // The page's result: it needs no run. Its output is the page itself where tidying
        // changes nothing; empty where the page is what its backup gives (and is not written).
        std::optional<TidyResult> result;
        // Whether tidying the backup gives the page: the backup needs no run.
        std::optional<bool> fromBackup;
    };
    Answer Look(const QByteArray& page, const QByteArray* backup);
    // Reports-only runs with the metadata strategy: the result of a file not read, when its
    // device, inode, size and times are as when it was last read.
    std::optional<TidyResult> LookUnread(const struct stat& st);
    // After a read: the metadata strategy's note of the file's digest.
    void Read(const struct stat& st, const Answer& answer);

    // What a run gave for the page, and for its backup.
    void Learn(const Answer& answer, const TidyResult& result);
    void LearnBackup(const Answer& answer, const TidyResult& result);

    // Takes the checks of tidied texts that are done; with `wait`, every one, until `stopped`
    // says otherwise.
    void TakeChecks(bool wait, const std::function<bool()>& stopped = {});
    // Drops the checks not done and commits what was learned.
    void Stop();

private:
    CachedTidyResult Kept(const TidyResult& result) const;
    void Check(const KeyedDigest& digest, const QByteArray& text);

    TidyResultCache* m_cache = nullptr;
    std::optional<TidyResultCache::Keys> m_keys;       // the run's own mode
    std::optional<TidyResultCache::Keys> m_reportKeys; // reports only
    bool m_reportsOnly = false;
    std::unique_ptr<TidyBatch> m_checks;
    std::deque<KeyedDigest> m_checked; // of the texts in m_checks, in order
};
