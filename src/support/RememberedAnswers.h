#pragma once
// Questions with a "Don't ask again" box. A ticked box stores the answer in the current user's
// registry under a key made from the application title and the CRC-32 of the question's text;
// later the same question returns the stored answer without being shown.

#include "support/Prompts.h"

#include <QString>

// "\Software\Mondavik\<application title>\AskWithMemory\<CRC-32, 8 upper-case hex digits>\",
// the checksum taken over the UTF-8 bytes of `text` as shown (already translated).
QString QuestionKeyPath(const QString& text);

// The stored answer when there is one; otherwise asks (with the check box captioned
// `checkCaption`) and, when the box was ticked, stores the answer. Answers a ResultCode.
// `shown`, when given, is what the dialog says instead of `text`: a question that names what
// it is about (a file) shows it, while its answer is kept under the general `text`.
int AskRemembered(const QString& text, DialogKind kind, Buttons buttons,
                  const QString& checkCaption, const QString& shown = {});

// The question's key exists (whatever it holds).
bool IsAnswerRemembered(const QString& text);
// Deletes the question's key; true when it no longer exists.
bool ForgetAnswer(const QString& text);
// Stores `result` as the question's answer; false when the store cannot be written.
bool RememberAnswer(const QString& text, int result);
