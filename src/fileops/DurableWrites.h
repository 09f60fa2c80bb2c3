#pragma once
// The pieces every durable write of the batch runs is made of: a temporary beside the target
// with the target's bytes and attributes, one flush per file system, and the step that puts it
// under its name.

#include "platform/FolderHandle.h"
#include "platform/TemporaryFile.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/stat.h>
#include <vector>

// A temporary in `folderFd` holding `bytes`, with the permission bits and, where permitted, the
// owner and group of `like` (never set-id bits), and the extended attributes of the file open
// as `likeFd` that are kept (platform/ExtendedAttributes.h: its access list, user.*; -1: none);
// with `keepTimes`, its times too. False with errno set; when an attribute could not be kept,
// `refusal` (when given) gets the untranslated line that says so ("%s: ...").
bool WriteTemporaryLike(platform::TemporaryFile& file, int folderFd,
                        platform::TemporaryFile::NameMaker names, const QByteArray& bytes,
                        int likeFd, const struct stat& like, bool keepTimes,
                        QString* refusal = nullptr);

// The line of a copy that could not keep the access list or the extended attributes of its
// original.
QString AttributesNotKeptLine();

// Flushes every file system that holds one of `folders`, once each; false with `error` set.
bool SyncFolders(const std::vector<platform::FolderRef>& folders, int& error);

// Puts a complete backup copy under `name` in its folder: a new name when there was none,
// else in place of the older backup in one step.
bool PlaceBackup(platform::TemporaryFile& copy, const QByteArray& name);

// Test hook: answers an errno with which the write of `bytes` into a temporary is to fail, or
// 0; nullptr removes it.
void SetWriteFailureForTests(std::function<int(const QByteArray& bytes)> failure);
