#include "fileops/ReviewSession.h"

#include "fileops/ReviewCollector.h"
#include "fileops/ReviewPatch.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"

#include <QSaveFile>

namespace {

// The error pane as a run of the review sees it: its run summary carries the review's own
// heading.
class RetitledPages final : public ErrorPages {
public:
    RetitledPages(ErrorPages* pages, std::function<QString()> heading)
        : m_pages(pages), m_heading(std::move(heading)) {}
    int FindErrorPage(const QString& path) const override {
        return m_pages ? m_pages->FindErrorPage(path) : -1;
    }
    int AddErrorPage(const QString& path) override {
        return m_pages ? m_pages->AddErrorPage(path) : -1;
    }
    TTidyErrors* Page(int index) override { return m_pages ? m_pages->Page(index) : nullptr; }
    void SelectPage(int index) override {
        if (m_pages)
            m_pages->SelectPage(index);
    }
    void ClosePage(int index) override {
        if (m_pages)
            m_pages->ClosePage(index);
    }
    void ShowErrorPane(bool visible) override {
        if (m_pages)
            m_pages->ShowErrorPane(visible);
    }
    void ShowRunSummary(const QString&, const QStringList& messages) override {
        if (m_pages)
            m_pages->ShowRunSummary(m_heading(), messages);
    }

private:
    ErrorPages* m_pages;
    std::function<QString()> m_heading;
};

QString Filled(const char* textTemplate, const QStringList& values) {
    return FillTemplate(Translate(QString::fromUtf8(textTemplate)), values);
}

// The line of a file that Tidy Checked Files does not write.
std::optional<QString> VetoLine(ReviewMismatch mismatch) {
    switch (mismatch) {
    case ReviewMismatch::None:
        return std::nullopt;
    case ReviewMismatch::NotReviewed:
        return QStringLiteral("%s: This file was not reviewed. It was left as it is.");
    case ReviewMismatch::FileChanged:
        return QStringLiteral(
            "%s: The file changed since its changes were reviewed. It was left as it is.");
    case ReviewMismatch::TidiedDiffers:
        return QStringLiteral("%s: Tidying the file no longer gives the text that was reviewed. "
                              "It was left as it is.");
    }
    return std::nullopt;
}

bool RunCancelled(const BatchCommands& commands) {
    const FileProgressRun* progress = commands.Environment().progress;
    return progress && progress->State() == fpsCancelled;
}

} // namespace

void ReviewSession::Clear() {
    m_list.Clear();
    m_options.clear();
    m_roots = TreeRoots();
    m_base.clear();
    m_active = false;
    m_stopped = false;
}

QString ReviewSession::CountsText() const {
    return Filled("Tidying would change %d files; %d would stay as they are; %d could not be "
                  "tidied.",
                  {QString::number(m_list.Count()), QString::number(m_list.Unchanged()),
                   QString::number(m_list.NotTidied())});
}

bool ReviewSession::Review(BatchCommands& commands, const QString& base,
                           const std::function<void()>& started) {
    ReviewCollector collector(m_list);
    bool began = false;
    RetitledPages pages(commands.Environment().pages, [&] {
        collector.Finish(); // every file counted before the heading is made
        return Filled("Kelvane - Reviewed %d files: tidying would change %d of them",
                      {QString::number(m_list.Count() + m_list.Unchanged() + m_list.NotTidied()),
                       QString::number(m_list.Count())});
    });
    TidyRunSettings settings;
    settings.mode = TidyWriteMode::Check;
    // Every file is listed; the question comes when the files are tidied for real.
    settings.askManyWarnings = false;
    settings.observer = &collector;
    settings.pages = &pages;
    settings.caption = QStringLiteral("Reviewing Changes...");
    // A file that cannot be read is counted with its line; the review goes on.
    settings.unreadableFileEndsRun = false;
    settings.starting = [&](const ResolvedTidyOptions& options, const TreeRoots& roots) {
        // An earlier review stays until the new one begins.
        Clear();
        m_base = base;
        m_options = options;
        m_roots = roots;
        m_active = true;
        began = true;
        if (started)
            started();
        return true;
    };
    commands.ReviewChanges(settings);
    collector.Finish();
    if (began)
        m_stopped = RunCancelled(commands) || commands.RunFailed();
    return began;
}

bool ReviewSession::SameOptions(const ResolvedTidyOptions& options) const {
    if (options == m_options)
        return true;
    CurrentPrompts().Message(
        Translate(QStringLiteral("The tidy options have changed since these changes were "
                                 "reviewed, so tidying would no longer give what was shown.\r\n\r\n"
                                 "Review the changes again.")),
        DialogKind::Warning, Button::Ok);
    return false;
}

ReviewSession::Result ReviewSession::TidyChecked(BatchCommands& commands) {
    const QStringList paths = m_list.CheckedPaths();
    if (!m_active || paths.isEmpty())
        return Result::NothingChecked;
    Result result = Result::NotRun;
    TidyRunSettings settings;
    settings.optionsDialog = false;
    settings.vetoRewrite = [this](const QString& path, const QByteArray& original,
                                  const QByteArray& tidied) {
        return VetoLine(m_list.Compare(path, original, tidied));
    };
    settings.starting = [&](const ResolvedTidyOptions& options, const TreeRoots&) {
        const bool same = SameOptions(options);
        result = same ? Result::Done : Result::OptionsChanged;
        return same;
    };
    commands.TidyPaths(paths, m_roots, settings);
    return result;
}

ReviewSession::PatchResult ReviewSession::SavePatch(BatchCommands& commands, const QString& file) {
    PatchResult outcome;
    const QStringList paths = m_list.CheckedPaths();
    if (!m_active || paths.isEmpty()) {
        outcome.result = Result::NothingChecked;
        return outcome;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        RaiseFileCreateError(file, out.errorString());
    PatchWriter writer(m_list, m_base, out, commands.Environment().progress);
    RetitledPages pages(commands.Environment().pages, [&] {
        return Filled("Kelvane - The changes of %d files were saved in %s; %d files were left out",
                      {QString::number(writer.Written()), file, QString::number(writer.LeftOut())});
    });
    TidyRunSettings settings;
    settings.mode = TidyWriteMode::Check;
    settings.optionsDialog = false;
    settings.askManyWarnings = false; // answered by the review
    settings.observer = &writer;
    settings.pages = &pages;
    settings.caption = QStringLiteral("Saving Patch...");
    settings.unreadableFileEndsRun = false; // left out of the patch, with its line
    settings.starting = [&](const ResolvedTidyOptions& options, const TreeRoots&) {
        const bool same = SameOptions(options);
        outcome.result = same ? Result::Done : Result::OptionsChanged;
        return same;
    };
    commands.TidyPaths(paths, m_roots, settings);
    outcome.written = writer.Written();
    outcome.leftOut = writer.LeftOut();
    const bool complete = outcome.result == Result::Done && writer.Records() == paths.size() &&
                          !RunCancelled(commands) && !commands.RunFailed();
    if (!complete) {
        out.cancelWriting();
        return outcome;
    }
    if (writer.WriteFailed() || !out.commit())
        RaiseFileCreateError(file, out.errorString());
    outcome.saved = true;
    return outcome;
}
