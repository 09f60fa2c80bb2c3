#include "cmdline/FileSaveDialog.h"

#include "support/Prompts.h"

QStringList QtFileFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            pattern = pattern.trimmed();
        const QString patternText = patterns.join(QLatin1Char(' '));
        if (description.endsWith(QLatin1Char('(') + patternText + QLatin1Char(')')))
            entries.append(description);
        else
            entries.append(description + QStringLiteral(" (") + patternText + QLatin1Char(')'));
    }
    return entries;
}

QString FileSaveDialog(const QString& filter, const QString& defaultExtension,
                       const QString& initialFolder, const QString& initialName) {
    SaveFileRequest request;
    request.filters = QtFileFilters(filter);
    request.defaultSuffix = defaultExtension;
    request.initialFolder = initialFolder;
    request.initialName = initialName;
    return CurrentPrompts().SaveFileName(request);
}

QString FileExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (dot < 0 || dot < slash)
        return {};
    return path.mid(dot);
}
