#pragma once
// The typed-address list that the address bar offers in its drop-down: the values "Url1" to
// "Url25" of the current user's key "Software\Microsoft\Internet Explorer\TypedURLs", read in
// number order, empty ones left out. The program only reads them.

#include <QString>
#include <QStringList>

inline constexpr int kTypedAddressCount = 25;
inline const QString kTypedAddressesKey =
    QStringLiteral("Software\\Microsoft\\Internet Explorer\\TypedURLs");

QStringList ReadTypedAddresses();
