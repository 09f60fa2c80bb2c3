#pragma once
// The body of a helper process that hosts HTML Tidy (kelvane-engine): it serves requests of the
// engine protocol (EngineProtocol.h) on stdin/stdout until the program closes the pipe.
//
// The process protects itself as far as a process can: the library runs on a thread with a
// large stack, so that deeply nested markup that would overflow a normal stack is tidied; while
// it serves a request its address space may grow by that request's memory budget only, so
// that a runaway document ends this process (exit status kEngineExitOutOfMemory) instead of
// exhausting the machine; and the protocol keeps private
// copies of stdin and stdout while fd 0 and 1 point at /dev/null, so that nothing the library
// or anything else prints can corrupt the stream.
//
// Arguments: --memory-limit=BYTES (address-space limit at all times, also between requests; 0
// for none).

#include "engine/TidyRequest.h"

#include <cstddef>

// The library runs on a thread with this stack. The reservation counts toward the
// address-space limit.
inline constexpr std::size_t kEngineStackSize = std::size_t(256) << 20;

// What answers one request. The real helper passes RunTidyLibrary; test programs pass handlers
// that crash or hang on purpose. Options are checked (CheckResolvedOptions) before it is called.
using TidyRequestHandler = TidyResult (*)(const TidyRequest& request);

// Runs the helper to its end and returns the process exit status (EngineHelperExit).
int RunEngineHelper(int argc, char** argv, TidyRequestHandler handler);
