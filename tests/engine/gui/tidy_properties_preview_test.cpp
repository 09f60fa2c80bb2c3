// The tidy options dialog's preview: the After view, Test, Preview, its menu and its fonts.

#include "TidyPropertiesFixture.h"

namespace {

TEST_F(TidyPropertiesTest, AfterIsTidiedOnceAndAgainOnlyAfterAChange) {
    showAndAnswer(kSample, [&] {
        showPage("tsAfter");
        EXPECT_EQ(m_runner.runs, 1);
        EXPECT_FALSE(form().previewStale());
        const QString after = control<QsciScintilla>("MemoAfter")->text();
        EXPECT_TRUE(after.contains(QLatin1String("<P>"))) << after.toStdString();
        EXPECT_EQ(after.toUtf8(), form().afterText());

        showPage("tsHTMLOptions");
        showPage("tsAfter");
        EXPECT_EQ(m_runner.runs, 1);

        control<QCheckBox>("cbUppercaseTags")->click();
        EXPECT_TRUE(form().previewStale());
        showPage("tsAfter");
        EXPECT_EQ(m_runner.runs, 1); // already the current page
        showPage("tsBefore");
        showPage("tsAfter");
        EXPECT_EQ(m_runner.runs, 2);
        EXPECT_TRUE(control<QsciScintilla>("MemoAfter")->text().contains(QLatin1String("<p>")));

        for (const char* text : {"EditWrapWidth", "EditAltText"}) {
            showPage("tsHTMLOptions");
            control<QLineEdit>(text)->setText(QStringLiteral("7"));
            showPage("tsAfter");
        }
        EXPECT_EQ(m_runner.runs, 4);
        click("btnCancel");
    });
}

TEST_F(TidyPropertiesTest, EveryOptionControlMarksThePreviewStale) {
    // Every option control of the dialog, changed the way a user changes it. The boxes that
    // depend on another go after it, so that they are enabled.
    using Change = std::function<void()>;
    QList<QPair<QString, Change>> changes;
    form();
    for (QCheckBox* box : form().findChildren<QCheckBox*>()) {
        if (box->objectName() != QLatin1String("cbTidyMark")) // never shown
            changes.append({box->objectName(), [box] { box->click(); }});
    }
    std::stable_partition(changes.begin(), changes.end(), [](const auto& change) {
        return change.first == QLatin1String("cbEnableTextWrapping") ||
               change.first == QLatin1String("CBAltText");
    });
    changes.append({QStringLiteral("EditWrapWidth"),
                    [&] { control<QLineEdit>("EditWrapWidth")->setText(QStringLiteral("60")); }});
    changes.append({QStringLiteral("UpDownWrapWidth"), [&] {
                        control<QWidget>("UpDownWrapWidth")
                            ->findChild<QToolButton*>(QStringLiteral("btnUp"))
                            ->click();
                    }});
    changes.append(
        {QStringLiteral("EditAltText"),
         [&] { QTest::keyClicks(control<QLineEdit>("EditAltText"), QStringLiteral("photo")); }});
    changes.append({QStringLiteral("CBTabSize list"),
                    [&] { control<QComboBox>("CBTabSize")->setCurrentIndex(3); }});
    changes.append({QStringLiteral("CBTabSize typed"), [&] {
                        QComboBox* tab = control<QComboBox>("CBTabSize");
                        tab->lineEdit()->clear();
                        QTest::keyClicks(tab, QStringLiteral("6"));
                    }});
    changes.append({QStringLiteral("CBTabSize left"), [&] {
                        control<QComboBox>("CBTabSize")->setEditText(QStringLiteral("30"));
                        form().CBTabSizeExit(); // stale already; the forced value counts too
                    }});
    for (const char* name : {"CBInputEncoding", "CBOutputEncoding"})
        changes.append({QLatin1String(name), [this, name] {
                            QComboBox* combo = control<QComboBox>(name);
                            combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
                        }});
    ASSERT_GT(changes.size(), 24);

    const QByteArray latin1 = "<html><head><title>t</title></head><body><p>Caf\xe9\tbar"
                              "</body></html>";
    showAndAnswer(latin1, [&] {
        for (const auto& [name, change] : std::as_const(changes)) {
            showPage("tsAfter");
            ASSERT_FALSE(form().previewStale()) << name.toStdString();
            showPage("tsHTMLOptions");
            const int runs = m_runner.runs;
            change();
            EXPECT_TRUE(form().previewStale()) << name.toStdString();
            showPage("tsAfter");
            EXPECT_EQ(m_runner.runs, runs + 1) << name.toStdString();
        }

        // What the user sees follows: latin1 in, raw out keeps the byte; ascii writes an entity.
        click("btnDefaults");
        control<QComboBox>("CBInputEncoding")->setCurrentIndex(1);
        control<QComboBox>("CBOutputEncoding")->setCurrentIndex(2);
        showPage("tsAfter");
        EXPECT_TRUE(form().afterText().contains("Caf\xe9")) << form().afterText().constData();
        showPage("tsFileOptions");
        control<QComboBox>("CBOutputEncoding")->setCurrentIndex(0);
        showPage("tsAfter");
        EXPECT_TRUE(form().afterText().contains("Caf&eacute;")) << form().afterText().constData();
        click("btnCancel");
    });
}

TEST_F(TidyPropertiesTest, DefaultsRefreshesTheAfterView) {
    WriteAll(settingsPath(), "[FormTidyProperties]\ncbUppercaseTags.Checked=0\n");
    showAndAnswer(kSample, [&] {
        showPage("tsAfter");
        EXPECT_TRUE(form().afterText().contains("<p>"));
        click("btnDefaults");
        EXPECT_EQ(m_runner.runs, 2);
        EXPECT_TRUE(form().afterText().contains("<P>"));
        EXPECT_FALSE(form().previewStale());
        click("btnCancel");
    });
}

TEST_F(TidyPropertiesTest, ADocumentThatCannotBeTidiedSaysSoAndStaysStale) {
    m_runner.fail = true;
    showAndAnswer(kSample, [&] {
        showPage("tsAfter");
        EXPECT_EQ(control<QsciScintilla>("MemoAfter")->text(),
                  QStringLiteral("This document cannot be previewed.\r\nIt may contain too many "
                                 "errors to be tidied."));
        EXPECT_TRUE(form().previewStale());
        // Still stale: every use tries again.
        click("btnTest2");
        EXPECT_EQ(m_runner.runs, 2);
        click("btnCancel");
    });
    // The Test button wrote and opened the message.
    ASSERT_EQ(m_log.documents.size(), 1);
    EXPECT_EQ(ReadAll(m_log.documents.first()), CannotPreviewText().toUtf8());
}

TEST_F(TidyPropertiesTest, AnEncodingLeftUnselectedIsReportedAsAnError) {
    WriteAll(settingsPath(), "[FormTidyProperties]\nCBInputEncoding.ItemIndex=9\n");
    showAndAnswer(kSample, [&] {
        EXPECT_EQ(control<QComboBox>("CBInputEncoding")->currentIndex(), -1);
        showPage("tsAfter");
        click("btnPreview");
        click("btnCancel");
    });
    EXPECT_EQ(m_runner.runs, 0);
    EXPECT_EQ(m_prompts.messages(),
              QStringList({"Invalid Input encoding", "Invalid Input encoding"}));
    EXPECT_EQ(m_prompts.asked.first().kind, DialogKind::Error);
    // Preview stopped at the error: nothing written, nothing opened.
    EXPECT_TRUE(m_log.documents.isEmpty() && m_log.programs.isEmpty());
    EXPECT_FALSE(QFile::exists(PreviewFilePath()));
}

TEST_F(TidyPropertiesTest, AfterKeepsTheReadersPlace) {
    QByteArray longPage = "<html><head><title>t</title></head><body>\n";
    for (int i = 0; i < 300; ++i)
        longPage += "<p>Paragraph " + QByteArray::number(i) + "</p>\n";
    longPage += "</body></html>\n";
    showAndAnswer(longPage, [&] {
        showPage("tsAfter");
        auto* after = control<QsciScintilla>("MemoAfter");
        ASSERT_GT(after->lines(), 200);
        after->setFirstVisibleLine(120);
        const int place = after->firstVisibleLine();
        EXPECT_GT(place, 0);
        control<QCheckBox>("CBIndent")->click();
        showPage("tsBefore");
        showPage("tsAfter");
        EXPECT_EQ(m_runner.runs, 2);
        EXPECT_EQ(after->firstVisibleLine(), place);
        click("btnCancel");
    });
}

// --- Preview and Test ------------------------------------------------------------------------

TEST_F(TidyPropertiesTest, TestWritesThePreviewFileAndOpensItWithTheDefaultApplication) {
    showAndAnswer(kSample, [&] {
        click("btnTest4");
        click("btnCancel");
    });
    EXPECT_EQ(m_runner.runs, 1);
    ASSERT_EQ(m_log.documents, QStringList{PreviewFilePath()});
    EXPECT_TRUE(
        PreviewFilePath().endsWith(QLatin1String("/Mondavik/Mondavik Kelvane/qzn_preview.html")));
    EXPECT_EQ(ReadAll(PreviewFilePath()), form().afterText());
    EXPECT_TRUE(form().afterText().contains("<P>"));
    EXPECT_TRUE(m_log.programs.isEmpty());
}

TEST_F(TidyPropertiesTest, PreviewStartsTheInstalledEditor) {
    const QString editor = m_dir.filePath(QStringLiteral("Scribbet Editor"));
    WriteAll(editor, "#!/bin/sh\n");
    WriteAll(MachineRegistryFile(),
             "[Software\\Mondavik\\Updrift\\Components\\Mondavik Scribbet]\nPATH=" +
                 editor.toUtf8() + "\n");
    showAndAnswer(kSample, [&] {
        click("btnPreview");
        click("btnCancel");
    });
    ASSERT_EQ(m_log.programs.size(), 1);
    EXPECT_EQ(m_log.programs.first().first, editor);
    EXPECT_EQ(m_log.programs.first().second, QStringList({PreviewFilePath(), "-NoSplash", "-X"}));
    EXPECT_TRUE(m_log.documents.isEmpty());
    EXPECT_EQ(ReadAll(PreviewFilePath()), form().afterText());
}

TEST_F(TidyPropertiesTest, PreviewFallsBackToTheDefaultApplicationThenOpenWith) {
    // The store names a program that is not there.
    WriteAll(MachineRegistryFile(),
             "[Software\\Mondavik\\Updrift\\Components\\Mondavik Scribbet]\nPATH=" +
                 m_dir.filePath(QStringLiteral("missing")).toUtf8() + "\n");
    showAndAnswer(kSample, [&] {
        click("btnPreview");
        m_log.documentsOpen = false;
        click("btnPreview");
        click("btnCancel");
    });
    EXPECT_TRUE(m_log.programs.isEmpty());
    EXPECT_EQ(m_log.documents, QStringList({PreviewFilePath(), PreviewFilePath()}));
    EXPECT_EQ(m_log.openWith, QStringList{PreviewFilePath()});
    EXPECT_EQ(m_runner.runs, 1); // the second Preview found the view up to date
}

TEST_F(TidyPropertiesTest, AnEditorThatDoesNotStartFallsBackToTheDefaultApplication) {
    const QString editor = m_dir.filePath(QStringLiteral("scribbet"));
    WriteAll(editor, "x");
    WriteAll(MachineRegistryFile(),
             "[software\\mondavik\\updrift\\components\\mondavik scribbet]\npath=" +
                 editor.toUtf8() + "\n");
    EXPECT_EQ(TFormTidyProperties::InstalledEditorPath(), editor);
    m_log.programsStart = false;
    showAndAnswer(kSample, [&] {
        click("btnPreview");
        click("btnCancel");
    });
    EXPECT_EQ(m_log.programs.size(), 1);
    EXPECT_EQ(m_log.documents, QStringList{PreviewFilePath()});
}

TEST_F(TidyPropertiesTest, APreviewFileThatCannotBeWrittenIsReported) {
    showAndAnswer(kSample, [&] {
        const QString path = PreviewFilePath();
        QFile::remove(path);
        ASSERT_TRUE(QDir().mkpath(path)); // a folder where the file should go
        click("btnTest1");
        QDir(path).removeRecursively();
        click("btnCancel");
    });
    ASSERT_EQ(m_prompts.messages().size(), 1);
    EXPECT_EQ(m_prompts.asked.first().kind, DialogKind::Error);
    EXPECT_TRUE(m_log.documents.isEmpty());
}

// --- Menu ------------------------------------------------------------------------------------

TEST_F(TidyPropertiesTest, MenuShowsOnlyWhenAskedAndItsEntriesWork) {
    auto* bar = control<QMenuBar>("MainMenu1");
    EXPECT_FALSE(form().menuVisible());
    EXPECT_TRUE(bar->isHidden());
    form().setMenuVisible(true);
    EXPECT_FALSE(bar->isHidden());

    QStringList titles;
    for (QAction* menu : bar->actions())
        titles << menu->text();
    EXPECT_EQ(titles, QStringList({"&File", "Edit", "Help"}));
    auto action = [&](const char* name) { return form().findChild<QAction*>(QLatin1String(name)); };
    EXPECT_EQ(action("miExit")->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(action("miInternetProperties")->text(), QStringLiteral("Internet Properties..."));
    EXPECT_EQ(action("miAbout")->text(), QStringLiteral("About..."));
    EXPECT_EQ(action("miMondavikSoftware")->text(),
              QStringLiteral("&Mondavik Software (Online)..."));
    EXPECT_EQ(action("miMondavikServices")->text(),
              QStringLiteral("Mondavik &Services (Online)..."));

    action("miMondavikSoftware")->trigger();
    action("miMondavikServices")->trigger();
    EXPECT_EQ(m_log.webPages, QStringList({kMakerSoftwarePage, kMakerServicesPage}));

    // Internet Properties: the desktop's tool when there is one, a clear word when not.
    action("miInternetProperties")->trigger();
    ASSERT_EQ(m_prompts.messages().size(), 1);
    EXPECT_EQ(m_prompts.asked.first().kind, DialogKind::Information);
    m_log.networkTool = QStringList({"/usr/bin/gnome-control-center", "network"});
    action("miInternetProperties")->trigger();
    ASSERT_EQ(m_log.programs.size(), 1);
    EXPECT_EQ(m_log.programs.first().first, QStringLiteral("/usr/bin/gnome-control-center"));
    EXPECT_EQ(m_log.programs.first().second, QStringList{"network"});
    EXPECT_EQ(m_prompts.messages().size(), 1);

    // About: a modal box whose link goes where the dialog's web pages go.
    bool aboutShown = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* about = qobject_cast<TFormAboutBox*>(modal)) {
            aboutShown = true;
            about->HomePageClick();
        }
        if (modal != nullptr && modal != m_form.get())
            modal->close();
    });
    action("miAbout")->trigger();
    EXPECT_TRUE(aboutShown);
    EXPECT_EQ(m_log.webPages.last(), kMakerHomePage);

    form().setMenuVisible(false);
    EXPECT_TRUE(bar->isHidden());
}

// --- The options dialog of the prompts --------------------------------------------------------

TEST_F(TidyPropertiesTest, PromptsReachTheDialogWithTheSampleFileAndCaption) {
    const QString sample = m_dir.filePath(QStringLiteral("page.html"));
    WriteAll(sample, kSample);
    form();
    QtPrompts dialogs;
    bool answered = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!answered && QApplication::activeModalWidget() == m_form.get()) {
            answered = true;
            EXPECT_EQ(form().windowTitle(), QStringLiteral("Kelvane - page.html"));
            EXPECT_TRUE(form().hasDocument());
            EXPECT_EQ(control<QsciScintilla>("MemoBefore")->text(), QString::fromLatin1(kSample));
            click("btnOK");
        }
    });
    timer.start(5);
    EXPECT_TRUE(dialogs.EditTidyOptions(sample, QStringLiteral("Kelvane - page.html")));
    EXPECT_TRUE(answered);

    // An unreadable sample is no sample; an empty caption keeps the last one.
    answered = false;
    QObject::disconnect(&timer, nullptr, nullptr, nullptr);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!answered && QApplication::activeModalWidget() == m_form.get()) {
            answered = true;
            EXPECT_FALSE(form().hasDocument());
            EXPECT_EQ(form().windowTitle(), QStringLiteral("Kelvane - page.html"));
            click("btnCancel");
        }
    });
    EXPECT_FALSE(dialogs.EditTidyOptions(m_dir.filePath(QStringLiteral("missing.html")), {}));
    EXPECT_TRUE(answered);

    m_form.reset();
    EXPECT_EQ(FormTidyProperties(), nullptr);
    EXPECT_THROW(dialogs.EditTidyOptions(sample, {}), KelvaneError);
}

TEST_F(TidyPropertiesTest, ABuiltDialogStartsFromTheBuiltInOptions) {
    CurrentOptionSet().CBBare = false; // left over from elsewhere in the process
    form();
    EXPECT_EQ(CurrentOptionSet(), TidyOptionSet{});
    EXPECT_TRUE(control<QCheckBox>("CBBare")->isChecked());
    // Defaults are the built-in values, not what happened to be in memory.
    control<QCheckBox>("CBClean")->click();
    click("btnDefaults");
    EXPECT_EQ(CurrentOptionSet(), TidyOptionSet{});
}

TEST_F(TidyPropertiesTest, ViewsUseAFixedPitchTenPointFont) {
    auto* before = control<QsciScintilla>("MemoBefore");
    ASSERT_NE(before->lexer(), nullptr);
    const QFont font = before->lexer()->defaultFont();
    EXPECT_EQ(font.pointSize(), 10);
    EXPECT_TRUE(QFontInfo(font).fixedPitch());
    EXPECT_STREQ(before->lexer()->language(), "HTML");
}

} // namespace
