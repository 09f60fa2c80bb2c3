#include "platform/DisplayConnection.h"

#include <QDir>
#include <QLibraryInfo>
#include <QList>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <utility>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

// A non-blocking connect, waited for at most `timeoutMs`.
bool ConnectUnixSocket(const QByteArray& path, int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        connected = ::poll(&waiting, 1, timeoutMs) == 1 &&
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

using XcbConnect = void* (*)(const char*, int*);
using XcbHasError = int (*)(void*);
using XcbDisconnect = void (*)(void*);

struct Xcb {
    XcbConnect connect = nullptr;
    XcbHasError hasError = nullptr;
    XcbDisconnect disconnect = nullptr;
};

// Loaded once and never unloaded: a probe that timed out may still be running in it.
const Xcb* LoadXcb() {
    static const Xcb* xcb = []() -> const Xcb* {
        void* library = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static Xcb loaded;
        loaded.connect = reinterpret_cast<XcbConnect>(::dlsym(library, "xcb_connect"));
        loaded.hasError =
            reinterpret_cast<XcbHasError>(::dlsym(library, "xcb_connection_has_error"));
        loaded.disconnect = reinterpret_cast<XcbDisconnect>(::dlsym(library, "xcb_disconnect"));
        if (!loaded.connect || !loaded.hasError || !loaded.disconnect)
            return nullptr;
        return &loaded;
    }();
    return xcb;
}

QString Setting(const char* name, const QByteArray& value) {
    return QString::fromLatin1(name) + QLatin1Char('=') + QString::fromLocal8Bit(value);
}

} // namespace

bool CanConnectWayland(const QByteArray& display, const QByteArray& runtimeDir, int timeoutMs) {
    if (display.isEmpty())
        return false;
    if (display.startsWith('/'))
        return ConnectUnixSocket(display, timeoutMs);
    if (runtimeDir.isEmpty())
        return false;
    return ConnectUnixSocket(runtimeDir + '/' + display, timeoutMs);
}

// The probe's connection, kept open until the program has made its own.
static std::mutex g_heldMutex;
static void* g_held = nullptr;
static bool g_released = false;

bool CanConnectX11(const QByteArray& display, int timeoutMs) {
    const Xcb* xcb = LoadXcb();
    if (display.isEmpty() || !xcb)
        return false;
    // xcb_connect has no time-out of its own; a server that accepts and then never answers
    // would hold start-up forever. The attempt runs aside and is abandoned when it takes too
    // long (the thread ends with the process at the latest).
    auto attempt = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = attempt->get_future();
    std::thread([xcb, display, attempt] {
        int screen = 0;
        void* connection = xcb->connect(display.constData(), &screen);
        const bool ok = connection && xcb->hasError(connection) == 0;
        {
            const std::lock_guard lock(g_heldMutex);
            if (ok && !g_released && !g_held) {
                g_held = connection;
                connection = nullptr;
            }
        }
        if (connection)
            xcb->disconnect(connection);
        attempt->set_value(ok);
    }).detach();
    if (answer.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return false;
    return answer.get();
}

void ReleaseDisplayProbe() {
    void* connection = nullptr;
    {
        const std::lock_guard lock(g_heldMutex);
        g_released = true;
        connection = std::exchange(g_held, nullptr);
    }
    if (connection)
        LoadXcb()->disconnect(connection);
}

DisplayProbe ProbeDisplays(int timeoutMs) {
    DisplayProbe probe;
    QStringList unreachable;
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        probe.wayland = CanConnectWayland(wayland, qgetenv("XDG_RUNTIME_DIR"), timeoutMs);
        if (!probe.wayland)
            unreachable << Setting("WAYLAND_DISPLAY", wayland);
    }
    const QByteArray x11 = qgetenv("DISPLAY");
    if (!x11.isEmpty()) {
        probe.x11 = CanConnectX11(x11, timeoutMs);
        if (!probe.x11)
            unreachable << Setting("DISPLAY", x11);
    }
    probe.unreachable = unreachable.join(QStringLiteral(", "));
    return probe;
}

QByteArray QtPlatformList(const DisplayProbe& probe, const QByteArray& requested,
                          bool waylandPlugin) {
    QList<QByteArray> names;
    if (!requested.isEmpty()) {
        for (const QByteArray& entry : requested.split(';')) {
            const QByteArray name = entry.split(':').first().trimmed().toLower();
            if (name.isEmpty())
                continue;
            if ((name == "xcb" && !probe.x11) || (name.startsWith("wayland") && !probe.wayland))
                continue;
            names << entry;
        }
    } else {
        // Qt's own preference: Wayland before X when both are there.
        if (probe.wayland && waylandPlugin)
            names << "wayland";
        if (probe.x11)
            names << "xcb";
    }
    bool hasOffscreen = false;
    for (const QByteArray& name : names)
        hasOffscreen = hasOffscreen || name.split(':').first().trimmed().toLower() == "offscreen";
    if (!hasOffscreen)
        names << "offscreen";
    QByteArray list;
    for (const QByteArray& name : names)
        list += (list.isEmpty() ? QByteArray() : QByteArray(";")) + name;
    return list;
}

bool HasQtWaylandPlugin() {
    const QDir folder(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !folder.entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
}

} // namespace platform
