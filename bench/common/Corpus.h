#pragma once
// Pages the benchmarks tidy: the example site as it is, and large generated pages.

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QList>

// Every web page of examples/site, sub-folders included, in a fixed order.
inline QList<QByteArray> ExampleSitePages() {
    QStringList paths;
    QDirIterator it(QStringLiteral(KELVANE_EXAMPLES "/site"),
                    {QStringLiteral("*.html"), QStringLiteral("*.htm"), QStringLiteral("*.HTML"),
                     QStringLiteral("*.php"), QStringLiteral("*.asp")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    QList<QByteArray> pages;
    for (const QString& path : paths) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            pages << file.readAll();
    }
    return pages;
}

// A messy page of about `bytes`: unclosed items, font tags, Word markup, tables.
inline QByteArray GeneratedPage(qsizetype bytes) {
    const QByteArray block =
        "<p class=MsoNormal><font face=Arial size=3>Rye <b>bread <i>and</b> rolls</i></font>\n"
        "<ul><li>Loaf no. 12 &amp; more<li>Buns with <span style='mso-bidi-font-size:9pt'>seeds"
        "</span>\n</ul>\n<table border=1><tr><td>Price<td>2.40<tr><td>Weight<td>750 g</table>\n"
        "<p><img src=loaf.gif><a href=\"order page.html\">Order</a><br><br>\n<p></p>\n";
    QByteArray page = "<html><head><title>Generated</title></head><body>\n";
    page.reserve(bytes + block.size() + 32);
    while (page.size() < bytes)
        page += block;
    page += "</body></html>\n";
    return page;
}
