#pragma once
// The one set of tidy options of the process. Each field is named after the options-dialog
// control that edits it, because the stored keys are built from those names.

#include <QString>
#include <QStringList>

// A drop-down list's state: the selected position (-1 for none) and the box's text.
struct ComboValue {
    int itemIndex = -1;
    QString text;
    bool operator==(const ComboValue&) const = default;
};

// The encoding list of both encoding fields, in list order.
inline const QStringList kTidyEncodingNames = {
    QStringLiteral("ascii"), QStringLiteral("latin1"), QStringLiteral("raw"),
    QStringLiteral("utf8"),  QStringLiteral("iso2022"), QStringLiteral("mac"),
    QStringLiteral("win1252")};

// The tab-size list: "1" to "8".
inline const QStringList kTabSizeItems = {QStringLiteral("1"), QStringLiteral("2"),
                                          QStringLiteral("3"), QStringLiteral("4"),
                                          QStringLiteral("5"), QStringLiteral("6"),
                                          QStringLiteral("7"), QStringLiteral("8")};

struct TidyOptionSet {
    // HTML Options
    bool cbTidyMark = false; // only ever set through the stored settings
    bool cbUppercaseTags = true;
    bool cbUppercaseAttributes = true;
    bool CBBreakBeforeBR = false;
    bool CBIndent = false;
    bool CBDropEmptyParas = true;
    bool CBWord2000 = true;
    bool CBBare = true;
    bool CBClean = true;
    bool CBFixURI = false;
    bool CBFixBadComments = false;
    // Text Wrap
    QString EditWrapWidth = QStringLiteral("80");
    bool cbEnableTextWrapping = false;
    bool cbWrapJSTE = false;
    bool cbWrapLiterals = false;
    bool cbWrapPHP = false;
    bool cbWrapASP = false;
    bool CBWrapSections = false;
    bool cbWrapAttributes = false;
    // Accessibility Options
    bool CBAltText = false;
    QString EditAltText;
    // File Options
    ComboValue CBTabSize{0, QStringLiteral("1")};
    ComboValue CBInputEncoding{2, QStringLiteral("raw")};
    ComboValue CBOutputEncoding{2, QStringLiteral("raw")};
    // Messages
    QString EditMute; // message keys that are not reported ("KEY,KEY"), as HTML Tidy's "mute"

    bool operator==(const TidyOptionSet&) const = default;
};

// The option set that every run reads at its start.
TidyOptionSet& CurrentOptionSet();
