#include "support/gui/OpenWebAddress.h"

#include "platform/gui/ShellOpen.h"
#include "support/Prompts.h"
#include "support/WebAddress.h"

#include <QApplication>

namespace {

WebAddressOpener& Opener() {
    static WebAddressOpener opener;
    return opener;
}

} // namespace

void SetWebAddressOpener(WebAddressOpener opener) {
    Opener() = std::move(opener);
}

bool OpenWebAddress(const QString& address) {
    if (!NeedsNoConnection(address) && !HasConnection(address)) {
        QApplication::beep();
        const int answer = CurrentPrompts().Message(
            QStringLiteral("You don't seem to be connected to the internet. Do you wish to "
                           "connect now?"),
            DialogKind::Confirmation, Button::Yes | Button::No);
        if (answer != mrYes)
            return false;
    }
    // The browser gets the page itself, without the fragment.
    const qsizetype hash = address.indexOf(QLatin1Char('#'));
    const QString page = hash < 0 ? address : address.left(hash);
    return Opener() ? Opener()(page) : OpenDocument(page);
}
