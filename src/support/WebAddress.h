#pragma once
// Recognising, splitting and probing web addresses.

#include <QString>
#include <optional>

// Time allowed for a connection check before the address counts as unreachable.
inline constexpr int kConnectionTimeoutMs = 4000;

// True when the text holds "http://" or "https://" anywhere (letter case counts).
bool IsWebAddress(const QString& address);

// Parts of the address; each is empty when the address cannot be split (no scheme, invalid).
QString UrlScheme(const QString& address);
QString UrlHost(const QString& address);
QString UrlPath(const QString& address);
// The part of UrlPath after its last slash, backslash or colon.
QString UrlFileName(const QString& address);

// True when fetching the address needs no network: its scheme is neither http nor https
// (any letter case), or its path names an existing local file.
bool NeedsNoConnection(const QString& address);

// Where a connection check for the address goes: its host and port (80 or 443 by default), or
// the system proxy that requests to it would pass through. Empty without a host.
struct ConnectionTarget {
    QString host;
    quint16 port = 0;
};
std::optional<ConnectionTarget> ConnectionTargetFor(const QString& address);

// Loopback hosts are never reached through a proxy.
bool IsLoopbackHost(const QString& host);

// Opens a TCP connection to the address's ConnectionTarget and closes it again. Takes at most
// `timeoutMs`, name lookup included, and serves the thread's events (not user input) while it
// waits, so that windows keep painting.
bool HasConnection(const QString& address, int timeoutMs = kConnectionTimeoutMs);

// The download window's status line: "<file> from (<host>)", or "Downloading from (<host>)"
// when the address names no file.
QString DownloadStatusText(const QString& address);
