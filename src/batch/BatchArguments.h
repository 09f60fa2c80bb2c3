#pragma once
// The command line of kelvane-batch: a command, switches and paths.
//   kelvane-batch tidy|validate|restore|clean [options] PATH...

#include "engine/TidyResultCache.h"
#include "support/Errors.h"

#include <QString>
#include <QStringList>
#include <optional>

enum class BatchCommand { Tidy, Validate, Restore, Clean };
enum class ReportFormat { Text, Json, Sarif };

struct BatchArguments {
    BatchCommand command = BatchCommand::Tidy;
    bool recursive = false;               // -r: folders are expanded, else each is an error
    std::optional<QString> masks;         // -m; none: the stored File Types Filter
    int jobs = 0;                         // -j; 0: the pool's default (one per core, at most 8)
    std::optional<QString> filesFrom;     // --files-from; "-" is standard input
    bool nullSeparated = false;           // -0
    std::optional<QString> optionsFile;   // --options
    std::optional<QString> tidyConfig;    // --tidy-config: HTML Tidy's own configuration file
    QStringList mute;                     // --mute, as given (each "KEY[,KEY]")
    bool printOptions = false;            // --print-options: say which options, and stop
    std::optional<QString> baseline;      // --baseline: a JSON report of an earlier run
    std::optional<QString> writeBaseline; // --write-baseline
    bool check = false;                   // tidy: write nothing, list what would change
    bool diff = false;                    // tidy: write nothing, print the changes
    bool force = false;                   // tidy: many messages; restore: files edited since
    ReportFormat format = ReportFormat::Text;
    // --cache (the default) or --no-cache: validate and tidy keep and reuse the library's
    // results between runs.
    bool cache = true;
    std::optional<QString> cacheLocation;       // --cache-location; none: TidyResultCache's default
    std::optional<CacheStrategy> cacheStrategy; // --cache-strategy; none: content
    bool quiet = false;                         // no progress bar
    bool help = false;
    bool version = false;
    QStringList paths;

    // --check or --diff: nothing is written.
    bool WritesNothing() const { return check || diff; }
};

// A command line the program cannot run (exit status 2).
class UsageError : public KelvaneError {
public:
    using KelvaneError::KelvaneError;
};

// `arguments` without the program's name. Throws UsageError with a one-line reason.
BatchArguments ParseBatchArguments(const QStringList& arguments);

// What --help prints.
QString BatchUsageText();

// "tidy", "validate", "restore", "clean".
QString CommandName(BatchCommand command);
