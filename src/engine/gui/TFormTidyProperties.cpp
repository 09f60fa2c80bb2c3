// The tidy options dialog itself: its frame, menu and buttons, how the controls edit the option
// set, opening and closing. The option pages are built in TFormTidyPropertiesPages.cpp, the
// Before and After views and the preview in TFormTidyPropertiesPreview.cpp.

#include "engine/gui/TFormTidyProperties.h"

#include "engine/TidyEngine.h"
#include "engine/gui/NetworkSettingsTool.h"
#include "engine/gui/TUpDown.h"
#include "platform/gui/ShellOpen.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/OpenWebAddress.h"
#include "support/gui/QtPrompts.h"
#include "support/gui/TFormAboutBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace {

TFormTidyProperties* g_formTidyProperties = nullptr;

// A typed tab size: digits only reach the field, so anything else is no number (0). A number
// too long for an integer is simply large.
int TypedTabSize(const QString& text) {
    const QString digits = text.trimmed();
    if (digits.isEmpty() || !std::all_of(digits.cbegin(), digits.cend(),
                                         [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return 0;
    bool ok = false;
    const int value = digits.toInt(&ok);
    return ok ? value : std::numeric_limits<int>::max();
}

} // namespace

TidyPropertiesOpeners TidyPropertiesOpeners::Desktop() {
    TidyPropertiesOpeners openers;
    openers.startProgram = [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    };
    openers.openDocument = [](const QString& path) { return OpenDocument(path); };
    openers.openWith = [](const QString& path) { return OpenWith(path); };
    openers.openWebAddress = [](const QString& address) { return OpenWebAddress(address); };
    openers.networkSettingsCommand = [] { return NetworkSettingsCommand(); };
    return openers;
}

TFormTidyProperties* FormTidyProperties() {
    return g_formTidyProperties;
}

namespace {

// The built-in values are what the storage keeps as defaults: the record starts from them.
TidyOptionSet& BuiltInOptions() {
    TidyOptionSet& options = CurrentOptionSet();
    options = TidyOptionSet{};
    return options;
}

} // namespace

TFormTidyProperties::TFormTidyProperties(QWidget* parent)
    : QDialog(parent), m_storage(BuiltInOptions()), m_openers(TidyPropertiesOpeners::Desktop()) {
    setObjectName(QStringLiteral("FormTidyProperties"));
    setWindowTitle(QStringLiteral("Tidy Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    CreateMenu();

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setMinimumSize(409, 329);
    // Every page's tab in sight: the dialog grows to fit them rather than scrolling them.
    PageControl1->setUsesScrollButtons(false);
    tsHTMLOptions = CreateHtmlOptionsPage();
    tsTextWrap = CreateTextWrapPage();
    tsAccessibility = CreateAccessibilityPage();
    tsFileOptions = CreateFileOptionsPage();
    tsBefore = CreateViewPage(QStringLiteral("tsBefore"), QStringLiteral("MemoBefore"), MemoBefore);
    tsAfter = CreateViewPage(QStringLiteral("tsAfter"), QStringLiteral("MemoAfter"), MemoAfter);
    PageControl1->addTab(tsHTMLOptions, QStringLiteral("HTML Options"));
    PageControl1->addTab(tsTextWrap, QStringLiteral("Text Wrap"));
    PageControl1->addTab(tsAccessibility, QStringLiteral("Accessibility Options"));
    PageControl1->addTab(tsFileOptions, QStringLiteral("File Options"));
    PageControl1->addTab(tsBefore, QStringLiteral("Before"));
    PageControl1->addTab(tsAfter, QStringLiteral("After"));

    btnDefaults = new QPushButton(QStringLiteral("Defaults"), this);
    btnDefaults->setObjectName(QStringLiteral("btnDefaults"));
    btnPreview = new QPushButton(QStringLiteral("Preview"), this);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton* button : {btnDefaults, btnPreview, btnOK, btnCancel})
        button->setAutoDefault(false);
    btnOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDefaults);
    buttons->addWidget(btnPreview);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
    // A fixed border: the window is as large as its content.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ConnectControls();
    OptionsToControls();
    setMenuVisible(false);
    btnPreview->setEnabled(false);
    for (QPushButton* button : std::as_const(m_testButtons))
        button->setEnabled(false);
    PageControl1->setCurrentIndex(0);

    g_formTidyProperties = this;
    QtPrompts::setOptionsDialog([this](const QString& sampleFile, const QString& caption) {
        QByteArray document;
        if (!sampleFile.isEmpty()) {
            try {
                document = ReadFileText(sampleFile);
            } catch (const KelvaneError&) {
                document.clear(); // an unreadable sample is no sample
            }
        }
        if (!caption.isEmpty())
            setCaption(caption);
        return ShowOptionsDialog(document);
    });
}

TFormTidyProperties::~TFormTidyProperties() {
    if (g_formTidyProperties == this) {
        g_formTidyProperties = nullptr;
        QtPrompts::setOptionsDialog({});
    }
    try {
        m_storage.atExit();
    } catch (const KelvaneError& error) {
        ShowError(error.message());
    }
}

void TFormTidyProperties::CreateMenu() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    // The bar belongs to this window even where the desktop offers a global menu.
    MainMenu1->setNativeMenuBar(false);

    miFile = MainMenu1->addMenu(QStringLiteral("&File"));
    miFile->setObjectName(QStringLiteral("miFile"));
    miExit = miFile->addAction(QStringLiteral("E&xit"));
    miExit->setObjectName(QStringLiteral("miExit"));
    connect(miExit, &QAction::triggered, this, &QDialog::reject);

    miEdit = MainMenu1->addMenu(QStringLiteral("Edit"));
    miEdit->setObjectName(QStringLiteral("miEdit"));
    miInternetProperties = miEdit->addAction(QStringLiteral("Internet Properties..."));
    miInternetProperties->setObjectName(QStringLiteral("miInternetProperties"));
    connect(miInternetProperties, &QAction::triggered, this,
            [this] { miInternetPropertiesClick(); });

    miHelp = MainMenu1->addMenu(QStringLiteral("Help"));
    miHelp->setObjectName(QStringLiteral("miHelp"));
    miAbout = miHelp->addAction(QStringLiteral("About..."));
    miAbout->setObjectName(QStringLiteral("miAbout"));
    connect(miAbout, &QAction::triggered, this, [this] { miAboutClick(); });
    miHelp->addSeparator()->setObjectName(QStringLiteral("N1"));
    miMondavikSoftware = miHelp->addAction(QStringLiteral("&Mondavik Software (Online)..."));
    miMondavikSoftware->setObjectName(QStringLiteral("miMondavikSoftware"));
    connect(miMondavikSoftware, &QAction::triggered, this,
            [this] { OpenWebPage(kMakerSoftwarePage); });
    miMondavikServices = miHelp->addAction(QStringLiteral("Mondavik &Services (Online)..."));
    miMondavikServices->setObjectName(QStringLiteral("miMondavikServices"));
    connect(miMondavikServices, &QAction::triggered, this,
            [this] { OpenWebPage(kMakerServicesPage); });
}

void TFormTidyProperties::ConnectControls() {
    for (const CheckBinding& binding : std::as_const(m_checks)) {
        connect(binding.box, &QCheckBox::toggled, this, [this, binding](bool on) {
            if (!m_showingOptions) {
                m_storage.options().*binding.field = on;
                SetPreviewStale();
            }
            if (binding.box == cbEnableTextWrapping || binding.box == CBAltText)
                UpdateEnabling();
        });
    }
    connect(EditWrapWidth, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_showingOptions)
            return;
        m_storage.options().EditWrapWidth = text;
        SetPreviewStale();
    });
    connect(EditAltText, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_showingOptions)
            return;
        m_storage.options().EditAltText = text;
        SetPreviewStale();
    });
    connect(EditMute, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_showingOptions)
            return;
        m_storage.options().EditMute = text;
        SetPreviewStale();
    });
    // The tab size and the encodings change the tidied text as much as any box.
    connect(CBTabSize, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_showingOptions || index < 0)
            return;
        m_storage.options().CBTabSize = {index, kTabSizeItems.value(index)};
        SetPreviewStale();
    });
    connect(CBTabSize, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (m_showingOptions)
            return;
        // A typed number that is in the list counts as that entry; any other as none.
        m_storage.options().CBTabSize = {static_cast<int>(kTabSizeItems.indexOf(text)), text};
        SetPreviewStale();
    });
    for (QComboBox* combo : {CBInputEncoding, CBOutputEncoding}) {
        ComboValue TidyOptionSet::*field = combo == CBInputEncoding
                                               ? &TidyOptionSet::CBInputEncoding
                                               : &TidyOptionSet::CBOutputEncoding;
        connect(combo, &QComboBox::currentIndexChanged, this, [this, field](int index) {
            if (m_showingOptions)
                return;
            m_storage.options().*field = {index, kTidyEncodingNames.value(index)};
            SetPreviewStale();
        });
    }
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { PageControl1Change(index); });
    connect(btnDefaults, &QPushButton::clicked, this, [this] { btnDefaultsClick(); });
    connect(btnPreview, &QPushButton::clicked, this, [this] { btnPreviewClick(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton* button : std::as_const(m_testButtons))
        connect(button, &QPushButton::clicked, this, [this] { btnTestClick(); });
}

void TFormTidyProperties::OptionsToControls() {
    const TidyOptionSet& options = m_storage.options();
    m_showingOptions = true;
    for (const CheckBinding& binding : std::as_const(m_checks))
        binding.box->setChecked(options.*binding.field);
    EditWrapWidth->setText(options.EditWrapWidth);
    EditAltText->setText(options.EditAltText);
    EditMute->setText(options.EditMute);
    const ComboValue& tab = options.CBTabSize;
    CBTabSize->setCurrentIndex(
        tab.itemIndex >= 0 && tab.itemIndex < CBTabSize->count() ? tab.itemIndex : -1);
    if (CBTabSize->currentIndex() < 0)
        CBTabSize->setEditText(tab.text);
    for (QComboBox* combo : {CBInputEncoding, CBOutputEncoding}) {
        const ComboValue& value =
            combo == CBInputEncoding ? options.CBInputEncoding : options.CBOutputEncoding;
        combo->setCurrentIndex(
            value.itemIndex >= 0 && value.itemIndex < combo->count() ? value.itemIndex : -1);
    }
    m_showingOptions = false;
    UpdateEnabling();
}

void TFormTidyProperties::UpdateEnabling() {
    const bool wrapping = cbEnableTextWrapping->isChecked();
    SetTextFieldEnabled(EditWrapWidth, wrapping);
    UpDownWrapWidth->setEnabled(wrapping);
    for (QCheckBox* box :
         {cbWrapJSTE, cbWrapLiterals, cbWrapPHP, cbWrapASP, CBWrapSections, cbWrapAttributes})
        box->setEnabled(wrapping);
    SetTextFieldEnabled(EditAltText, CBAltText->isChecked());
}

void TFormTidyProperties::SetTextFieldEnabled(QLineEdit* field, bool enabled) {
    field->setEnabled(enabled);
    // Enabled: the window (text) background; disabled: the grey of what it sits on.
    const QWidget* parent = field->parentWidget();
    const QColor colour = enabled
                              ? QApplication::palette(field).color(QPalette::Active, QPalette::Base)
                              : (parent ? parent->palette() : QApplication::palette())
                                    .color(QPalette::Active, QPalette::Window);
    QPalette palette = field->palette();
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    field->setPalette(palette);
}

void TFormTidyProperties::setMenuVisible(bool visible) {
    m_menuVisible = visible;
    MainMenu1->setVisible(visible);
}

bool TFormTidyProperties::ShowOptionsDialog(const QByteArray& document) {
    m_hasDocument = !document.isEmpty();
    PageControl1->setCurrentIndex(0);
    PageControl1->setTabVisible(PageControl1->indexOf(tsBefore), m_hasDocument);
    PageControl1->setTabVisible(PageControl1->indexOf(tsAfter), m_hasDocument);
    if (m_hasDocument) {
        SetBeforeText(document);
        m_previewStale = true;
    } else {
        // The Before view keeps what it held; nothing can be previewed.
        m_previewStale = false;
    }
    btnPreview->setEnabled(m_hasDocument);
    for (QPushButton* button : std::as_const(m_testButtons))
        button->setEnabled(m_hasDocument);
    PageControl1->setCurrentIndex(0);
    BeginOpening();

    adjustSize();
    if (QScreen* display = screen())
        move(display->availableGeometry().center() - rect().center());
    return exec() == QDialog::Accepted;
}

void TFormTidyProperties::BeginOpening() {
    // A tab size typed outside the list selects no entry; each opening starts from the first.
    if (m_storage.options().CBTabSize.itemIndex < 0) {
        m_storage.options().CBTabSize = {0, kTabSizeItems.first()};
        OptionsToControls();
    }
    m_optionsAtOpening = m_storage.options();
}

void TFormTidyProperties::showEvent(QShowEvent* event) {
    // Shown again after being minimised, the dialog is still open: the user's edits stay and
    // Cancel still goes back to the values of the opening. Only a dialog shown some other way
    // than ShowOptionsDialog is opened here.
    if (!m_optionsAtOpening)
        BeginOpening();
    QDialog::showEvent(event);
}

void TFormTidyProperties::done(int result) {
    if (result == QDialog::Accepted) {
        CBTabSizeExit();
        try {
            m_storage.acceptOk();
        } catch (const KelvaneError& error) {
            // The options still hold for this session; only keeping them failed.
            ShowError(error.message());
        }
    } else {
        // Keys missing from the file (a fresh installation) would keep the changes: start
        // from the options as they were when the dialog opened.
        if (m_optionsAtOpening)
            m_storage.options() = *m_optionsAtOpening;
        try {
            m_storage.otherClose();
        } catch (const KelvaneError& error) {
            ShowError(error.message());
        }
        OptionsToControls();
    }
    m_optionsAtOpening.reset();
    QDialog::done(result);
}

bool TFormTidyProperties::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CBTabSize->lineEdit() && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        CBTabSizeExit();
    return QDialog::eventFilter(watched, event);
}

void TFormTidyProperties::CBTabSizeExit() {
    const int size = std::clamp(TypedTabSize(CBTabSize->currentText()), 1, 12);
    const QString text = QString::number(size);
    const int index = static_cast<int>(kTabSizeItems.indexOf(text));
    if (m_storage.options().CBTabSize != ComboValue{index, text})
        SetPreviewStale();
    m_storage.options().CBTabSize = {index, text};
    const QSignalBlocker blocker(CBTabSize);
    CBTabSize->setCurrentIndex(index);
    if (index < 0 || CBTabSize->currentText() != text)
        CBTabSize->setEditText(text);
}

void TFormTidyProperties::Guarded(const std::function<void()>& work) {
    RunShowingErrors(work);
}

void TFormTidyProperties::btnDefaultsClick() {
    m_storage.loadDefaults();
    OptionsToControls();
    SetPreviewStale();
    if (m_hasDocument)
        RefreshAfter();
}

void TFormTidyProperties::miInternetPropertiesClick() {
    Guarded([this] {
        StartNetworkSettingsTool(m_openers.networkSettingsCommand,
                                 [this](const QString& program, const QStringList& arguments) {
                                     return StartProgram(program, arguments);
                                 });
    });
}

bool TFormTidyProperties::StartProgram(const QString& program, const QStringList& arguments) {
    return m_openers.startProgram && m_openers.startProgram(program, arguments);
}

void TFormTidyProperties::OpenWebPage(const QString& address) {
    Guarded([this, &address] {
        if (m_openers.openWebAddress)
            m_openers.openWebAddress(address);
    });
}

void TFormTidyProperties::miAboutClick() {
    // The box's link goes wherever this window's web pages go.
    TFormAboutBox::Execute(this, [this](const QString& address) {
        return m_openers.openWebAddress && m_openers.openWebAddress(address);
    });
}