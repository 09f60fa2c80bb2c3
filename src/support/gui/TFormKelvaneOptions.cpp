#include "support/gui/TFormKelvaneOptions.h"

#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/SettingsFile.h"
#include "support/gui/FormSettings.h"
#include "support/gui/IconSizes.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

TFormKelvaneOptions* g_formKelvaneOptions = nullptr;

QCheckBox* NamedCheck(const char* name, const QString& caption, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(true);
    return box;
}

} // namespace

TFormKelvaneOptions* FormKelvaneOptions() {
    return g_formKelvaneOptions;
}

TFormKelvaneOptions::TFormKelvaneOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormKelvaneOptions"));
    setWindowTitle(QStringLiteral("Kelvane Preferences"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    tsPreferences = new QWidget(PageControl1);
    tsPreferences->setObjectName(QStringLiteral("tsPreferences"));
    PageControl1->addTab(tsPreferences, QStringLiteral("Preferences"));
    auto* page = new QVBoxLayout(tsPreferences);

    QStyle* style = QApplication::style();
    QVBoxLayout* column = AddGroup("gbFileFilter", QStringLiteral("File Types Filter"),
                                   style->standardIcon(QStyle::SP_FileDialogContentsView));
    EditFileFilter = new QLineEdit(kDefaultFileFilter, column->parentWidget());
    EditFileFilter->setObjectName(QStringLiteral("EditFileFilter"));
    column->addWidget(EditFileFilter);

    column = AddGroup("gbFilesFolders", QStringLiteral("Files && Folders"),
                      style->standardIcon(QStyle::SP_DirIcon));
    CBFolders = NamedCheck("CBFolders", QStringLiteral("Ask before processing folders"),
                           column->parentWidget());
    cbShowHiddenItems =
        NamedCheck("cbShowHiddenItems", QStringLiteral("Show Hidden Files and Folders"),
                   column->parentWidget());
    column->addWidget(CBFolders);
    column->addWidget(cbShowHiddenItems);

    column = AddGroup("gbToolbars", QStringLiteral("Toolbars"),
                      style->standardIcon(QStyle::SP_DesktopIcon));
    cbLargeIcons =
        NamedCheck("cbLargeIcons", QStringLiteral("Large Icons"), column->parentWidget());
    cbShowCaptions =
        NamedCheck("cbShowCaptions", QStringLiteral("Show Captions"), column->parentWidget());
    column->addWidget(cbLargeIcons);
    column->addWidget(cbShowCaptions);

    column = AddGroup("gbErrorPages", QStringLiteral("Error Pages"),
                      style->standardIcon(QStyle::SP_MessageBoxWarning));
    // Off by design: the pages read as they always have until the user asks for the keys.
    cbShowMessageKeys =
        NamedCheck("cbShowMessageKeys", QStringLiteral("Show HTML Tidy's message keys"),
                   column->parentWidget());
    cbShowMessageKeys->setChecked(false);
    column->addWidget(cbShowMessageKeys);
    page->addStretch();

    btnDefaults = new QPushButton(QStringLiteral("Restore Defaults"), this);
    btnDefaults->setObjectName(QStringLiteral("btnDefaults"));
    btnDefaults->setAutoDefault(false);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    connect(btnDefaults, &QPushButton::clicked, this, &TFormKelvaneOptions::btnDefaultsClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDefaults);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SaveFormControls(this, m_defaults);
    LoadFormControls(this, SettingsFile());
    if (g_formKelvaneOptions == nullptr)
        g_formKelvaneOptions = this;
}

TFormKelvaneOptions::~TFormKelvaneOptions() {
    if (g_formKelvaneOptions == this)
        g_formKelvaneOptions = nullptr;
    try {
        SaveFormControls(this, SettingsFile());
    } catch (const KelvaneError& error) {
        ShowError(error.message());
    }
}

QVBoxLayout* TFormKelvaneOptions::AddGroup(const char* name, const QString& title,
                                           const QIcon& picture) {
    auto* group = new QGroupBox(title, tsPreferences);
    group->setObjectName(QLatin1String(name));
    auto* row = new QHBoxLayout(group);
    auto* image = new QLabel(group);
    image->setObjectName(QLatin1String(name) + QStringLiteral("Image"));
    image->setPixmap(WithSizes(picture, {32}).pixmap(32, 32));
    image->setFixedSize(32, 32);
    row->addWidget(image, 0, Qt::AlignTop);
    auto* controls = new QWidget(group);
    auto* column = new QVBoxLayout(controls);
    column->setContentsMargins(0, 0, 0, 0);
    row->addWidget(controls, 1);
    static_cast<QVBoxLayout*>(tsPreferences->layout())->addWidget(group);
    return column;
}

bool TFormKelvaneOptions::Execute() {
    // What the dialog showed when it opened comes back on Cancel, also for a value that was
    // never stored (whose stored default would be the edited value itself).
    DefaultsSnapshot opened;
    SaveFormControls(this, opened);
    if (exec() == QDialog::Accepted) {
        Store();
        return true;
    }
    LoadFormControls(this, opened);
    return false;
}

void TFormKelvaneOptions::Store() {
    // The values take effect even when they cannot be kept for the next start.
    try {
        SaveFormControls(this, SettingsFile());
    } catch (const KelvaneError& error) {
        ShowError(error.message());
    }
}

QString TFormKelvaneOptions::FileFilter() const {
    return EditFileFilter->text();
}
bool TFormKelvaneOptions::AskBeforeFolders() const {
    return CBFolders->isChecked();
}
bool TFormKelvaneOptions::ShowHiddenItems() const {
    return cbShowHiddenItems->isChecked();
}
bool TFormKelvaneOptions::LargeIcons() const {
    return cbLargeIcons->isChecked();
}
bool TFormKelvaneOptions::ShowCaptions() const {
    return cbShowCaptions->isChecked();
}
bool TFormKelvaneOptions::ShowMessageKeys() const {
    return cbShowMessageKeys->isChecked();
}
void TFormKelvaneOptions::SetAskBeforeFolders(bool ask) {
    CBFolders->setChecked(ask);
}

Preferences TFormKelvaneOptions::CurrentPreferences() const {
    Preferences preferences;
    preferences.fileFilter = FileFilter();
    preferences.askBeforeFolders = AskBeforeFolders();
    preferences.showHiddenItems = ShowHiddenItems();
    preferences.largeIcons = LargeIcons();
    preferences.showCaptions = ShowCaptions();
    preferences.showMessageKeys = ShowMessageKeys();
    return preferences;
}

void TFormKelvaneOptions::btnDefaultsClick() {
    LoadFormControls(this, m_defaults);
}
