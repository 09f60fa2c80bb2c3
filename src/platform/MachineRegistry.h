#pragma once
// The local machine's registry, read only: installed programs of other makers announce
// themselves here (the HTML editor's "PATH"). It lives in an INI file laid out like the
// current user's store (UserRegistry.h), by default /etc/xdg/Mondavik/registry.ini:
//
//   [Software\Mondavik\Updrift\Components\Mondavik Scribbet]
//   PATH=/opt/mondavik/scribbet/scribbet
//
// Key and value names compare without regard to case, as the registry's do. Nothing is cached.

#include <QString>
#include <optional>

// The text of value `valueName` under the key `keyPath` ("\Software\..."); nothing when the
// file, the key or the value is missing.
std::optional<QString> MachineRegistryString(const QString& keyPath, const QString& valueName);

// The file that holds the local machine's registry.
QString MachineRegistryFile();
// Redirects the store (tests); an empty path returns to the default location.
void SetMachineRegistryFile(const QString& path);
