#include "cmdline/TextToHtml.h"

QString TextToHtml(const QString& text) {
    QString html = text;
    html.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    html.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    html.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    html.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    html.replace(QLatin1Char('\t'), QString(8, QLatin1Char(' ')));
    // Each pass turns every pair into "&nbsp; " from the left, without overlap; a run of three
    // leaves a pair behind for the next pass.
    const QString pair = QStringLiteral("  ");
    while (html.contains(pair))
        html.replace(pair, QStringLiteral("&nbsp; "));
    html.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    html.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    html.replace(QLatin1Char('\n'), QStringLiteral("<BR>"));
    return html;
}
