#include "batch/ErrorOutput.h"

#include "platform/FileNames.h"

#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const char kEraseLine[] = "\r\033[K";

// A bar is redrawn in place, which needs a terminal that understands the erase sequence: not
// a file or pipe, nor a terminal that declares itself dumb (Emacs' shell and compilation
// buffers, some CI log viewers), where each redraw would stand as a line of its own.
bool CanRedrawLine(std::FILE* out) {
    if (::isatty(::fileno(out)) != 1)
        return false;
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

} // namespace

ErrorOutput::ErrorOutput(std::FILE* out, bool wantBar)
    : m_out(out), m_bar(wantBar && CanRedrawLine(out)) {}

ErrorOutput::~ErrorOutput() {
    ClearBar();
}

void ErrorOutput::Write(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
}

void ErrorOutput::Line(const QString& text) {
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    while (lines.endsWith(QLatin1Char('\n')))
        lines.chop(1);
    QString prefixed;
    for (const QString& line : lines.split(QLatin1Char('\n')))
        prefixed += QStringLiteral("kelvane-batch: ") + platform::UnambiguousFileName(line) +
                    QLatin1Char('\n');
    Plain(prefixed);
}

void ErrorOutput::Plain(const QString& text) {
    if (m_bar && !m_barText.isEmpty())
        std::fputs(kEraseLine, m_out);
    Write(text);
    if (m_bar && !m_barText.isEmpty())
        Write(m_barText);
    std::fflush(m_out);
}

void ErrorOutput::ShowBar(const QString& text) {
    if (!m_bar)
        return;
    m_barText = text.left(std::max(0, Width() - 1));
    std::fputs(kEraseLine, m_out);
    Write(m_barText);
    std::fflush(m_out);
}

void ErrorOutput::ClearBar() {
    if (!m_bar || m_barText.isEmpty())
        return;
    m_barText.clear();
    std::fputs(kEraseLine, m_out);
    std::fflush(m_out);
}

int ErrorOutput::Width() const {
    winsize size{};
    if (::ioctl(::fileno(m_out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}
