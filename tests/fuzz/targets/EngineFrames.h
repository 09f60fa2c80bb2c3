#pragma once
// Checks shared by the two helper-protocol targets.

#include "engine/EngineProtocol.h"

// Feeds `stream` to a frame reader in pieces of `piece` bytes, takes every frame out and
// decodes each by its kind; checks that no frame exceeds its kind's limit.
void ReadFrameStream(QByteArrayView stream, qsizetype piece);

// `frame` read back through a frame reader (in two pieces) is one frame of `kind` with exactly
// `payload`.
void CheckFrameReadsBack(const QByteArray& frame, EngineFrameKind kind, QByteArrayView payload);

// A result goes through its frame and back unchanged (what the helper sends is what the program
// reads).
void CheckResultRoundTrip(const TidyResult& result);
