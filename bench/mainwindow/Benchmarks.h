#pragma once
// The main window's benchmarks, each run by bench/mainwindow/main.cpp.

class TimedApplication;

// A folder of `pages` pages: how soon the list shows it, and the stalls meanwhile.
int OpenFolderBenchmark(TimedApplication& app, int pages);
// Validate on `files` pages of a real manual selected in the window, against kelvane-batch
// validate on the same files: files/s, the longest stall, the ratio, how soon Cancel answers.
int ValidateBenchmark(TimedApplication& app, int files);
// Review Changes on `files` pages of a real manual selected in the window, against
// kelvane-batch tidy --check on the same files: files/s, the longest stall, memory as the list
// fills, a file shown, Save as Patch.
int ReviewBenchmark(TimedApplication& app, int files);
