// Command records as the window receives them: any bytes, in any pieces, give the same outcome;
// a complete record encodes back to exactly its bytes; its command line is parsed (and
// answered) without running anything.
#include "FuzzTarget.h"

#include "mainwindow/CommandRecord.h"

namespace {

CommandRecordReader::State FeedInPieces(CommandRecordReader& reader, QByteArrayView bytes,
                                        qsizetype piece) {
    CommandRecordReader::State state = reader.state();
    while (!bytes.isEmpty()) {
        const qsizetype size = std::min(piece, bytes.size());
        state = reader.Feed(bytes.first(size));
        bytes = bytes.sliced(size);
    }
    return state;
}

} // namespace

KELVANE_FUZZ_TARGET(command_record) {
    DecodeCommandReply(data);

    CommandRecordReader whole;
    const CommandRecordReader::State state = FeedInPieces(whole, data, data.size() + 1);
    // The first byte picks the size of the pieces the bytes arrive in.
    const qsizetype piece = data.isEmpty() ? 1 : 1 + quint8(data[0]) % 16;
    CommandRecordReader pieces;
    FUZZ_CHECK(FeedInPieces(pieces, data, piece) == state,
               QStringLiteral("the outcome depends on how the bytes arrive"));
    if (state != CommandRecordReader::State::Complete)
        return;
    FUZZ_CHECK(pieces.kind() == whole.kind() && pieces.commandLine() == whole.commandLine(),
               QStringLiteral("the record depends on how the bytes arrive"));
    FUZZ_CHECK(EncodeCommandRecord(whole.kind(), whole.commandLine()) == data,
               QStringLiteral("the record does not encode back to its bytes"));

    bool admitted = false;
    const qint32 reply = AnswerCommandRecord(
        whole.kind(), whole.commandLine(), [](const ParsedCommandLine&) { return true; },
        [&](const ParsedCommandLine& line) {
            admitted = true;
            RunsWithoutDialogs(line);
            return true;
        });
    FUZZ_CHECK(reply == crAccepted || (reply == crNotHandled && whole.kind() != 0),
               QStringLiteral("unexpected reply %1").arg(reply));
    FUZZ_CHECK(!admitted || whole.kind() == 0, QStringLiteral("a kind other than 0 was run"));
}
