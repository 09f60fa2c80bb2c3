#pragma once
// Turns the option set into the library option steps of a run, and applies them to a document.
// Resolution is plain data and raises every option error before anything is parsed; only
// ApplyResolvedOptions (TidyLibraryRun.h) touches the library.

#include "engine/TidyOptionSet.h"
#include "engine/TidyRequest.h"

#include <tidy/tidy.h>

// The steps for `set`, in their fixed order. Only the options of the mapping are ever listed:
// wrap sub-options only with wrapping on, alt-text only with its box on, tab size only with a
// list entry selected. Raises KelvaneError for a wrap width that is not a whole number from 0
// up (checked only with wrapping on) and for an encoding with no list entry selected
// ("Invalid Input encoding" / "Invalid Output encoding"), in step order, and for a mute list
// that names a key HTML Tidy does not have. The mute step comes last, only when keys are muted.
ResolvedTidyOptions ResolveOptions(const TidyOptionSet& set);

// ResolveOptions, then ApplyResolvedOptions. Errors are raised before any option is set;
// answers false when the library refused a step (the later steps are then not set).
bool ApplyOptions(const TidyOptionSet& set, TidyDoc doc);
