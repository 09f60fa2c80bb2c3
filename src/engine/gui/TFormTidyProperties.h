#pragma once
// The tidy options dialog: edits the process's one option set, and, when it is opened on a
// sample document, shows that document before and after tidying with the options as they
// stand. It is created once at start-up, owns the option set's storage life cycle (loaded when
// built, stored on OK, reloaded on any other close, stored once more when destroyed) and is
// reached through CurrentPrompts().EditTidyOptions or FormTidyProperties().

#include "engine/OptionStorage.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QTabWidget;
class QsciScintilla;
class TUpDown;

// Whatever the dialog starts outside itself; tests replace them so that nothing real opens.
// An empty opener counts as one that failed.
struct TidyPropertiesOpeners {
    // Starts a program with an argument list; true when it started.
    std::function<bool(const QString& program, const QStringList& arguments)> startProgram;
    // The desktop's default application for a file (ShellOpen's OpenDocument).
    std::function<bool(const QString& path)> openDocument;
    // Lets the user pick a program for a file (ShellOpen's OpenWith).
    std::function<bool(const QString& path)> openWith;
    // A page in the browser (OpenWebAddress).
    std::function<bool(const QString& address)> openWebAddress;
    // The desktop's network settings tool: program path and arguments, empty when none.
    std::function<QStringList()> networkSettingsCommand;

    // The real ones.
    static TidyPropertiesOpeners Desktop();
};

// The maker's HTML editor in the local machine's registry.
inline const QString kEditorRegistryKey =
    QStringLiteral("\\Software\\Mondavik\\Updrift\\Components\\Mondavik Scribbet");
inline const QString kEditorPathValue = QStringLiteral("PATH");

// The maker's pages behind the Help menu's "(Online)" entries.
inline const QString kMakerSoftwarePage = QStringLiteral("https://www.mondavik.example/software");
inline const QString kMakerServicesPage = QStringLiteral("https://www.mondavik.example/services");

class TFormTidyProperties : public QDialog {
    Q_OBJECT
public:
    // Loads the stored options over the built-in ones into CurrentOptionSet(), registers itself
    // as the options dialog of QtPrompts and as FormTidyProperties().
    explicit TFormTidyProperties(QWidget* parent = nullptr);
    // Stores the options once more; a failure is shown, never thrown.
    ~TFormTidyProperties() override;

    // Opens the dialog modally, on a sample document (8-bit bytes) or, with an empty one, on
    // none. True when it was closed with OK (the options are then stored); otherwise every
    // change since it opened is dropped.
    bool ShowOptionsDialog(const QByteArray& document = {});

    // The window caption; callers may name the job the dialog is opened for.
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    QString caption() const { return windowTitle(); }

    // The menu bar (File, Edit, Help) shows only where the dialog is the program's only window.
    void setMenuVisible(bool visible);
    bool menuVisible() const { return m_menuVisible; }

    void setOpeners(TidyPropertiesOpeners openers) { m_openers = std::move(openers); }
    const TidyPropertiesOpeners& openers() const { return m_openers; }

    TidyOptionStorage& storage() { return m_storage; }

    // The After view needs to be computed again before it is shown or used.
    bool previewStale() const { return m_previewStale; }
    // Opened on a document (Before and After available).
    bool hasDocument() const { return m_hasDocument; }
    // The bytes the After view shows: the tidied document, or the "cannot be previewed" text.
    const QByteArray& afterText() const { return m_afterText; }

    // Closing with OK stores the options; any other close reloads them.
    void done(int result) override;

    // Event handlers, public so that the program's other windows and tests can drive them.
    void btnDefaultsClick();
    void btnPreviewClick();
    void btnTestClick();
    // Recomputes the After view when it is stale. False when an option error stopped it (the
    // error has been shown).
    bool RefreshAfter();
    // Leaving the tab-size list: its number forced into 1 to 12.
    void CBTabSizeExit();
    void miInternetPropertiesClick();
    void miAboutClick();

    // Writes the After text to the preview file and answers its path; raises the file-creation
    // error when it cannot be written.
    QString WritePreviewFile();
    // The editor's program when the local machine's registry names an existing file; empty
    // otherwise.
    static QString InstalledEditorPath();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct CheckBinding {
        QCheckBox* box;
        bool TidyOptionSet::*field;
    };

    void CreateMenu();
    QWidget* CreateHtmlOptionsPage();
    QWidget* CreateTextWrapPage();
    QWidget* CreateAccessibilityPage();
    QWidget* CreateFileOptionsPage();
    QWidget* CreateViewPage(const QString& pageName, const QString& viewName, QsciScintilla*& view);
    QCheckBox* CreateCheck(const char* name, const QString& caption, const QString& hint,
                           bool TidyOptionSet::*field, QWidget* parent);
    QPushButton* CreateTestButton(const char* name, QWidget* parent);
    void ConnectControls();

    // Once per opening: takes the options that any close but OK goes back to.
    void BeginOpening();
    // Shows the record in the controls (after every load), without counting as a change.
    void OptionsToControls();
    // The enabling rules of the wrapping and ALT text boxes.
    void UpdateEnabling();
    static void SetTextFieldEnabled(QLineEdit* field, bool enabled);
    void SetPreviewStale() { m_previewStale = true; }
    void SetBeforeText(const QByteArray& document);
    void ShowAfterText(const QByteArray& text, bool keepScroll);
    bool OpenPreview(const QString& path);
    bool StartProgram(const QString& program, const QStringList& arguments);
    void OpenWebPage(const QString& address);
    void PageControl1Change(int index);
    // Runs a button's work, showing its error when it fails.
    void Guarded(const std::function<void()>& work);

    // Built first: the option set is loaded before any control shows it.
    TidyOptionStorage m_storage;
    TidyPropertiesOpeners m_openers;

    QMenuBar* MainMenu1 = nullptr;
    QMenu* miFile = nullptr;
    QAction* miExit = nullptr;
    QMenu* miEdit = nullptr;
    QAction* miInternetProperties = nullptr;
    QMenu* miHelp = nullptr;
    QAction* miAbout = nullptr;
    QAction* miMondavikSoftware = nullptr;
    QAction* miMondavikServices = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* tsHTMLOptions = nullptr;
    QWidget* tsTextWrap = nullptr;
    QWidget* tsAccessibility = nullptr;
    QWidget* tsFileOptions = nullptr;
    QWidget* tsBefore = nullptr;
    QWidget* tsAfter = nullptr;

    QCheckBox* cbTidyMark = nullptr;
    QCheckBox* cbUppercaseTags = nullptr;
    QCheckBox* cbUppercaseAttributes = nullptr;
    QCheckBox* CBBreakBeforeBR = nullptr;
    QCheckBox* CBIndent = nullptr;
    QCheckBox* CBDropEmptyParas = nullptr;
    QCheckBox* CBWord2000 = nullptr;
    QCheckBox* CBBare = nullptr;
    QCheckBox* CBClean = nullptr;
    QCheckBox* CBFixURI = nullptr;
    QCheckBox* CBFixBadComments = nullptr;
    QLineEdit* EditWrapWidth = nullptr;
    TUpDown* UpDownWrapWidth = nullptr;
    QLabel* lblWrapWidth = nullptr;
    QCheckBox* cbEnableTextWrapping = nullptr;
    QCheckBox* cbWrapJSTE = nullptr;
    QCheckBox* cbWrapLiterals = nullptr;
    QCheckBox* cbWrapPHP = nullptr;
    QCheckBox* cbWrapASP = nullptr;
    QCheckBox* CBWrapSections = nullptr;
    QCheckBox* cbWrapAttributes = nullptr;
    QCheckBox* CBAltText = nullptr;
    QLineEdit* EditAltText = nullptr;
    QLabel* lblMute = nullptr;
    QLineEdit* EditMute = nullptr;
    QLabel* lblTabSize = nullptr;
    QComboBox* CBTabSize = nullptr;
    QLabel* lblInputEncoding = nullptr;
    QComboBox* CBInputEncoding = nullptr;
    QLabel* lblOutputEncoding = nullptr;
    QComboBox* CBOutputEncoding = nullptr;
    QList<QPushButton*> m_testButtons;

    QsciScintilla* MemoBefore = nullptr;
    QsciScintilla* MemoAfter = nullptr;

    QPushButton* btnDefaults = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    QList<CheckBinding> m_checks;                    // every option check box, in record order
    std::optional<TidyOptionSet> m_optionsAtOpening; // while the dialog is shown
    QByteArray m_beforeText;
    QByteArray m_afterText;
    bool m_hasDocument = false;
    bool m_previewStale = false;
    bool m_menuVisible = false;
    bool m_showingOptions = false; // OptionsToControls is writing the controls
};

// The one options dialog of the process; null until it is built.
TFormTidyProperties* FormTidyProperties();

// The translated text the After view shows when the sample cannot be tidied.
QString CannotPreviewText();
