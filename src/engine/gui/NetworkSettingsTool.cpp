#include "engine/gui/NetworkSettingsTool.h"

#include "support/Prompts.h"
#include "support/Translation.h"

#include <QList>
#include <QStandardPaths>

namespace {

struct KnownTool {
    QString desktop; // the XDG_CURRENT_DESKTOP name it belongs to; empty: any desktop
    QStringList command;
};

// Proxy settings where the desktop has a page of their own; the network page otherwise.
const QList<KnownTool>& KnownTools() {
    static const QList<KnownTool> tools = {
        {QStringLiteral("KDE"), {QStringLiteral("systemsettings"), QStringLiteral("kcm_proxy")}},
        {QStringLiteral("KDE"), {QStringLiteral("systemsettings5"), QStringLiteral("proxy")}},
        {QStringLiteral("KDE"), {QStringLiteral("kcmshell5"), QStringLiteral("proxy")}},
        {QStringLiteral("GNOME"),
         {QStringLiteral("gnome-control-center"), QStringLiteral("network")}},
        {QStringLiteral("X-Cinnamon"),
         {QStringLiteral("cinnamon-settings"), QStringLiteral("network")}},
        {QString(), {QStringLiteral("nm-connection-editor")}},
    };
    return tools;
}

bool BelongsTo(const KnownTool& tool, const QStringList& desktops) {
    return !tool.desktop.isEmpty() && desktops.contains(tool.desktop, Qt::CaseInsensitive);
}

} // namespace

QStringList NetworkSettingsCommand(const QString& desktop, const ExecutableFinder& find) {
    const QStringList desktops = desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QList<const KnownTool*> order;
    for (const KnownTool& tool : KnownTools()) {
        if (BelongsTo(tool, desktops))
            order.append(&tool);
    }
    for (const KnownTool& tool : KnownTools()) {
        if (!BelongsTo(tool, desktops))
            order.append(&tool);
    }
    for (const KnownTool* tool : std::as_const(order)) {
        const QString program = find(tool->command.first());
        if (program.isEmpty())
            continue;
        QStringList command = tool->command;
        command.first() = program;
        return command;
    }
    return {};
}

QStringList NetworkSettingsCommand() {
    return NetworkSettingsCommand(
        qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
        [](const QString& program) { return QStandardPaths::findExecutable(program); });
}

void StartNetworkSettingsTool(
    const std::function<QStringList()>& command,
    const std::function<bool(const QString& program, const QStringList& arguments)>& start) {
    QStringList found = command ? command() : QStringList();
    if (found.isEmpty()) {
        CurrentPrompts().Message(
            Translate(QStringLiteral("No network settings tool was found on this computer.")),
            DialogKind::Information, Button::Ok);
        return;
    }
    const QString program = found.takeFirst();
    if (!start || !start(program, found)) {
        CurrentPrompts().Message(
            Translate(QStringLiteral("The network settings tool %1 could not be started."))
                .arg(program),
            DialogKind::Error, Button::Ok);
    }
}
