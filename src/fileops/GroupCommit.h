#pragma once
// The disk work of a group of rewrites (see RewriteQueue.h): backups and new texts written
// beside their files, flushed together, then put in place in order, each after a last check
// on the descriptor that was read.

#include "fileops/RewriteQueue.h"

#include <functional>
#include <vector>

// Rewrites the files of `jobs`, in order, and answers their outcomes. A job after one whose
// rewrite failed is not run.
std::vector<RewriteOutcome> CommitGroup(RunFiles& files,
                                        const std::vector<RewriteQueue::Job*>& jobs,
                                        const std::function<void(const PageFile&)>& beforeReplace);
