#include "engine/gui/PreviewFile.h"

#include "support/ApplicationTitle.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {
QString g_dataFolder;
} // namespace

void SetPreviewDataFolder(const QString& folder) {
    g_dataFolder = folder;
}

QString PreviewFilePath() {
    const QString data = g_dataFolder.isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             : g_dataFolder;
    if (!data.isEmpty()) {
        // A translated title must not open further folder levels.
        QString title = ApplicationTitle();
        title.replace(QLatin1Char('/'), QLatin1Char('_'));
        const QString folder = data + QStringLiteral("/Mondavik/") + title;
        if (!title.isEmpty() && title != QLatin1String(".") && title != QLatin1String("..") &&
            QDir().mkpath(folder))
            return folder + QLatin1Char('/') + kPreviewFileName;
    }
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + kPreviewFileName;
}
