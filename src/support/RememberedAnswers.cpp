#include "support/RememberedAnswers.h"

#include "platform/UserRegistry.h"
#include "support/ApplicationTitle.h"

#include <zlib.h>

QString QuestionKeyPath(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.constData()),
                            static_cast<uInt>(bytes.size()));
    return QStringLiteral("\\Software\\Mondavik\\%1\\AskWithMemory\\%2\\")
        .arg(
            ApplicationTitle(),
            QStringLiteral("%1").arg(static_cast<quint32>(crc), 8, 16, QLatin1Char('0')).toUpper());
}

int AskRemembered(const QString& text, DialogKind kind, Buttons buttons,
                  const QString& checkCaption, const QString& shown) {
    const QString keyPath = QuestionKeyPath(text);
    if (const std::optional<RegistryKey> key = RegistryKey::Open(keyPath, false))
        if (const std::optional<qint32> stored = key->DefaultInteger())
            return *stored;

    bool ticked = false;
    const int result = CurrentPrompts().MessageWithCheckBox(shown.isEmpty() ? text : shown, kind,
                                                            buttons, checkCaption, ticked);
    // An answer that cannot be stored is simply asked for again next time.
    if (ticked)
        RememberAnswer(text, result);
    return result;
}

bool IsAnswerRemembered(const QString& text) {
    return RegistryKey::Exists(QuestionKeyPath(text));
}

bool ForgetAnswer(const QString& text) {
    return RegistryKey::Delete(QuestionKeyPath(text));
}

bool RememberAnswer(const QString& text, int result) {
    std::optional<RegistryKey> key = RegistryKey::Open(QuestionKeyPath(text), true);
    return key && key->SetDefaultInteger(result);
}
