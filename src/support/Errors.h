#pragma once
// Failures are exceptions. KelvaneError carries a user-facing (already translated) text;
// SilentAbort ends an operation without any message (a cancelled dialog, a missing input).

#include <QByteArray>
#include <QString>
#include <exception>

class KelvaneError : public std::exception {
public:
    explicit KelvaneError(QString message);
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

class SilentAbort : public KelvaneError {
public:
    explicit SilentAbort(QString reason = {}) : KelvaneError(std::move(reason)) {}
};

// The standard errors of the file and conversion routines, translated.
[[noreturn]] void RaiseFileOpenError(const QString& path, const QString& reason);
[[noreturn]] void RaiseFileCreateError(const QString& path, const QString& reason);
[[noreturn]] void RaiseNotAnInteger(const QString& text);

// The text to show for any exception: ours carry their message, others their what().
QString ErrorMessage(const std::exception& error);
