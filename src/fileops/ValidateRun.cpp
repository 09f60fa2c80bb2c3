#include "fileops/ValidateRun.h"

#include "engine/TidyEngine.h"
#include "support/Prompts.h"
#include "support/Translation.h"

ValidateRun::ValidateRun(BatchRunState& state, const BatchEnvironment& environment,
                         TidyAhead& items)
    : m_state(state), m_env(environment), m_items(items) {}

void ValidateRun::Execute(const ResolvedTidyOptions& options) {
    FileProgressRun& progress = *m_env.progress;
    progress.Caption = Translate(QStringLiteral("Validating Files..."));
    progress.OnNextItem = [this](FileProgressRun& run, const QString& path) {
        return ValidateFileStep(run, path);
    };
    progress.OnNameQuery = [](FileProgressRun&, const QString& path) {
        return ProcessingCaption(path);
    };
    progress.OnFinished = [this](FileProgressRun& run) { ValidateFinished(run); };
    TidyAhead::Settings settings;
    settings.reportsOnly = true; // no tidied text is ever looked at
    m_items.Start(options, CurrentTidyRunner(), settings);
    try {
        progress.RunItems(m_items);
    } catch (...) {
        m_items.Stop();
        // The entry in hand and those never taken from the list were not validated.
        const TidyAhead::Rest rest = m_items.CountRest();
        if (m_env.observer)
            m_env.observer->NotProcessed(rest.count + (m_inStep ? 1 : 0), !rest.complete);
        progress.ResetRun();
        throw;
    }
    progress.ResetRun();
}

bool ValidateRun::ValidateFileStep(FileProgressRun&, const QString& path) {
    FileRecord record;
    record.path = path;
    QString messageText;
    const QString cannotAccess =
        FillTemplate(Translate(QStringLiteral("Cannot access file \"%s\"")), {path});

    m_inStep = true;
    OpenedPage opened = m_items.Open(path, LinkRule::FollowOwned);
    switch (opened.state) {
    case PageState::Opened:
        try {
            TidiedDocument document = m_items.Tidy(std::move(opened.page));
            messageText = TidyMessageText(document.result.reports,
                                          m_env.pages && m_env.pages->ShowsMessageKeys()
                                              ? MessageLines::ShownWithKeys
                                              : MessageLines::Shown);
            record.reports = std::move(document.result.reports);
            record.outcome = messageText.isEmpty() ? FileOutcome::Clean : FileOutcome::HasMessages;
        } catch (const FileReadError&) {
            messageText = cannotAccess;
            record.outcome = FileOutcome::Unreadable;
        }
        break;
    case PageState::Folder:
        record.outcome = FileOutcome::Folder;
        break;
    case PageState::Missing:
        // A path that no longer exists counts as clean.
        record.outcome = FileOutcome::Clean;
        break;
    case PageState::LinkLeavesTree:
        // Nothing outside the tree is read, as nothing there is written.
        messageText = FillTemplate(Translate(LinkLeavesTreeLine()), {path});
        m_env.progress->AddError(messageText);
        record.outcome = FileOutcome::LinkRefused;
        break;
    case PageState::NotRegular: // reading a pipe or device could block the run; it is no page
    case PageState::LinkNotFollowed:
    case PageState::LinkRefused:
    case PageState::InBackupFolder: // not asked for (PageUse::Read)
    case PageState::ReadOnly:
    case PageState::Failed:
        messageText = cannotAccess;
        record.outcome = opened.state == PageState::LinkRefused ? FileOutcome::LinkRefused
                                                                : FileOutcome::Unreadable;
        break;
    }

    if (messageText.isEmpty()) {
        ++m_state.successCount;
        ClosePage(path); // its results are out of date
    } else {
        ShowPage(path, messageText);
    }
    m_inStep = false;
    if (m_env.observer)
        m_env.observer->FileDone(record);
    return true; // validation never stops a run by itself
}

void ValidateRun::ShowPage(const QString& path, const QString& messageText) {
    ErrorPages* pages = m_env.pages;
    if (!pages)
        return;
    int index = pages->FindErrorPage(path);
    if (index < 0)
        index = pages->AddErrorPage(path);
    if (TTidyErrors* page = pages->Page(index)) {
        page->Heading =
            FillTemplate(Translate(QStringLiteral("Validation results for file \"%s\"")), {path});
        QStringList lines = messageText.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        page->Messages = lines;
    }
    pages->SelectPage(index);
    pages->ShowErrorPane(true);
}

void ValidateRun::ClosePage(const QString& path) {
    if (!m_env.pages)
        return;
    const int index = m_env.pages->FindErrorPage(path);
    if (index >= 0)
        m_env.pages->ClosePage(index);
}

void ValidateRun::ValidateFinished(FileProgressRun& run) {
    m_items.Stop();
    if (run.ItemCount() == m_state.successCount)
        CurrentPrompts().Message(Translate(QStringLiteral("No HTML errors found")),
                                 DialogKind::Custom, Button::Ok);
}
