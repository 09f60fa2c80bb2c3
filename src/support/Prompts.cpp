#include "support/Prompts.h"

#include "support/Errors.h"

#include "support/HeadlessPrompts.h"

namespace {

// Until a window installs its dialogs, everything is said on standard error and nothing waits.
HeadlessPrompts g_headlessPrompts;
Prompts* g_prompts = nullptr;

} // namespace

Prompts& CurrentPrompts() {
    return g_prompts ? *g_prompts : g_headlessPrompts;
}

void SetPrompts(Prompts* prompts) {
    g_prompts = prompts;
}

void ShowError(const QString& text) {
    CurrentPrompts().Message(text, DialogKind::Error, Button::Ok);
}

void RunShowingErrors(const std::function<void()>& work) {
    try {
        work();
    } catch (const SilentAbort&) {
    } catch (const KelvaneError& error) {
        ShowError(error.message());
    } catch (const std::exception& error) {
        ShowError(QString::fromLocal8Bit(error.what()));
    }
}
