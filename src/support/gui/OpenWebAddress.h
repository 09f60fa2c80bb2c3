#pragma once
// Opening a web page in the browser, after making sure there is a connection.

#include <QString>
#include <functional>

// Shows an address in the browser; true when it could be handed over.
using WebAddressOpener = std::function<bool(const QString& address)>;

// Replaces the browser hand-over (tests); an empty opener restores OpenDocument.
void SetWebAddressOpener(WebAddressOpener opener);

// Opens the address (cut before its first "#") when NeedsNoConnection or HasConnection holds;
// otherwise beeps and asks whether to go on anyway. True when the address was handed over.
bool OpenWebAddress(const QString& address);
