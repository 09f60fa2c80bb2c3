#pragma once
// Standard error of kelvane-batch: message lines, and below them a one-line progress bar that
// each line moves out of the way and that only a terminal that can redraw a line ever sees.

#include <QString>
#include <cstdio>

class ErrorOutput {
public:
    // The bar is drawn only when `wantBar` and `out` is a terminal whose TERM is not "dumb".
    explicit ErrorOutput(std::FILE* out = stderr, bool wantBar = true);
    ~ErrorOutput();
    ErrorOutput(const ErrorOutput&) = delete;
    ErrorOutput& operator=(const ErrorOutput&) = delete;

    // One message line (CR LF and line breaks inside become separate lines), prefixed with
    // the program's name.
    void Line(const QString& text);
    // A line as it stands, without the prefix (the usage text, a summary).
    void Plain(const QString& text);

    bool HasBar() const { return m_bar; }
    // Replaces the bar's text (cut to the terminal's width).
    void ShowBar(const QString& text);
    void ClearBar();

private:
    void Write(const QString& text);
    int Width() const;

    std::FILE* m_out;
    bool m_bar;
    QString m_barText;
};
