#pragma once
// Whether a display server can really be reached. A DISPLAY or WAYLAND_DISPLAY that is set but
// leads nowhere (a closed session, a dead server, a refused X authority) makes Qt abort the
// process while the application object is built; so the program asks first, and runs as
// without a display when nothing answers.

#include <QByteArray>
#include <QString>

namespace platform {

struct DisplayProbe {
    bool wayland = false; // a Wayland compositor accepted a connection
    bool x11 = false;     // an X server accepted a connection, its authority check included
    // The variables that were set but led nowhere, e.g. "DISPLAY=:99"; empty when none.
    QString unreachable;
};

// Tries $WAYLAND_DISPLAY (a name in $XDG_RUNTIME_DIR, or an absolute path) and $DISPLAY. Each
// attempt gives up after `timeoutMs`: a server that accepts but never answers counts as dead.
DisplayProbe ProbeDisplays(int timeoutMs = 3000);

// A connection to the Wayland socket that `display` names.
bool CanConnectWayland(const QByteArray& display, const QByteArray& runtimeDir, int timeoutMs);
// An X connection to `display` through libxcb, the library Qt itself would use, so that the
// X authority ($XAUTHORITY) is honoured exactly as it will be. False when libxcb is missing.
// A connection that succeeds is kept open until ReleaseDisplayProbe(): an X server may refuse
// a connection that comes in while it is still closing the one before (Xvfb under load does).
bool CanConnectX11(const QByteArray& display, int timeoutMs);
// Closes what the probe kept open; call it once the program has its own display connection.
void ReleaseDisplayProbe();

// The value for QT_QPA_PLATFORM: the reachable displays in Qt's order of preference, then
// "offscreen", which always works. A platform the user asked for is kept unless it is a display
// found unreachable. `waylandPlugin` says whether Qt's Wayland platform plugin is installed.
QByteArray QtPlatformList(const DisplayProbe& probe, const QByteArray& requested,
                          bool waylandPlugin);

// Whether Qt's Wayland platform plugin is installed.
bool HasQtWaylandPlugin();

} // namespace platform
