#pragma once
// The only library options the program may set, and the values each may take. The helper
// process checks every request against this before the library sees it, so that a corrupt
// request or a settings value that slipped past resolution can never reach an option the
// option set does not name, or an option with a malformed value.

#include "engine/TidyRequest.h"

#include <QString>

// Empty when every step names an option of the option set, at most once, with a value of the
// right form: flags 0 or 1, a wrap width from 0 up, a tab size from 1 to 8, an encoding of the
// encoding list, an alt text of valid UTF-8 without NUL bytes, a mute list of the library's
// report message keys separated by commas. Otherwise a short reason for
// developers (never shown as a user-facing message by itself).
QString CheckResolvedOptions(const ResolvedTidyOptions& options);
