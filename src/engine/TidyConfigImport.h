#pragma once
// HTML Tidy's own configuration files ("option: value" lines, as `tidy -config FILE` reads them)
// turned into the option set, so that a site's existing configuration can be used as it is.
// Only the options the option set has are taken; any other is refused by name, since running
// without it would tidy differently from the configuration's author.

#include "engine/TidyOptionSet.h"

#include <QByteArray>

// The option set at HTML Tidy's own defaults, which a configuration file changes: what `tidy`
// does for the options a file does not name. The library's "auto" for fix-bad-comments (fix
// them unless the page is HTML5) has no place in the set and is taken as no, what it does for
// HTML5 pages and for pages without a document type.
TidyOptionSet TidyDefaultOptionSet();

// Applies the configuration `text` to `options`. Raises KelvaneError, starting "line N: ", for an
// option the set does not have, a value of the wrong form, or one the set cannot hold (an
// encoding outside its list, "auto" indentation, a tab size over 8, a mute key HTML Tidy does
// not have). Lines are as the library reads them: "name: value", '#' or '/' starts a comment
// line, and a line that starts with white space continues a "mute" list (and is otherwise
// passed over).
void ImportTidyConfig(const QByteArray& text, TidyOptionSet& options);
