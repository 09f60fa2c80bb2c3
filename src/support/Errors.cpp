#include "support/Errors.h"

#include "platform/FileNames.h"
#include "support/Translation.h"

KelvaneError::KelvaneError(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

void RaiseFileOpenError(const QString& path, const QString& reason) {
    throw KelvaneError(Translate(QStringLiteral("Cannot open file \"%1\". %2"))
                           .arg(platform::DisplayFileName(path), reason));
}

void RaiseFileCreateError(const QString& path, const QString& reason) {
    throw KelvaneError(Translate(QStringLiteral("Cannot create file \"%1\". %2"))
                           .arg(platform::DisplayFileName(path), reason));
}

void RaiseNotAnInteger(const QString& text) {
    throw KelvaneError(Translate(QStringLiteral("'%1' is not a valid integer value")).arg(text));
}

QString ErrorMessage(const std::exception& error) {
    if (const auto* ours = dynamic_cast<const KelvaneError*>(&error))
        return ours->message();
    return QString::fromLocal8Bit(error.what());
}
