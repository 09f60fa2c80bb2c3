#pragma once
// The main window as a test drives it: a small site in a temporary folder, the settings and
// the remembered answers kept there, scripted answers to every question, and the helpers that
// select items and answer real modal dialogs.

#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "common/WhenModal.h"
#include "fileops/gui/TFormFileList.h"
#include "fileops/gui/TFormFileProgress.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "platform/UserRegistry.h"
#include "support/SettingsFile.h"
#include "support/Translation.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ClearTranslations();
        SetSettingsFilePath(dir.filePath(QStringLiteral("Settings.ini")));
        SetUserRegistryFile(dir.filePath(QStringLiteral("registry.ini")));
        site = dir.filePath(QStringLiteral("site"));
        for (const char* folder : {"A", "B", "C", "D", "B/inner"})
            ASSERT_TRUE(QDir(site).mkpath(QString::fromLatin1(folder)));
        for (const char* file : {"page.html", "other.htm", "notes.txt", "locked.html"})
            WriteAll(at(file), "<p>x");
        SetReadOnly(at("locked.html"), true);
    }
    void TearDown() override {
        SetReadOnly(at("locked.html"), false);
        window.reset();
        SetFormFileProgress(nullptr);
        SetFormFileList(nullptr);
        progress.reset();
        scanner.reset();
        SetUserRegistryFile({});
        SetSettingsFilePath({});
    }

    QString at(const char* name) const { return site + QLatin1Char('/') + QLatin1String(name); }

    TFormKelvane& open() {
        window = std::make_unique<TFormKelvane>();
        window->setOpeners(openers());
        return *window;
    }
    // With the progress and scanning windows the batch commands run for real.
    TFormKelvane& openWithRuns() {
        progress = std::make_unique<TFormFileProgress>();
        SetFormFileProgress(progress.get());
        scanner = std::make_unique<TFormFileList>();
        SetFormFileList(scanner.get());
        return open();
    }

    MainWindowOpeners openers() {
        MainWindowOpeners o;
        o.openDocument = [this](const QString& p) {
            opened << QStringLiteral("open ") + p;
            return true;
        };
        o.editDocument = [this](const QString& p) {
            opened << QStringLiteral("edit ") + p;
            return true;
        };
        return o;
    }

    // The list shows `folder` once its entries have been read.
    void showFolder(const QString& folder) {
        window->GoToFolder(folder);
        waitLoaded();
        ASSERT_EQ(window->CurrentFolder(), folder);
    }
    void waitLoaded() {
        FileListModel* model = window->fileListModel();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->Loaded(); }));
    }

    QModelIndex item(const char* name) const {
        FileListModel* model = window->fileListModel();
        const int row = model->RowOf(at(name));
        return row < 0 ? QModelIndex() : model->index(row, 0);
    }

    void select(std::initializer_list<const char*> names) {
        QItemSelectionModel* selection = window->fileList()->selectionModel();
        selection->clear();
        for (const char* name : names) {
            const QModelIndex index = item(name);
            ASSERT_TRUE(index.isValid()) << name;
            selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    QStringList listedNames() const {
        FileListModel* model = window->fileListModel();
        QStringList names;
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 0).data().toString();
        names.sort();
        return names;
    }

    QTemporaryDir dir;
    QString site;
    QStringList opened;
    ScriptedPrompts prompts;
    ScopedPrompts scope{prompts};
    std::unique_ptr<TFormFileProgress> progress;
    std::unique_ptr<TFormFileList> scanner;
    std::unique_ptr<TFormKelvane> window;
};

// Lets the event loop wait for events once, as it does between a user's actions.
inline void Idle() {
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
}

inline void Click(QWidget* dialog, const char* button) {
    auto* b = dialog->findChild<QPushButton*>(QLatin1String(button));
    ASSERT_NE(b, nullptr) << button;
    b->click();
}
