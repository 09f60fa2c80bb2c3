#include "engine/TidyRequest.h"

#include <QDataStream>

namespace {

void MarkCorrupt(QDataStream& in) {
    if (in.status() == QDataStream::Ok)
        in.setStatus(QDataStream::ReadCorruptData);
}

} // namespace

QDataStream& operator<<(QDataStream& out, const TidyOptionStep& step) {
    return out << qint32(step.option) << quint8(step.kind) << qint32(step.number) << step.text;
}

QDataStream& operator>>(QDataStream& in, TidyOptionStep& step) {
    qint32 option = 0;
    quint8 kind = 0;
    qint32 number = 0;
    QByteArray text;
    in >> option >> kind >> number >> text;
    if (in.status() != QDataStream::Ok)
        return in;
    if (option <= TidyUnknownOption || option >= N_TIDY_OPTIONS ||
        kind > quint8(TidyOptionStep::Kind::Text)) {
        MarkCorrupt(in);
        return in;
    }
    step = {TidyOptionId(option), TidyOptionStep::Kind(kind), number, std::move(text)};
    return in;
}

QDataStream& operator<<(QDataStream& out, const TidyRequest& request) {
    return out << request.options << request.document << quint8(request.mode);
}

QDataStream& operator>>(QDataStream& in, TidyRequest& request) {
    TidyRequest read;
    quint8 mode = 0;
    in >> read.options >> read.document >> mode;
    if (in.status() != QDataStream::Ok)
        return in;
    if (mode > quint8(TidyRequest::Mode::ReportsOnly)) {
        MarkCorrupt(in);
        return in;
    }
    read.mode = TidyRequest::Mode(mode);
    request = std::move(read);
    return in;
}

QDataStream& operator<<(QDataStream& out, const TidyReport& report) {
    return out << qint32(report.level) << qint32(report.line) << qint32(report.column)
               << report.text << report.key << report.muted;
}

QDataStream& operator>>(QDataStream& in, TidyReport& report) {
    qint32 level = 0;
    qint32 line = 0;
    qint32 column = 0;
    QByteArray text;
    QByteArray key;
    bool muted = false;
    in >> level >> line >> column >> text >> key >> muted;
    if (in.status() == QDataStream::Ok)
        report = {level, line, column, std::move(text), std::move(key), muted};
    return in;
}

QDataStream& operator<<(QDataStream& out, const TidyResult& result) {
    return out << quint8(result.status) << result.output << result.reports;
}

QDataStream& operator>>(QDataStream& in, TidyResult& result) {
    quint8 status = 0;
    TidyResult read;
    in >> status >> read.output >> read.reports;
    if (in.status() != QDataStream::Ok)
        return in;
    if (status > quint8(TidyRunStatus::Failed)) {
        MarkCorrupt(in);
        return in;
    }
    read.status = TidyRunStatus(status);
    result = std::move(read);
    return in;
}
