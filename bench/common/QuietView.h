#pragma once
// A progress view that shows nothing: what a run costs without a window.

#include "fileops/FileProgressRun.h"

class QuietView final : public ProgressView {
public:
    void RunModal(const QString&, const std::function<void()>& process) override { process(); }
    void ShowItem(qsizetype, qsizetype, const QString&) override {}
    void MessageAdded(const ProgressMessage&) override {}
    void LetEventsRun() override {}
    void Reset() override {}
};
