#pragma once
// The results of HTML Tidy kept between runs, keyed by what decides them: the document's
// bytes (a keyed digest), the resolved options, the request's mode, the build of the library
// that answers (TidyRunner::identity) and the stored format. A rerun over pages that did not
// change then needs no run of the library. Only results, never anything a decision to write
// rests on: the runs still read every page and make every last check as without the cache.
//
// Only Completed results are kept. A Failed one may come from a crash, a time-out or a memory
// limit, which say more about the moment than about the page.

#include "engine/CachedTidyResult.h"
#include "support/ResultStore.h"

#include <memory>
#include <optional>

enum class CacheStrategy {
    Content,  // every page is read and its bytes are the key
    Metadata, // a page whose device, inode, size and times are as when last read is taken to
              // hold what it held then, without reading it (where a run may skip the read)
};

class TidyResultCache {
public:
    // The cache kept in `store`.
    TidyResultCache(std::unique_ptr<ResultStore> store, CacheStrategy strategy);
    ~TidyResultCache();
    TidyResultCache(const TidyResultCache&) = delete;
    TidyResultCache& operator=(const TidyResultCache&) = delete;

    // The cache in `folder` (DefaultFolder() when empty); null, with a line to `report`, when
    // it cannot be used.
    static std::unique_ptr<TidyResultCache> Open(const QString& folder,
                                                 ResultStore::Reporter report,
                                                 CacheStrategy strategy = CacheStrategy::Content);
    // $XDG_CACHE_HOME/kelvane (~/.cache/kelvane).
    static QString DefaultFolder();

    CacheStrategy Strategy() const { return m_strategy; }
    KeyedDigest Digest(QByteArrayView bytes) const { return m_hasher.Of(bytes); }
    ResultStore& Store() { return *m_store; }

    // Where the results of one kind of run are kept: its options, mode and library build.
    class Keys {
    public:
        KeyedDigest For(const KeyedDigest& content) const;

    private:
        friend class TidyResultCache;
        Keys(const KeyedHasher& hasher, KeyedDigest prefix) : m_hasher(&hasher), m_prefix(prefix) {}
        const KeyedHasher* m_hasher;
        KeyedDigest m_prefix;
    };
    Keys KeysFor(const ResolvedTidyOptions& options, TidyRequest::Mode mode,
                 const QByteArray& identity) const;

    std::optional<CachedTidyResult> Find(const Keys& keys, const KeyedDigest& content);
    // Keeps `result` for the document; with `replace` false an entry already there stays.
    // Results that are not Completed are not kept.
    void Keep(const Keys& keys, const KeyedDigest& content, const CachedTidyResult& result,
              bool replace = true);

    // The metadata strategy's digest of an unread file, and its note after a read.
    std::optional<KeyedDigest> KnownDigest(const struct stat& st);
    void RememberDigest(const struct stat& st, const KeyedDigest& digest);

    // Commits what was kept so far.
    void Commit() { m_store->Commit(); }

private:
    std::unique_ptr<ResultStore> m_store;
    KeyedHasher m_hasher;
    CacheStrategy m_strategy;
};

// The cache the runs use; none unless one is installed (not owned).
TidyResultCache* CurrentTidyResultCache();
// Installs `cache` (nullptr: none) and returns the one installed before.
TidyResultCache* SetTidyResultCache(TidyResultCache* cache);

// Opens the cache in its default folder and installs it for the life of the process (the
// window's runs). One that cannot be used is reported through `report`, and none is installed.
void InstallTidyResultCache(const ResultStore::Reporter& report);

class ScopedTidyResultCache {
public:
    explicit ScopedTidyResultCache(TidyResultCache* cache)
        : m_previous(SetTidyResultCache(cache)) {}
    ~ScopedTidyResultCache() { SetTidyResultCache(m_previous); }
    ScopedTidyResultCache(const ScopedTidyResultCache&) = delete;
    ScopedTidyResultCache& operator=(const ScopedTidyResultCache&) = delete;

private:
    TidyResultCache* m_previous;
};
