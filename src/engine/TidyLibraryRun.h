#pragma once
// The one place that drives HTML Tidy for a run. Kept free of translation, settings and
// message formatting so that the helper program (kelvane-engine) can host it as it is.

#include "engine/TidyRequest.h"

#include <tidy/tidy.h>

// Sets the steps in order, each through the setter that matches the option's type (a Text
// step always through the text setter). Stops at the first step the library refuses and
// answers false; true when every step was accepted.
bool ApplyResolvedOptions(const ResolvedTidyOptions& options, TidyDoc doc);

// Runs the library over one document: fresh document, options, parse (every byte of the
// document, with its length), clean and repair, and save unless the request wants its reports
// only (a CheckOutput request saves only where that decides its status, and keeps no output). Reports are collected through a message callback that keeps them from the library's
// own error output. The result is Failed when an option was refused, parsing, cleaning or
// saving reported a severe failure, or the library wrote no output for a non-empty document;
// the reports gathered so far come back either way. Everything the library allocated is
// released on every path.
TidyResult RunTidyLibrary(const TidyRequest& request);
