#include "support/gui/HtmlTextView.h"

#include "support/gui/Scintilla.h"
#include "support/gui/TextViewFont.h"

#include <QStringDecoder>

QsciScintilla* CreateHtmlTextView(const QString& name, QWidget* parent) {
    auto* view = new QsciScintilla(parent);
    view->setObjectName(name);
    view->setUtf8(true);
    auto* lexer = new QsciLexerHTML(view);
    const QFont font = TextViewFont();
    lexer->setDefaultFont(font);
    lexer->setFont(font); // every style
    view->setFont(font);
    view->setLexer(lexer);
    for (int margin = 0; margin < 5; ++margin)
        view->setMarginWidth(margin, 0);
    view->setMarginLineNumbers(0, false);
    view->setFolding(QsciScintilla::NoFoldStyle);
    view->setReadOnly(true);
    return view;
}

void SetHtmlViewText(QsciScintilla* view, const QByteArray& bytes, bool linesAtLineFeeds) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (linesAtLineFeeds)
        for (qsizetype at = text.indexOf(QLatin1Char('\r')); at >= 0;
             at = text.indexOf(QLatin1Char('\r'), at + 1))
            if (at + 1 == text.size() || text.at(at + 1) != QLatin1Char('\n'))
                text[at] = QChar(0x240D);
    // A read-only Scintilla document refuses every change, also the program's own.
    view->setReadOnly(false);
    view->setText(text);
    view->setReadOnly(true);
}
