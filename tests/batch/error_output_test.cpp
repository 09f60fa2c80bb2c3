#include "batch/ErrorOutput.h"
#include "common/TestSupport.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

// Standard error as kelvane-batch meets it: a terminal (the slave side of a pseudo-terminal,
// whose master side shows what was drawn) or a pipe.
class ErrorStream {
public:
    explicit ErrorStream(bool terminal) {
        int writer = -1;
        if (terminal) {
            if (::openpty(&m_reader, &writer, nullptr, nullptr, nullptr) != 0)
                m_reader = writer = -1;
        } else {
            int ends[2];
            if (::pipe(ends) == 0) {
                m_reader = ends[0];
                writer = ends[1];
            }
        }
        m_file = writer >= 0 ? ::fdopen(writer, "w") : nullptr;
    }
    ~ErrorStream() {
        if (m_file)
            std::fclose(m_file);
        if (m_reader >= 0)
            ::close(m_reader);
    }
    ErrorStream(const ErrorStream&) = delete;
    ErrorStream& operator=(const ErrorStream&) = delete;

    std::FILE* file() const { return m_file; }
    // Everything written so far (a terminal may turn "\n" into "\r\n").
    QByteArray written() {
        QByteArray bytes;
        char buffer[4096];
        pollfd ready{m_reader, POLLIN, 0};
        while (::poll(&ready, 1, 20) == 1 && (ready.revents & POLLIN)) {
            const ssize_t got = ::read(m_reader, buffer, sizeof buffer);
            if (got <= 0)
                break;
            bytes.append(buffer, got);
        }
        return bytes;
    }

private:
    int m_reader = -1;
    std::FILE* m_file = nullptr;
};

} // namespace

// The bar is redrawn with a carriage return and an erase sequence: only a terminal that can do
// that gets it; a dumb one (Emacs' shell, M-x compile) and a pipe get the message lines alone.
TEST(ErrorOutput, DrawsTheBarOnlyOnATerminalThatCanRedrawALine) {
    const struct {
        bool terminal;
        const char* term; // "" for no TERM at all
        bool wantBar;
        bool bar;
    } cases[] = {
        {true, "xterm-256color", true, true},   {true, "", true, true}, {true, "dumb", true, false},
        {true, "xterm-256color", false, false}, // --quiet
        {false, "xterm-256color", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "terminal " << c.terminal << ", TERM=" << c.term
                                        << ", wanted " << c.wantBar);
        const ScopedEnv term("TERM", QString::fromLatin1(c.term));
        ErrorStream stream(c.terminal);
        ASSERT_NE(stream.file(), nullptr) << std::strerror(errno);
        {
            ErrorOutput out(stream.file(), c.wantBar);
            EXPECT_EQ(out.HasBar(), c.bar);
            out.ShowBar(QStringLiteral("[##  ] 1/2  Processing a.html"));
            out.Line(QStringLiteral("a.html: cannot be read"));
        }
        const QByteArray written = stream.written();
        EXPECT_TRUE(written.contains("kelvane-batch: a.html: cannot be read"))
            << written.constData();
        EXPECT_EQ(written.contains("\033[K"), c.bar) << written.toPercentEncoding().constData();
        EXPECT_EQ(written.contains("Processing a.html"), c.bar) << written.constData();
    }
}
