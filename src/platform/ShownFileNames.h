#pragma once
// Qt's file-system model names entries through QFile::decodeName, which turns bytes that are
// not UTF-8 into U+FFFD, so such a name cannot be given back to the system. These convert
// between the names the model shows and the byte-exact names of FileNames.h.

#include <QString>

namespace platform {

// The real path behind a path the model shows: each component holding U+FFFD is looked up in
// its folder among the entries that show the same way. Unchanged when no such component
// exists or the lookup is ambiguous (two entries that show alike).
QString RealPathOfShown(const QString& shownPath);

// The path as the model shows it (what its index(path) expects).
QString ShownPathOf(const QString& path);

} // namespace platform
