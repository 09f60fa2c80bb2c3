#pragma once
// The main window as a user has it before a run on the manual's folder: its progress and
// scanning windows, the engine's helpers beside the program, every page of the folder listed
// and selected. What it sets for the process is put back when it goes.

#include "EventLoopMeters.h"
#include "engine/TidyProcessPool.h"
#include "engine/TidyRunner.h"
#include "fileops/gui/TFormFileList.h"
#include "fileops/gui/TFormFileProgress.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "support/Prompts.h"
#include "support/SettingsFile.h"

#include <QTreeView>

class ManualWindow {
public:
    ManualWindow(Prompts& prompts, const QString& site, int files) : m_runner(m_pool) {
        SetPrompts(&prompts);
        SetFormFileProgress(&progress);
        SetFormFileList(&scanner);
        window.show();
        RunUntil([] { return false; }, 200);
        window.GoToFolder(site);
        FileListModel* model = window.fileListModel();
        RunUntil([&] { return model->Loaded() && model->rowCount() == files; }, 120000);
        window.fileList()->selectAll();
        RunUntil([] { return false; }, 300);
        window.UpdateActions();
    }
    ~ManualWindow() {
        SetFormFileList(nullptr);
        SetFormFileProgress(nullptr);
        SetPrompts(nullptr);
        SetSettingsFilePath({});
    }
    ManualWindow(const ManualWindow&) = delete;
    ManualWindow& operator=(const ManualWindow&) = delete;

private:
    TidyProcessPool m_pool;
    ScopedTidyRunner m_runner;

public:
    TFormFileProgress progress;
    TFormFileList scanner;
    TFormKelvane window;
};
