#pragma once
// The disk work of a group of rewrites (see RewriteQueue.h): backups and new texts written
// beside their files, flushed together, then put in place in order, each after a last check
// on the descriptor that was read. Every outcome but Rewritten leaves the file and its backup
// folder as they were (BackupSlot.h); the file-system steps come from CurrentCommitSteps().

#include "fileops/RewriteQueue.h"

#include <functional>
#include <vector>

// Rewrites the files of `jobs`, in order, and answers their outcomes. A refusal that concerns
// one file (WriteRefused) leaves the others to go on; after a failure that ends the run
// (WriteFailed, WriteFailure.h) the later jobs are not run.
std::vector<RewriteOutcome> CommitGroup(RunFiles& files,
                                        const std::vector<RewriteQueue::Job*>& jobs,
                                        const std::function<void(const PageFile&)>& beforeReplace);
