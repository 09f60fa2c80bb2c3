#pragma once
// Where the library runs. RunTidy hands each request to the current runner: in this process by
// default; a runner that talks to helper processes, or a test's fake, can be installed instead.

#include "engine/TidyRequest.h"

class TidyRunner {
public:
    virtual ~TidyRunner() = default;
    // Must not throw for problems of the document; a failed run is a Failed result.
    virtual TidyResult run(const TidyRequest& request) = 0;
    // What identifies the build of HTML Tidy (and of the code around it) that answers: results
    // are cached under it, so two runners that could answer differently never share it. Empty:
    // results of this runner are not cached.
    virtual QByteArray identity() const { return {}; }
};

// Calls RunTidyLibrary directly.
class InProcessTidyRunner final : public TidyRunner {
public:
    TidyResult run(const TidyRequest& request) override;
    // This program's build.
    QByteArray identity() const override;
};

// The runner RunTidy uses; the in-process one unless another is installed.
TidyRunner& CurrentTidyRunner();
// Installs `runner` (not owned; nullptr restores the in-process runner) and returns the
// previously installed one (nullptr when it was the in-process runner).
TidyRunner* SetTidyRunner(TidyRunner* runner);

// Installs a runner for the lifetime of the scope.
class ScopedTidyRunner {
public:
    explicit ScopedTidyRunner(TidyRunner& runner) : m_previous(SetTidyRunner(&runner)) {}
    ~ScopedTidyRunner() { SetTidyRunner(m_previous); }
    ScopedTidyRunner(const ScopedTidyRunner&) = delete;
    ScopedTidyRunner& operator=(const ScopedTidyRunner&) = delete;

private:
    TidyRunner* m_previous;
};
