// The tidy options dialog: its controls, opening and closing, what it stores.

#include "TidyPropertiesFixture.h"
#include "support/Errors.h"

namespace {

// --- Controls -------------------------------------------------------------------------------

TEST_F(TidyPropertiesTest, ControlsCarryTheirNamesCaptionsAndHints) {
    EXPECT_EQ(form().objectName(), QStringLiteral("FormTidyProperties"));
    EXPECT_STREQ(form().metaObject()->className(), "TFormTidyProperties");
    EXPECT_EQ(form().windowTitle(), QStringLiteral("Tidy Options"));
    EXPECT_EQ(FormTidyProperties(), &form());

    const QStringList titles = {"HTML Options", "Text Wrap", "Accessibility Options",
                                "File Options", "Before",    "After"};
    ASSERT_EQ(pages()->count(), titles.size());
    for (int i = 0; i < titles.size(); ++i)
        EXPECT_EQ(pages()->tabText(i), titles[i]);

    const QList<QPair<const char*, const char*>> captions = {
        {"cbUppercaseTags", "Uppercase Tags"},
        {"cbUppercaseAttributes", "Uppercase Attributes"},
        {"CBBreakBeforeBR", "Break before <BR>"},
        {"CBIndent", "Indent Tags"},
        {"CBDropEmptyParas", "Remove empty paragraphs"},
        {"CBWord2000", "Strip MS Word 2000 tags"},
        {"CBBare", "Strip vendor-specific HTML"},
        {"CBFixBadComments", "Fix Bad Comments"},
        {"CBFixURI", "Fix URLs"},
        {"CBClean", "Replace fonts with styles"},
        {"cbTidyMark", "Hidden Option - Include Tidy mark"},
        {"cbEnableTextWrapping", "Enable Text Wrapping"},
        {"cbWrapJSTE", "Wrap JSTE Scripts"},
        {"cbWrapLiterals", "Wrap SCRIPT string literals"},
        {"cbWrapPHP", "Wrap PHP Scripts"},
        {"cbWrapASP", "Wrap ASP Scripts"},
        {"CBWrapSections", "Wrap HTML Sections"},
        {"cbWrapAttributes", "Wrap HTML Attributes"},
        {"CBAltText", "Automatically provide image ALT text"},
    };
    for (const auto& [name, caption] : captions) {
        QCheckBox* box = control<QCheckBox>(name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString::fromUtf8(caption)) << name;
    }
    // The HTML formatting boxes in their top-to-bottom order.
    QList<QCheckBox*> formatting =
        control<QGroupBox>("gbHTMLFormatting")->findChildren<QCheckBox*>();
    ASSERT_EQ(formatting.size(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(formatting[i]->objectName(), QLatin1String(captions[i].first));

    EXPECT_TRUE(control<QCheckBox>("cbTidyMark")->isHidden());
    EXPECT_FALSE(control<QCheckBox>("cbTidyMark")->isEnabled());

    EXPECT_EQ(control<QGroupBox>("gbTextWrapping")->title(), QStringLiteral("Text Wrapping"));
    EXPECT_EQ(control<QGroupBox>("gbTextWrapOptions")->title(),
              QStringLiteral("Text Wrap Options"));
    EXPECT_EQ(control<QGroupBox>("gbImageAltText")->title(), QStringLiteral("Image ALT Text"));
    EXPECT_EQ(control<QGroupBox>("gbInputFileOptions")->title(),
              QStringLiteral("Input File Options"));
    EXPECT_EQ(control<QGroupBox>("gbOutputFileOptions")->title(),
              QStringLiteral("Output File Options"));
    EXPECT_EQ(control<QLabel>("lblWrapWidth")->text(), QStringLiteral("Wrap Width"));
    EXPECT_EQ(control<QLabel>("lblTabSize")->text(), QStringLiteral("Tab Size:"));
    EXPECT_EQ(control<QLabel>("lblInputEncoding")->text(), QStringLiteral("Char Encoding:"));
    EXPECT_EQ(control<QLabel>("lblOutputEncoding")->text(), QStringLiteral("Char Encoding:"));
    EXPECT_NE(control<QLineEdit>("EditWrapWidth"), nullptr);
    EXPECT_NE(control<QLineEdit>("EditAltText"), nullptr);
    EXPECT_NE(control<QsciScintilla>("MemoBefore"), nullptr);
    EXPECT_NE(control<QsciScintilla>("MemoAfter"), nullptr);

    for (const char* name : {"CBTabSize", "CBInputEncoding", "CBOutputEncoding"})
        EXPECT_NE(control<QComboBox>(name), nullptr);
    EXPECT_TRUE(control<QComboBox>("CBTabSize")->isEditable());
    EXPECT_FALSE(control<QComboBox>("CBInputEncoding")->isEditable());
    QStringList encodings;
    for (int i = 0; i < control<QComboBox>("CBOutputEncoding")->count(); ++i)
        encodings << control<QComboBox>("CBOutputEncoding")->itemText(i);
    EXPECT_EQ(encodings,
              QStringList({"ascii", "latin1", "raw", "utf8", "iso2022", "mac", "win1252"}));

    const QList<QPair<const char*, const char*>> buttons = {
        {"btnDefaults", "Defaults"}, {"btnPreview", "Preview"}, {"btnOK", "OK"},
        {"btnCancel", "Cancel"},     {"btnTest1", "Test"},      {"btnTest2", "Test"},
        {"btnTest3", "Test"},        {"btnTest4", "Test"}};
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(control<QPushButton>(name)->text(), QString::fromUtf8(caption)) << name;
    EXPECT_TRUE(control<QPushButton>("btnOK")->isDefault());
}

TEST_F(TidyPropertiesTest, HintsAreTheLibraryDescriptions) {
    const QList<QPair<const char*, QString>> hints = {
        {"cbUppercaseTags",
         QStringLiteral("This option specifies if Tidy should output tag names in upper case.")},
        {"CBBreakBeforeBR", QStringLiteral("This option specifies if Tidy should output a line "
                                           "break before each <BR> element. ")},
        {"CBIndent",
         QStringLiteral("This option specifies if Tidy should indent block-level tags. \r\nIf "
                        "set to \"auto\", this option causes Tidy to decide whether or not to "
                        "indent \r\nthe content of tags such as TITLE, H1-H6, LI, TD, TD, or P "
                        "depending \r\non whether or not the content includes a block-level "
                        "element. \r\nYou are advised to avoid setting indent to yes as this can "
                        "expose \r\nlayout bugs in some browsers. ")},
        {"CBWord2000",
         QStringLiteral("This option specifies if Tidy should go to great pains to strip out "
                        "all the surplus \r\nstuff Microsoft Word 2000 inserts when you save "
                        "Word documents as \r\n\"Web pages\". Doesn't handle embedded images or "
                        "VML.")},
        {"CBFixBadComments",
         QStringLiteral("This option specifies if Tidy should replace unexpected hyphens with "
                        "\"=\" characters when it comes across adjacent hyphens. The default is "
                        "yes. This option is provided for users of Cold Fusion which uses the "
                        "comment syntax: <!--- --->")},
        {"cbEnableTextWrapping",
         QStringLiteral("This option specifies if tidy should wrap the HTML it generates.")},
        {"cbWrapASP", QStringLiteral("This option specifies if Tidy should line wrap text "
                                     "contained within ASP pseudo elements, which look like: "
                                     "<% ... %>. ")},
        {"cbWrapAttributes",
         QStringLiteral("This option specifies if Tidy should line wrap attribute values, for "
                        "easier editing. This option can be set independently of "
                        "wrap-script-literals.")},
    };
    for (const auto& [name, hint] : hints)
        EXPECT_EQ(control<QWidget>(name)->toolTip(), hint) << name;

    // Every option control has a hint; label and list share theirs.
    for (const char* name :
         {"cbUppercaseAttributes", "CBDropEmptyParas", "CBBare", "CBClean", "CBFixURI",
          "cbWrapJSTE", "cbWrapLiterals", "cbWrapPHP", "CBWrapSections"})
        EXPECT_TRUE(control<QWidget>(name)->toolTip().startsWith(
            QLatin1String("This option specifies if ")))
            << name;
    const QString tabHint = control<QLabel>("lblTabSize")->toolTip();
    EXPECT_TRUE(tabHint.startsWith(QLatin1String(
        "This option specifies the number of columns that Tidy uses between \r\nsuccessive")));
    EXPECT_EQ(control<QComboBox>("CBTabSize")->toolTip(), tabHint);
    const QString encodingHint = control<QComboBox>("CBInputEncoding")->toolTip();
    EXPECT_TRUE(encodingHint.endsWith(
        QLatin1String("\r\nentities for all characters whose value > 127. ")));
    for (const char* name : {"lblInputEncoding", "lblOutputEncoding", "CBOutputEncoding"})
        EXPECT_EQ(control<QWidget>(name)->toolTip(), encodingHint) << name;
}

// --- Opening and closing ---------------------------------------------------------------------

TEST_F(TidyPropertiesTest, WithoutDocumentNoPreviewIsOffered) {
    const bool ok = showAndAnswer({}, [&] {
        EXPECT_EQ(pages()->currentIndex(), 0);
        EXPECT_FALSE(pages()->isTabVisible(4));
        EXPECT_FALSE(pages()->isTabVisible(5));
        EXPECT_FALSE(control<QPushButton>("btnPreview")->isEnabled());
        for (const char* test : {"btnTest1", "btnTest2", "btnTest3", "btnTest4"})
            EXPECT_FALSE(control<QPushButton>(test)->isEnabled()) << test;
        EXPECT_FALSE(form().previewStale());
        EXPECT_FALSE(form().hasDocument());
        click("btnCancel");
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(m_runner.runs, 0);
    // Cancel writes nothing.
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(TidyPropertiesTest, WithDocumentBeforeShowsItAndPreviewIsOffered) {
    const bool ok = showAndAnswer(kSample, [&] {
        EXPECT_EQ(pages()->currentIndex(), 0);
        EXPECT_TRUE(pages()->isTabVisible(4));
        EXPECT_TRUE(pages()->isTabVisible(5));
        EXPECT_TRUE(control<QPushButton>("btnPreview")->isEnabled());
        EXPECT_TRUE(control<QPushButton>("btnTest3")->isEnabled());
        EXPECT_TRUE(form().previewStale());
        EXPECT_EQ(control<QsciScintilla>("MemoBefore")->text(), QString::fromLatin1(kSample));
        EXPECT_TRUE(control<QsciScintilla>("MemoBefore")->isReadOnly());
        EXPECT_EQ(control<QsciScintilla>("MemoBefore")->marginWidth(0), 0);
        EXPECT_EQ(control<QsciScintilla>("MemoBefore")->marginWidth(1), 0);
        // Opening the dialog tidies nothing yet.
        EXPECT_EQ(m_runner.runs, 0);
        click("btnOK");
    });
    EXPECT_TRUE(ok);
    // OK stores every option.
    const QByteArray stored = ReadAll(settingsPath());
    for (const QString& key : TidyOptionKeys())
        EXPECT_TRUE(stored.contains(key.toUtf8() + '=')) << key.toStdString();
}

TEST_F(TidyPropertiesTest, OpeningAgainWithoutDocumentHidesThePreviewAgain) {
    showAndAnswer(kSample, [&] { click("btnCancel"); });
    showAndAnswer({}, [&] {
        EXPECT_FALSE(pages()->isTabVisible(5));
        EXPECT_FALSE(control<QPushButton>("btnTest1")->isEnabled());
        EXPECT_FALSE(form().previewStale());
        click("btnCancel");
    });
}

TEST_F(TidyPropertiesTest, EveryOtherCloseDropsTheChanges) {
    using Close = std::function<void()>;
    const QList<QPair<const char*, Close>> closes = {
        {"Cancel", [&] { click("btnCancel"); }},
        {"Escape", [&] { QTest::keyClick(&form(), Qt::Key_Escape); }},
        {"close box", [&] { form().close(); }},
        {"Exit", [&] { form().findChild<QAction*>(QStringLiteral("miExit"))->trigger(); }},
    };
    for (const auto& [how, closeWay] : closes) {
        const auto& close = closeWay; // clang 14 cannot capture a structured binding
        const bool ok = showAndAnswer({}, [&] {
            control<QCheckBox>("CBBare")->click();
            control<QLineEdit>("EditAltText")->setText(QStringLiteral("picture"));
            EXPECT_FALSE(CurrentOptionSet().CBBare);
            close();
        });
        EXPECT_FALSE(ok) << how;
        EXPECT_TRUE(CurrentOptionSet().CBBare) << how;
        EXPECT_TRUE(CurrentOptionSet().EditAltText.isEmpty()) << how;
        EXPECT_TRUE(control<QCheckBox>("CBBare")->isChecked()) << how;
        EXPECT_TRUE(control<QLineEdit>("EditAltText")->text().isEmpty()) << how;
    }
}

TEST_F(TidyPropertiesTest, CancelAfterTheDialogWasShownAgainStillDropsTheChanges) {
    // Restored after being minimised, the dialog is shown again while it stays open.
    const bool ok = showAndAnswer(kSample, [&] {
        control<QCheckBox>("CBBare")->click();
        QComboBox* tab = control<QComboBox>("CBTabSize");
        tab->lineEdit()->clear();
        QTest::keyClicks(tab, QStringLiteral("10"));
        QShowEvent shownAgain;
        QApplication::sendEvent(&form(), &shownAgain);
        EXPECT_EQ(tab->currentText(), QStringLiteral("10")) << "typing is kept";
        click("btnCancel");
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(CurrentOptionSet().CBBare);
    EXPECT_EQ(CurrentOptionSet().CBTabSize, (ComboValue{0, QStringLiteral("1")}));
    EXPECT_TRUE(control<QCheckBox>("CBBare")->isChecked());
}

TEST_F(TidyPropertiesTest, OkStoresTheChanges) {
    showAndAnswer({}, [&] {
        control<QCheckBox>("CBIndent")->click();
        control<QComboBox>("CBOutputEncoding")->setCurrentIndex(3);
        click("btnOK");
    });
    EXPECT_TRUE(CurrentOptionSet().CBIndent);
    EXPECT_EQ(CurrentOptionSet().CBOutputEncoding, (ComboValue{3, QStringLiteral("utf8")}));
    const QByteArray stored = ReadAll(settingsPath());
    EXPECT_TRUE(stored.contains("CBIndent.Checked=1"));
    EXPECT_TRUE(stored.contains("CBOutputEncoding.ItemIndex=3"));
    EXPECT_TRUE(stored.contains("CBOutputEncoding.Text=utf8"));
}

TEST_F(TidyPropertiesTest, StoredOptionsAreShownAndTheTidyMarkKeptFromTheFile) {
    WriteAll(settingsPath(), "[FormTidyProperties]\n"
                             "cbTidyMark.Checked=1\n"
                             "CBClean.Checked=0\n"
                             "cbEnableTextWrapping.Checked=1\n"
                             "EditWrapWidth.Text=64\n"
                             "CBAltText.Checked=1\n"
                             "EditAltText.Text=an image\n"
                             "CBTabSize.ItemIndex=3\n"
                             "CBInputEncoding.ItemIndex=6\n"
                             "EditMute.Text=TRIM_EMPTY_ELEMENT\n");
    form();
    EXPECT_EQ(control<QLineEdit>("EditMute")->text(), QStringLiteral("TRIM_EMPTY_ELEMENT"));
    EXPECT_TRUE(CurrentOptionSet().cbTidyMark);
    EXPECT_TRUE(control<QCheckBox>("cbTidyMark")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("CBClean")->isChecked());
    EXPECT_EQ(control<QLineEdit>("EditWrapWidth")->text(), QStringLiteral("64"));
    EXPECT_TRUE(control<QLineEdit>("EditWrapWidth")->isEnabled());
    EXPECT_TRUE(control<QCheckBox>("cbWrapPHP")->isEnabled());
    EXPECT_EQ(control<QLineEdit>("EditAltText")->text(), QStringLiteral("an image"));
    EXPECT_TRUE(control<QLineEdit>("EditAltText")->isEnabled());
    EXPECT_EQ(control<QComboBox>("CBTabSize")->currentText(), QStringLiteral("4"));
    EXPECT_EQ(control<QComboBox>("CBInputEncoding")->currentText(), QStringLiteral("win1252"));
    EXPECT_EQ(control<QComboBox>("CBOutputEncoding")->currentText(), QStringLiteral("raw"));
}

TEST_F(TidyPropertiesTest, DefaultsThenCancelKeepsTheStoredOptions) {
    const QByteArray stored = "[FormTidyProperties]\nCBBare.Checked=0\ncbUppercaseTags.Checked=0\n"
                              "CBInputEncoding.ItemIndex=3\n";
    WriteAll(settingsPath(), stored);
    showAndAnswer({}, [&] {
        click("btnDefaults");
        EXPECT_TRUE(CurrentOptionSet().CBBare);
        EXPECT_TRUE(control<QCheckBox>("cbUppercaseTags")->isChecked());
        EXPECT_EQ(control<QComboBox>("CBInputEncoding")->currentIndex(), 2);
        click("btnCancel");
    });
    EXPECT_EQ(ReadAll(settingsPath()), stored);
    EXPECT_FALSE(CurrentOptionSet().CBBare);
    EXPECT_FALSE(control<QCheckBox>("cbUppercaseTags")->isChecked());
    EXPECT_EQ(control<QComboBox>("CBInputEncoding")->currentIndex(), 3);
}

TEST_F(TidyPropertiesTest, DefaultsThenOkStoresTheDefaults) {
    WriteAll(settingsPath(), "[FormTidyProperties]\nCBBare.Checked=0\nEditWrapWidth.Text=12\n");
    showAndAnswer({}, [&] {
        click("btnDefaults");
        click("btnOK");
    });
    EXPECT_EQ(CurrentOptionSet(), TidyOptionSet{});
    const QByteArray stored = ReadAll(settingsPath());
    EXPECT_TRUE(stored.contains("CBBare.Checked=1"));
    EXPECT_TRUE(stored.contains("EditWrapWidth.Text=80"));
}

TEST_F(TidyPropertiesTest, TheOptionsAreStoredOnceMoreWhenTheDialogGoes) {
    form();
    control<QCheckBox>("CBFixURI")->click(); // not confirmed with OK
    m_form.reset();
    const QByteArray stored = ReadAll(settingsPath());
    // The record went to the file as it stood: the unconfirmed change included, as a program
    // that ends with the dialog open keeps what is on screen.
    EXPECT_EQ(stored.count("="), TidyOptionKeys().size());
}

TEST_F(TidyPropertiesTest, AStoreThatCannotBeWrittenAtExitIsReportedNotThrown) {
    WriteAll(m_dir.filePath(QStringLiteral("plain")), "x");
    SetSettingsFilePath(m_dir.filePath(QStringLiteral("plain/Settings.ini")));
    form();
    EXPECT_NO_THROW(m_form.reset());
    ASSERT_EQ(m_prompts.messages().size(), 1);
    EXPECT_EQ(m_prompts.asked.first().kind, DialogKind::Error);
}

// --- Enabling and input rules ----------------------------------------------------------------

TEST_F(TidyPropertiesTest, WrappingOffDisablesItsControlsKeepsTheirTicksAndDropsThemFromRuns) {
    QCheckBox* wrapping = control<QCheckBox>("cbEnableTextWrapping");
    QLineEdit* width = control<QLineEdit>("EditWrapWidth");
    const QStringList boxes = {"cbWrapJSTE", "cbWrapLiterals", "cbWrapPHP",
                               "cbWrapASP",  "CBWrapSections", "cbWrapAttributes"};
    EXPECT_FALSE(width->isEnabled());
    wrapping->click();
    EXPECT_TRUE(width->isEnabled());
    EXPECT_TRUE(control<QWidget>("UpDownWrapWidth")->isEnabled());
    EXPECT_EQ(width->palette().color(QPalette::Base),
              QApplication::palette(width).color(QPalette::Active, QPalette::Base));
    for (const QString& name : boxes) {
        QCheckBox* box = control<QCheckBox>(name.toLatin1().constData());
        EXPECT_TRUE(box->isEnabled());
        box->click();
    }

    wrapping->click();
    EXPECT_FALSE(width->isEnabled());
    EXPECT_FALSE(control<QWidget>("UpDownWrapWidth")->isEnabled());
    // Grey: the colour of the group it sits in.
    EXPECT_EQ(width->palette().color(QPalette::Disabled, QPalette::Base),
              width->parentWidget()->palette().color(QPalette::Window));
    for (const QString& name : boxes) {
        QCheckBox* box = control<QCheckBox>(name.toLatin1().constData());
        EXPECT_FALSE(box->isEnabled()) << name.toStdString();
        EXPECT_TRUE(box->isChecked()) << name.toStdString();
    }
    EXPECT_TRUE(CurrentOptionSet().cbWrapPHP);

    QByteArray document = kSample;
    QString messages;
    ASSERT_TRUE(RunTidy(document, messages));
    EXPECT_EQ(StepNumber(m_runner.last.options, TidyWrapLen), 0);
    for (TidyOptionId option : {TidyWrapAttVals, TidyWrapAsp, TidyWrapPhp, TidyWrapJste,
                                TidyWrapScriptlets, TidyWrapSection})
        EXPECT_FALSE(StepNumber(m_runner.last.options, option).has_value()) << option;

    wrapping->click();
    ASSERT_TRUE(RunTidy(document, messages));
    EXPECT_EQ(StepNumber(m_runner.last.options, TidyWrapLen), 80);
    EXPECT_EQ(StepNumber(m_runner.last.options, TidyWrapPhp), 1);
}

TEST_F(TidyPropertiesTest, AltTextFieldFollowsItsBox) {
    QLineEdit* alt = control<QLineEdit>("EditAltText");
    EXPECT_FALSE(alt->isEnabled());
    EXPECT_EQ(alt->palette().color(QPalette::Disabled, QPalette::Base),
              alt->parentWidget()->palette().color(QPalette::Window));
    control<QCheckBox>("CBAltText")->click();
    EXPECT_TRUE(alt->isEnabled());
    EXPECT_EQ(alt->palette().color(QPalette::Active, QPalette::Base),
              QApplication::palette(alt).color(QPalette::Active, QPalette::Base));
    QTest::keyClicks(alt, QStringLiteral("A picture"));
    EXPECT_EQ(CurrentOptionSet().EditAltText, QStringLiteral("A picture"));
}

// The mute list reaches the run, where an unknown key is an option error before any parsing.
TEST_F(TidyPropertiesTest, MutedKeysAreTypedAsTheyAreStoredAndReachTheRun) {
    QLineEdit* mute = control<QLineEdit>("EditMute");
    QTest::keyClicks(mute, QStringLiteral("TRIM_EMPTY_ELEMENT, MISSING_DOCTYPE"));
    EXPECT_EQ(CurrentOptionSet().EditMute, QStringLiteral("TRIM_EMPTY_ELEMENT, MISSING_DOCTYPE"));
    QByteArray document = "<p>x";
    QString messages;
    ASSERT_TRUE(RunTidy(document, messages));
    bool found = false;
    for (const TidyOptionStep& step : m_runner.last.options)
        if (step.option == TidyMuteReports) {
            found = true;
            EXPECT_EQ(step.text, "TRIM_EMPTY_ELEMENT,MISSING_DOCTYPE");
        }
    EXPECT_TRUE(found);
    mute->setText(QStringLiteral("NO_SUCH_KEY"));
    document = "<p>x";
    EXPECT_THROW(RunTidy(document, messages), KelvaneError);
    EXPECT_EQ(document, "<p>x");
}

TEST_F(TidyPropertiesTest, WrapWidthTakesDigitsOnlyAndStepsWithItsArrows) {
    control<QCheckBox>("cbEnableTextWrapping")->click();
    QLineEdit* width = control<QLineEdit>("EditWrapWidth");
    EXPECT_EQ(width->text(), QStringLiteral("80"));
    width->clear();
    QTest::keyClicks(width, QStringLiteral("1x2-3 "));
    EXPECT_EQ(width->text(), QStringLiteral("123"));
    EXPECT_EQ(CurrentOptionSet().EditWrapWidth, QStringLiteral("123"));
    QTest::keyClick(width, Qt::Key_Backspace);
    EXPECT_EQ(width->text(), QStringLiteral("12"));

    auto* up =
        control<QWidget>("UpDownWrapWidth")->findChild<QToolButton*>(QStringLiteral("btnUp"));
    auto* down =
        control<QWidget>("UpDownWrapWidth")->findChild<QToolButton*>(QStringLiteral("btnDown"));
    ASSERT_TRUE(up && down);
    up->click();
    EXPECT_EQ(width->text(), QStringLiteral("13"));
    QTest::keyClick(width, Qt::Key_Down);
    EXPECT_EQ(width->text(), QStringLiteral("12"));
    width->setText(QStringLiteral("150")); // typed past the arrows' range
    up->click();
    EXPECT_EQ(width->text(), QStringLiteral("100"));
    width->setText(QStringLiteral("0"));
    down->click();
    EXPECT_EQ(width->text(), QStringLiteral("0"));
    EXPECT_EQ(CurrentOptionSet().EditWrapWidth, QStringLiteral("0"));
}

TEST_F(TidyPropertiesTest, TabSizeIsForcedIntoRangeWhenLeft) {
    QComboBox* tab = control<QComboBox>("CBTabSize");
    auto leave = [&] {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(tab->lineEdit(), &out);
    };
    struct Case {
        const char* typed;
        const char* shown;
        int index;
    };
    for (const Case& c :
         {Case{"15", "12", -1}, Case{"12", "12", -1}, Case{"4", "4", 3}, Case{"0", "1", 0},
          Case{"", "1", 0}, Case{"007", "7", 6}, Case{"99999999999999", "12", -1}}) {
        tab->lineEdit()->clear();
        QTest::keyClicks(tab, QString::fromLatin1(c.typed));
        leave();
        EXPECT_EQ(tab->currentText(), QLatin1String(c.shown)) << c.typed;
        EXPECT_EQ(tab->currentIndex(), c.index) << c.typed;
        EXPECT_EQ(CurrentOptionSet().CBTabSize, (ComboValue{c.index, QLatin1String(c.shown)}))
            << c.typed;
    }

    tab->lineEdit()->clear();
    QTest::keyClicks(tab, QStringLiteral("a3b!"));
    EXPECT_EQ(tab->currentText(), QStringLiteral("3"));
    // Picking from the list is a selection.
    tab->setCurrentIndex(7);
    EXPECT_EQ(CurrentOptionSet().CBTabSize, (ComboValue{7, QStringLiteral("8")}));
}

TEST_F(TidyPropertiesTest, ShowingSelectsTheFirstTabSizeWhenNoneIs) {
    WriteAll(settingsPath(), "[FormTidyProperties]\nCBTabSize.ItemIndex=-1\nCBTabSize.Text=10\n");
    form();
    EXPECT_EQ(CurrentOptionSet().CBTabSize, (ComboValue{-1, QStringLiteral("10")}));
    showAndAnswer({}, [&] {
        EXPECT_EQ(control<QComboBox>("CBTabSize")->currentIndex(), 0);
        EXPECT_EQ(control<QComboBox>("CBTabSize")->currentText(), QStringLiteral("1"));
        click("btnOK");
    });
    EXPECT_EQ(CurrentOptionSet().CBTabSize, (ComboValue{0, QStringLiteral("1")}));
}

TEST_F(TidyPropertiesTest, OkTakesATabSizeStillBeingTyped) {
    showAndAnswer({}, [&] {
        QComboBox* tab = control<QComboBox>("CBTabSize");
        tab->lineEdit()->clear();
        QTest::keyClicks(tab, QStringLiteral("30"));
        form().accept();
    });
    EXPECT_EQ(CurrentOptionSet().CBTabSize, (ComboValue{-1, QStringLiteral("12")}));
    EXPECT_TRUE(ReadAll(settingsPath()).contains("CBTabSize.Text=12"));
}

// --- The After view --------------------------------------------------------------------------

} // namespace
