#pragma once
// The read-only HTML views of the program (the options dialog's Before and After, the Review
// Changes window's two texts): QScintilla with the HTML lexer in the text views' face, without
// margins, showing a document's bytes.

#include <QByteArray>
#include <QString>

class QWidget;
class QsciScintilla;

QsciScintilla* CreateHtmlTextView(const QString& name, QWidget* parent);
// Shows `bytes`: UTF-8 when they are, else one character per byte, so nothing is lost or
// replaced whatever the page's encoding. With `linesAtLineFeeds`, a carriage return that ends
// no line of its own is shown as the sign U+240D instead of breaking the line, so that the
// view's lines are those that end at line feeds (the lines of a diff).
void SetHtmlViewText(QsciScintilla* view, const QByteArray& bytes, bool linesAtLineFeeds = false);
