#include "mainwindow/CommandRecord.h"

#include "platform/FileNames.h"
#include "platform/RuntimeFolder.h"
#include "support/ApplicationTitle.h"
#include "support/Errors.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QtEndian>

namespace {

constexpr qsizetype kKindBytes = 4;
constexpr qsizetype kReplyBytes = 4;
constexpr int kConnectTimeoutMs = 3000;

} // namespace

QString CommandRecordSocketPath(const QString& folder) {
    return folder + QLatin1Char('/') + kApplicationTitle;
}

QByteArray EncodeCommandRecord(quint32 kind, const QString& commandLine) {
    QByteArray text = platform::EncodeFileName(commandLine);
    if (const qsizetype zero = text.indexOf('\0'); zero >= 0)
        text.truncate(zero);
    QByteArray record(kKindBytes, Qt::Uninitialized);
    qToLittleEndian<quint32>(kind, record.data());
    record += text;
    record += '\0';
    return record;
}

QByteArray EncodeCommandReply(qint32 reply) {
    QByteArray bytes(kReplyBytes, Qt::Uninitialized);
    qToLittleEndian<qint32>(reply, bytes.data());
    return bytes;
}

std::optional<qint32> DecodeCommandReply(QByteArrayView bytes) {
    if (bytes.size() != kReplyBytes)
        return std::nullopt;
    return qFromLittleEndian<qint32>(bytes.data());
}

CommandRecordReader::State CommandRecordReader::Feed(QByteArrayView bytes) {
    if (m_state != State::Incomplete) {
        if (!bytes.isEmpty())
            m_state = State::Refused; // one record per connection, nothing after it
        return m_state;
    }
    // Never more than one record's worth is held, whatever the sender pours in.
    const qsizetype room = kMaxCommandRecordBytes - m_buffer.size();
    m_buffer.append(bytes.first(std::min(room, bytes.size())));
    const qsizetype zero = m_buffer.indexOf('\0', kKindBytes);
    if (zero < 0) {
        if (bytes.size() > room || m_buffer.size() >= kMaxCommandRecordBytes)
            m_state = State::Refused;
        return m_state;
    }
    if (zero + 1 != m_buffer.size() || bytes.size() > room) {
        m_state = State::Refused;
        return m_state;
    }
    m_kind = qFromLittleEndian<quint32>(m_buffer.constData());
    m_commandLine =
        platform::DecodeFileName(QByteArrayView(m_buffer).sliced(kKindBytes, zero - kKindBytes));
    m_buffer.clear();
    m_state = State::Complete;
    return m_state;
}

qint32 AnswerCommandRecord(quint32 kind, const QString& commandLine, const CommandJob& job,
                           const std::function<bool(const ParsedCommandLine&)>& admit) {
    if (kind != 0)
        return crNotHandled;
    ParsedCommandLine parsed;
    try {
        parsed = ParseCommandLine(commandLine);
    } catch (const KelvaneError&) {
        return crAccepted; // a line that cannot be parsed runs nothing, quietly
    }
    if (admit && !admit(parsed))
        return crNotHandled;
    return job(parsed) ? crAccepted : crFailed;
}

bool RunsWithoutDialogs(const ParsedCommandLine& commandLine) {
    return commandLine.Mode.JobKind == jkValidate && !commandLine.webAddress() &&
           !commandLine.OutputName.isEmpty();
}

SentRecord SendCommandRecord(const QString& socketPath, quint32 kind, const QString& commandLine,
                             int replyTimeoutMs) {
    SentRecord sent;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        const auto error = socket.error();
        if (error == QLocalSocket::ServerNotFoundError ||
            error == QLocalSocket::ConnectionRefusedError) {
            sent.status = SentRecord::Status::NoProgram;
        } else {
            sent.error = socket.errorString();
        }
        return sent;
    }
    // Names of the user's files go only to a program that runs as the same user.
    if (!platform::PeerIsCurrentUser(static_cast<int>(socket.socketDescriptor()))) {
        sent.error = QStringLiteral("the program listening at %1 runs as another user")
                         .arg(platform::DisplayFileName(socketPath));
        return sent;
    }

    const QByteArray record = EncodeCommandRecord(kind, commandLine);
    if (record.size() > kMaxCommandRecordBytes) {
        sent.error = QStringLiteral("the command line is longer than %1 bytes")
                         .arg(kMaxCommandRecordBytes - kKindBytes - 1);
        return sent;
    }
    socket.write(record);
    QElapsedTimer clock;
    clock.start();
    while (socket.bytesToWrite() > 0 && socket.state() == QLocalSocket::ConnectedState)
        if (!socket.waitForBytesWritten(kConnectTimeoutMs))
            break; // the reply, or its absence, tells the rest

    QByteArray reply;
    while (reply.size() < kReplyBytes) {
        if (socket.bytesAvailable() == 0) {
            const int left =
                replyTimeoutMs < 0 ? -1 : std::max<int>(0, replyTimeoutMs - int(clock.elapsed()));
            if (socket.state() != QLocalSocket::ConnectedState || !socket.waitForReadyRead(left))
                break;
        }
        reply += socket.read(kReplyBytes - reply.size());
    }
    if (const std::optional<qint32> value = DecodeCommandReply(reply)) {
        sent.status = SentRecord::Status::Replied;
        sent.reply = *value;
    } else {
        sent.error = socket.state() == QLocalSocket::ConnectedState
                         ? QStringLiteral("no reply in time")
                         : QStringLiteral("the program closed the connection without a reply");
    }
    return sent;
}

SentRecord SendToRunningWindow(quint32 kind, const QString& commandLine, QStringList* tried) {
    SentRecord sent;
    sent.status = SentRecord::Status::NoProgram;
    for (const QString& folder : platform::PrivateRuntimeFolders()) {
        const QString socket = CommandRecordSocketPath(folder);
        if (tried)
            tried->append(socket);
        sent = SendCommandRecord(socket, kind, commandLine);
        if (sent.status != SentRecord::Status::NoProgram)
            break;
    }
    return sent;
}
