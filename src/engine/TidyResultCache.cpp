#include "engine/TidyResultCache.h"

#include "engine/EngineProtocol.h"

#include <QDir>
#include <QStandardPaths>

namespace {
TidyResultCache* g_installed = nullptr;
}

TidyResultCache::TidyResultCache(std::unique_ptr<ResultStore> store, CacheStrategy strategy)
    : m_store(std::move(store)), m_hasher(m_store->Seed()), m_strategy(strategy) {}

TidyResultCache::~TidyResultCache() = default;

std::unique_ptr<TidyResultCache>
TidyResultCache::Open(const QString& folder, ResultStore::Reporter report, CacheStrategy strategy) {
    std::unique_ptr<ResultStore> store =
        ResultStore::Open(folder.isEmpty() ? DefaultFolder() : folder, std::move(report));
    if (!store)
        return nullptr;
    return std::make_unique<TidyResultCache>(std::move(store), strategy);
}

QString TidyResultCache::DefaultFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("kelvane"));
}

KeyedDigest TidyResultCache::Keys::For(const KeyedDigest& content) const {
    return m_hasher->OfParts({m_prefix.Bytes(), content.Bytes()});
}

TidyResultCache::Keys TidyResultCache::KeysFor(const ResolvedTidyOptions& options,
                                               TidyRequest::Mode mode,
                                               const QByteArray& identity) const {
    // The options and the mode as the helpers receive them, without a document.
    const QByteArray request = EncodeTidyRequestFrame({options, {}, mode});
    return Keys(m_hasher, m_hasher.OfParts({CachedResultFormat(), identity, request}));
}

std::optional<CachedTidyResult> TidyResultCache::Find(const Keys& keys,
                                                      const KeyedDigest& content) {
    const std::optional<QByteArray> bytes = m_store->Get(keys.For(content));
    CachedTidyResult result;
    if (!bytes || !DecodeCachedResult(*bytes, result) || result.status != TidyRunStatus::Completed)
        return std::nullopt;
    return result;
}

void TidyResultCache::Keep(const Keys& keys, const KeyedDigest& content,
                           const CachedTidyResult& result, bool replace) {
    if (result.status != TidyRunStatus::Completed)
        return;
    m_store->Put(keys.For(content), EncodeCachedResult(result), replace);
}

std::optional<KeyedDigest> TidyResultCache::KnownDigest(const struct stat& st) {
    if (m_strategy != CacheStrategy::Metadata)
        return std::nullopt;
    return m_store->FileDigest(st);
}

void TidyResultCache::RememberDigest(const struct stat& st, const KeyedDigest& digest) {
    if (m_strategy == CacheStrategy::Metadata)
        m_store->PutFileDigest(st, digest);
}

TidyResultCache* CurrentTidyResultCache() {
    return g_installed;
}

TidyResultCache* SetTidyResultCache(TidyResultCache* cache) {
    TidyResultCache* previous = g_installed;
    g_installed = cache;
    return previous;
}

void InstallTidyResultCache(const ResultStore::Reporter& report) {
    // Closed (and brought within its bound) when the process ends.
    struct Installed {
        std::unique_ptr<TidyResultCache> cache;
        ~Installed() {
            if (g_installed == cache.get())
                g_installed = nullptr;
        }
    };
    static Installed installed;
    if (installed.cache)
        return;
    installed.cache = TidyResultCache::Open(QString(), report);
    if (installed.cache)
        SetTidyResultCache(installed.cache.get());
}
