#pragma once
// The preferences dialog: the file-type filter, whether the folder question is asked, hidden
// items, the toolbar's images and captions, and whether error pages show message keys. Its
// controls are stored in the settings file (section "FormKelvaneOptions") when it is closed with
// OK and when it is destroyed; a cancelled dialog reads them back, which undoes every edit.

#include "support/DefaultsSnapshot.h"
#include "support/Preferences.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QVBoxLayout;

class TFormKelvaneOptions : public QDialog {
    Q_OBJECT
public:
    // Captures the design values, then loads the stored ones.
    explicit TFormKelvaneOptions(QWidget* parent = nullptr);
    ~TFormKelvaneOptions() override;

    // Shows the dialog modally; true when it was closed with OK (the values are then stored).
    bool Execute();

    QString FileFilter() const;
    bool AskBeforeFolders() const;
    bool ShowHiddenItems() const;
    bool LargeIcons() const;
    bool ShowCaptions() const;
    bool ShowMessageKeys() const;
    void SetAskBeforeFolders(bool ask);
    // The values together, as the main window applies them.
    Preferences CurrentPreferences() const;

    // "Restore Defaults": every control back to its design value; nothing is stored yet.
    void btnDefaultsClick();

private:
    // A titled group with its picture; answers the column its controls go into.
    QVBoxLayout* AddGroup(const char* name, const QString& title, const QIcon& picture);
    void Store();

    QTabWidget* PageControl1;
    QWidget* tsPreferences;
    QLineEdit* EditFileFilter;
    QCheckBox* CBFolders;
    QCheckBox* cbShowHiddenItems;
    QCheckBox* cbLargeIcons;
    QCheckBox* cbShowCaptions;
    QCheckBox* cbShowMessageKeys;
    QPushButton* btnDefaults;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    DefaultsSnapshot m_defaults;
};

// The one preferences dialog of the process, created at start-up; null until then.
TFormKelvaneOptions* FormKelvaneOptions();
