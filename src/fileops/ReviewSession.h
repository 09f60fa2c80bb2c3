#pragma once
// Review Changes from start to end, without a window: the check run that fills the review
// list, then Tidy Checked Files (a tidy run over the checked files that writes only what was
// reviewed) or Save as Patch. The window shows the list and the files; this does the runs.

#include "engine/TidyRequest.h"
#include "fileops/BatchCommands.h"
#include "fileops/ReviewList.h"

#include <QString>
#include <functional>

class ReviewSession {
public:
    ReviewList& List() { return m_list; }
    const ReviewList& List() const { return m_list; }
    // The options the review tidied with; the views tidy with them again.
    const ResolvedTidyOptions& Options() const { return m_options; }
    // The folder that patch names are relative to.
    const QString& Base() const { return m_base; }
    // A review run has started (its options are known).
    bool Active() const { return m_active; }
    // The review run ended before the end of its list (Cancel, an error).
    bool Stopped() const { return m_stopped; }

    // Gathers the selection of `commands` as Tidy does (folder question, scanning window),
    // asks for the options and runs a check run that writes nothing; each file it reaches is
    // listed or counted. `started` is called once the run begins. Patch names will be
    // relative to `base`. Answers whether the run took place (not when the options dialog was
    // cancelled, nothing was selected, or another command runs); an earlier review is kept
    // until then.
    bool Review(BatchCommands& commands, const QString& base,
                const std::function<void()>& started = {});

    enum class Result {
        NothingChecked, // nothing was run
        OptionsChanged, // the stored options are not those of the review: said, nothing run
        NotRun,         // another command runs, or the run did not start
        Done,
    };
    // Tidy Checked Files: the normal tidy run (backups, questions, progress, summary) over the
    // checked files with the stored options and without the options dialog. A file whose bytes
    // or tidied text are not what was reviewed is not written; it gets a line.
    Result TidyChecked(BatchCommands& commands);

    struct PatchResult {
        Result result = Result::NotRun;
        bool saved = false; // the patch file is there, complete
        int written = 0;    // files whose changes it holds
        int leftOut = 0;
    };
    // Save as Patch to `file`, replaced as a whole once the patch is complete (nothing is
    // written when the run is cancelled). A file that cannot be written raises the standard
    // file-creation error.
    PatchResult SavePatch(BatchCommands& commands, const QString& file);

    // Forgets the review.
    void Clear();

    // "Tidying would change %d files; ..." for the review in hand.
    QString CountsText() const;

private:
    // False (and says so) when the stored options are not those of the review.
    bool SameOptions(const ResolvedTidyOptions& options) const;

    ReviewList m_list;
    ResolvedTidyOptions m_options;
    TreeRoots m_roots;
    QString m_base;
    bool m_active = false;
    bool m_stopped = false;
};
