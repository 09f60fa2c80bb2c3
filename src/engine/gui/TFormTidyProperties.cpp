#include "engine/gui/TFormTidyProperties.h"

#include "engine/TidyEngine.h"
#include "engine/gui/NetworkSettingsTool.h"
#include "engine/gui/PreviewFile.h"
#include "engine/gui/TUpDown.h"
#include "platform/MachineRegistry.h"
#include "platform/gui/ShellOpen.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/OpenWebAddress.h"
#include "support/gui/QtPrompts.h"
#include "support/gui/TFormAboutBox.h"

// QScintilla's headers use Qt's keyword macros, which the project switches off.
#include <QObject>
#define slots Q_SLOTS
#define signals Q_SIGNALS
#include <Qsci/qscilexerhtml.h>
#include <Qsci/qsciscintilla.h>
#undef slots
#undef signals

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QStringDecoder>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace {

TFormTidyProperties* g_formTidyProperties = nullptr;

// Hints of the option controls.
const QString kHintTabSize = QStringLiteral(
    "This option specifies the number of columns that Tidy uses between \r\nsuccessive tab "
    "stops. It is used to map tabs to spaces when reading the \r\ninput. Tidy never outputs "
    "tabs. ");
const QString kHintEncoding = QStringLiteral(
    "This option specifies the character encoding Tidy uses for both the input \r\nand output. "
    "For ascii, Tidy will accept Latin-1 (ISO-8859-1) character values, \r\nbut will use "
    "entities for all characters whose value > 127. For raw, Tidy will \r\noutput values above "
    "127 without translating them into entities. For latin1, \r\ncharacters above 255 will be "
    "written as entities. For utf8, Tidy assumes that \r\nboth input and output is encoded as "
    "UTF-8. You can use iso2022 for files \r\nencoded using the ISO-2022 family of encodings "
    "e.g. ISO-2022-JP. For mac \r\nand win1252, Tidy will accept vendor specific character "
    "values, but will use \r\nentities for all characters whose value > 127. ");

// The fixed-pitch face of the text views, with the system's fixed font where the named face
// (or a face that fontconfig maps to its name) is missing.
QFont ViewFont() {
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(10);
    }
    return font;
}

QsciScintilla* CreateView(const QString& name, QWidget* parent) {
    auto* view = new QsciScintilla(parent);
    view->setObjectName(name);
    view->setUtf8(true);
    auto* lexer = new QsciLexerHTML(view);
    const QFont font = ViewFont();
    lexer->setDefaultFont(font);
    lexer->setFont(font); // every style
    view->setFont(font);
    view->setLexer(lexer);
    for (int margin = 0; margin < 5; ++margin)
        view->setMarginWidth(margin, 0);
    view->setMarginLineNumbers(0, false);
    view->setFolding(QsciScintilla::NoFoldStyle);
    view->setReadOnly(true);
    return view;
}

// Document bytes as text for a view: UTF-8 when they are, else one character per byte, so
// nothing is lost or replaced whatever the page's encoding.
QString ViewText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

void SetViewText(QsciScintilla* view, const QByteArray& bytes) {
    // A read-only Scintilla document refuses every change, also the program's own.
    view->setReadOnly(false);
    view->setText(ViewText(bytes));
    view->setReadOnly(true);
}

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

QString CannotPreviewText() {
    return Translate(QStringLiteral(
        "This document cannot be previewed.\r\nIt may contain too many errors to be tidied."));
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

QCheckBox* TFormTidyProperties::CreateCheck(const char* name, const QString& caption,
                                            const QString& hint, bool TidyOptionSet::*field,
                                            QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setToolTip(hint);
    m_checks.append({box, field});
    return box;
}

QPushButton* TFormTidyProperties::CreateTestButton(const char* name, QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("Test"), parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    m_testButtons.append(button);
    return button;
}

namespace {

// A page's content over a row with its Test button at the right.
void FinishPage(QVBoxLayout* layout, QPushButton* test) {
    layout->addStretch();
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(test);
    layout->addLayout(row);
}

QGroupBox* CreateGroup(const char* name, const QString& caption, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QLatin1String(name));
    return group;
}

} // namespace

QWidget* TFormTidyProperties::CreateHtmlOptionsPage() {
    using S = TidyOptionSet;
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsHTMLOptions"));
    auto* layout = new QVBoxLayout(page);

    // Never shown: the tidy mark can only be switched on in the stored settings.
    cbTidyMark = CreateCheck("cbTidyMark", QStringLiteral("Hidden Option - Include Tidy mark"),
                             QString(), &S::cbTidyMark, page);
    cbTidyMark->setHidden(true);
    cbTidyMark->setEnabled(false);

    QGroupBox* group = CreateGroup("gbHTMLFormatting", QStringLiteral("HTML Formatting"), page);
    auto* boxes = new QVBoxLayout(group);
    cbUppercaseTags = CreateCheck(
        "cbUppercaseTags", QStringLiteral("Uppercase Tags"),
        QStringLiteral("This option specifies if Tidy should output tag names in upper case."),
        &S::cbUppercaseTags, group);
    cbUppercaseAttributes = CreateCheck(
        "cbUppercaseAttributes", QStringLiteral("Uppercase Attributes"),
        QStringLiteral(
            "This option specifies if Tidy should output attribute names in upper case."),
        &S::cbUppercaseAttributes, group);
    CBBreakBeforeBR = CreateCheck(
        "CBBreakBeforeBR", QStringLiteral("Break before <BR>"),
        QStringLiteral("This option specifies if Tidy should output a line break before each "
                       "<BR> element. "),
        &S::CBBreakBeforeBR, group);
    CBIndent = CreateCheck(
        "CBIndent", QStringLiteral("Indent Tags"),
        QStringLiteral(
            "This option specifies if Tidy should indent block-level tags. \r\nIf set to "
            "\"auto\", this option causes Tidy to decide whether or not to indent \r\nthe "
            "content of tags such as TITLE, H1-H6, LI, TD, TD, or P depending \r\non whether or "
            "not the content includes a block-level element. \r\nYou are advised to avoid "
            "setting indent to yes as this can expose \r\nlayout bugs in some browsers. "),
        &S::CBIndent, group);
    CBDropEmptyParas = CreateCheck(
        "CBDropEmptyParas", QStringLiteral("Remove empty paragraphs"),
        QStringLiteral("This option specifies if Tidy should discard empty paragraphs. If set to "
                       "no, empty paragraphs are replaced by a pair of <BR> elements as HTML4 "
                       "precludes empty paragraphs. "),
        &S::CBDropEmptyParas, group);
    CBWord2000 = CreateCheck(
        "CBWord2000", QStringLiteral("Strip MS Word 2000 tags"),
        QStringLiteral("This option specifies if Tidy should go to great pains to strip out all "
                       "the surplus \r\nstuff Microsoft Word 2000 inserts when you save Word "
                       "documents as \r\n\"Web pages\". Doesn't handle embedded images or VML."),
        &S::CBWord2000, group);
    CBBare = CreateCheck(
        "CBBare", QStringLiteral("Strip vendor-specific HTML"),
        QStringLiteral("This option specifies if Tidy should strip Microsoft specific HTML from "
                       "\r\nWord 2000 documents, and output spaces rather than non-breaking "
                       "\r\nspaces where they exist in the input."),
        &S::CBBare, group);
    CBFixBadComments = CreateCheck(
        "CBFixBadComments", QStringLiteral("Fix Bad Comments"),
        QStringLiteral("This option specifies if Tidy should replace unexpected hyphens with "
                       "\"=\" characters when it comes across adjacent hyphens. The default is "
                       "yes. This option is provided for users of Cold Fusion which uses the "
                       "comment syntax: <!--- --->"),
        &S::CBFixBadComments, group);
    CBFixURI = CreateCheck(
        "CBFixURI", QStringLiteral("Fix URLs"),
        QStringLiteral("This option specifies if Tidy should check attribute values that carry "
                       "URIs for illegal characters and if such are found, escape them as HTML "
                       "4 recommends. "),
        &S::CBFixURI, group);
    CBClean = CreateCheck(
        "CBClean", QStringLiteral("Replace fonts with styles"),
        QStringLiteral("This option specifies if Tidy should strip out surplus presentational "
                       "tags and \r\nattributes replacing them by style rules and structural "
                       "markup as appropriate. \r\nIt works well on the HTML saved by Microsoft "
                       "Office products."),
        &S::CBClean, group);
    for (QCheckBox* box :
         {cbUppercaseTags, cbUppercaseAttributes, CBBreakBeforeBR, CBIndent, CBDropEmptyParas,
          CBWord2000, CBBare, CBFixBadComments, CBFixURI, CBClean})
        boxes->addWidget(box);
    layout->addWidget(group);
    layout->addWidget(cbTidyMark);
    FinishPage(layout, CreateTestButton("btnTest1", page));
    return page;
}

QWidget* TFormTidyProperties::CreateTextWrapPage() {
    using S = TidyOptionSet;
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsTextWrap"));
    auto* layout = new QVBoxLayout(page);

    QGroupBox* wrapping = CreateGroup("gbTextWrapping", QStringLiteral("Text Wrapping"), page);
    auto* wrappingLayout = new QVBoxLayout(wrapping);
    cbEnableTextWrapping = CreateCheck(
        "cbEnableTextWrapping", QStringLiteral("Enable Text Wrapping"),
        QStringLiteral("This option specifies if tidy should wrap the HTML it generates."),
        &S::cbEnableTextWrapping, wrapping);
    wrappingLayout->addWidget(cbEnableTextWrapping);
    lblWrapWidth = new QLabel(QStringLiteral("Wrap Width"), wrapping);
    lblWrapWidth->setObjectName(QStringLiteral("lblWrapWidth"));
    EditWrapWidth = new QLineEdit(wrapping);
    EditWrapWidth->setObjectName(QStringLiteral("EditWrapWidth"));
    EditWrapWidth->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*")), EditWrapWidth));
    EditWrapWidth->setFixedWidth(56);
    lblWrapWidth->setBuddy(EditWrapWidth);
    UpDownWrapWidth = new TUpDown(EditWrapWidth, 0, 100, 80, wrapping);
    UpDownWrapWidth->setObjectName(QStringLiteral("UpDownWrapWidth"));
    UpDownWrapWidth->setFixedHeight(EditWrapWidth->sizeHint().height());
    auto* widthRow = new QHBoxLayout;
    widthRow->addWidget(lblWrapWidth);
    widthRow->addWidget(EditWrapWidth);
    widthRow->addWidget(UpDownWrapWidth);
    widthRow->addStretch();
    wrappingLayout->addLayout(widthRow);
    layout->addWidget(wrapping);

    QGroupBox* options =
        CreateGroup("gbTextWrapOptions", QStringLiteral("Text Wrap Options"), page);
    auto* optionsLayout = new QVBoxLayout(options);
    cbWrapJSTE = CreateCheck(
        "cbWrapJSTE", QStringLiteral("Wrap JSTE Scripts"),
        QStringLiteral("This option specifies if Tidy should line wrap text contained within "
                       "JSTE pseudo elements, which look like: <# ... #>. "),
        &S::cbWrapJSTE, options);
    cbWrapLiterals = CreateCheck(
        "cbWrapLiterals", QStringLiteral("Wrap SCRIPT string literals"),
        QStringLiteral("This option specifies if Tidy should line wrap string literals that "
                       "appear in script attributes. Tidy wraps long script string literals by "
                       "inserting a backslash character before the line break."),
        &S::cbWrapLiterals, options);
    cbWrapPHP = CreateCheck(
        "cbWrapPHP", QStringLiteral("Wrap PHP Scripts"),
        QStringLiteral("This option specifies if Tidy should line wrap text contained within "
                       "PHP pseudo elements, which look like: <?php ... ?>."),
        &S::cbWrapPHP, options);
    cbWrapASP = CreateCheck(
        "cbWrapASP", QStringLiteral("Wrap ASP Scripts"),
        QStringLiteral("This option specifies if Tidy should line wrap text contained within "
                       "ASP pseudo elements, which look like: <% ... %>. "),
        &S::cbWrapASP, options);
    CBWrapSections = CreateCheck(
        "CBWrapSections", QStringLiteral("Wrap HTML Sections"),
        QStringLiteral("This option specifies if Tidy should line wrap text contained within "
                       "<![ ... ]> section tags."),
        &S::CBWrapSections, options);
    cbWrapAttributes = CreateCheck(
        "cbWrapAttributes", QStringLiteral("Wrap HTML Attributes"),
        QStringLiteral("This option specifies if Tidy should line wrap attribute values, for "
                       "easier editing. This option can be set independently of "
                       "wrap-script-literals."),
        &S::cbWrapAttributes, options);
    for (QCheckBox* box :
         {cbWrapJSTE, cbWrapLiterals, cbWrapPHP, cbWrapASP, CBWrapSections, cbWrapAttributes})
        optionsLayout->addWidget(box);
    layout->addWidget(options);
    FinishPage(layout, CreateTestButton("btnTest2", page));
    return page;
}

QWidget* TFormTidyProperties::CreateAccessibilityPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsAccessibility"));
    auto* layout = new QVBoxLayout(page);
    QGroupBox* group = CreateGroup("gbImageAltText", QStringLiteral("Image ALT Text"), page);
    auto* groupLayout = new QVBoxLayout(group);
    CBAltText = CreateCheck("CBAltText", QStringLiteral("Automatically provide image ALT text"),
                            QString(), &TidyOptionSet::CBAltText, group);
    EditAltText = new QLineEdit(group);
    EditAltText->setObjectName(QStringLiteral("EditAltText"));
    groupLayout->addWidget(CBAltText);
    groupLayout->addWidget(EditAltText);
    layout->addWidget(group);
    FinishPage(layout, CreateTestButton("btnTest3", page));
    return page;
}

QWidget* TFormTidyProperties::CreateFileOptionsPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsFileOptions"));
    auto* layout = new QVBoxLayout(page);

    QGroupBox* input =
        CreateGroup("gbInputFileOptions", QStringLiteral("Input File Options"), page);
    auto* inputLayout = new QGridLayout(input);
    lblTabSize = new QLabel(QStringLiteral("Tab Size:"), input);
    lblTabSize->setObjectName(QStringLiteral("lblTabSize"));
    lblTabSize->setToolTip(kHintTabSize);
    CBTabSize = new QComboBox(input);
    CBTabSize->setObjectName(QStringLiteral("CBTabSize"));
    CBTabSize->setEditable(true);
    CBTabSize->setInsertPolicy(QComboBox::NoInsert);
    CBTabSize->setCompleter(nullptr); // the text stays as typed
    CBTabSize->addItems(kTabSizeItems);
    CBTabSize->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), CBTabSize));
    CBTabSize->setToolTip(kHintTabSize);
    CBTabSize->lineEdit()->installEventFilter(this);
    lblTabSize->setBuddy(CBTabSize);
    lblInputEncoding = new QLabel(QStringLiteral("Char Encoding:"), input);
    lblInputEncoding->setObjectName(QStringLiteral("lblInputEncoding"));
    lblInputEncoding->setToolTip(kHintEncoding);
    CBInputEncoding = new QComboBox(input);
    CBInputEncoding->setObjectName(QStringLiteral("CBInputEncoding"));
    CBInputEncoding->addItems(kTidyEncodingNames);
    CBInputEncoding->setToolTip(kHintEncoding);
    lblInputEncoding->setBuddy(CBInputEncoding);
    inputLayout->addWidget(lblTabSize, 0, 0);
    inputLayout->addWidget(CBTabSize, 0, 1);
    inputLayout->addWidget(lblInputEncoding, 1, 0);
    inputLayout->addWidget(CBInputEncoding, 1, 1);
    inputLayout->setColumnStretch(2, 1);
    layout->addWidget(input);

    QGroupBox* output =
        CreateGroup("gbOutputFileOptions", QStringLiteral("Output File Options"), page);
    auto* outputLayout = new QGridLayout(output);
    lblOutputEncoding = new QLabel(QStringLiteral("Char Encoding:"), output);
    lblOutputEncoding->setObjectName(QStringLiteral("lblOutputEncoding"));
    lblOutputEncoding->setToolTip(kHintEncoding);
    CBOutputEncoding = new QComboBox(output);
    CBOutputEncoding->setObjectName(QStringLiteral("CBOutputEncoding"));
    CBOutputEncoding->addItems(kTidyEncodingNames);
    CBOutputEncoding->setToolTip(kHintEncoding);
    lblOutputEncoding->setBuddy(CBOutputEncoding);
    outputLayout->addWidget(lblOutputEncoding, 0, 0);
    outputLayout->addWidget(CBOutputEncoding, 0, 1);
    outputLayout->setColumnStretch(2, 1);
    layout->addWidget(output);

    FinishPage(layout, CreateTestButton("btnTest4", page));
    return page;
}

QWidget* TFormTidyProperties::CreateViewPage(const QString& pageName, const QString& viewName,
                                             QsciScintilla*& view) {
    auto* page = new QWidget(this);
    page->setObjectName(pageName);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    view = CreateView(viewName, page);
    layout->addWidget(view);
    return page;
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
    // The tab size and the encodings do not make the preview stale.
    connect(CBTabSize, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_showingOptions && index >= 0)
            m_storage.options().CBTabSize = {index, kTabSizeItems.value(index)};
    });
    connect(CBTabSize, &QComboBox::editTextChanged, this, [this](const QString& text) {
        // A typed number that is in the list counts as that entry; any other as none.
        if (!m_showingOptions)
            m_storage.options().CBTabSize = {static_cast<int>(kTabSizeItems.indexOf(text)), text};
    });
    for (QComboBox* combo : {CBInputEncoding, CBOutputEncoding}) {
        ComboValue TidyOptionSet::*field = combo == CBInputEncoding
                                               ? &TidyOptionSet::CBInputEncoding
                                               : &TidyOptionSet::CBOutputEncoding;
        connect(combo, &QComboBox::currentIndexChanged, this, [this, field](int index) {
            if (!m_showingOptions)
                m_storage.options().*field = {index, kTidyEncodingNames.value(index)};
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
        m_beforeText = document;
        SetViewText(MemoBefore, m_beforeText);
        m_previewStale = true;
    } else {
        // The Before view keeps what it held; nothing can be previewed.
        m_previewStale = false;
    }
    btnPreview->setEnabled(m_hasDocument);
    for (QPushButton* button : std::as_const(m_testButtons))
        button->setEnabled(m_hasDocument);
    PageControl1->setCurrentIndex(0);

    adjustSize();
    if (QScreen* display = screen())
        move(display->availableGeometry().center() - rect().center());
    return exec() == QDialog::Accepted;
}

void TFormTidyProperties::showEvent(QShowEvent* event) {
    // A tab size typed outside the list selects no entry; each showing starts from the first.
    if (m_storage.options().CBTabSize.itemIndex < 0) {
        m_storage.options().CBTabSize = {0, kTabSizeItems.first()};
        OptionsToControls();
    }
    m_optionsAtOpening = m_storage.options();
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
    m_storage.options().CBTabSize = {index, text};
    const QSignalBlocker blocker(CBTabSize);
    CBTabSize->setCurrentIndex(index);
    if (index < 0 || CBTabSize->currentText() != text)
        CBTabSize->setEditText(text);
}

void TFormTidyProperties::PageControl1Change(int index) {
    if (PageControl1->widget(index) == tsAfter && m_hasDocument)
        RefreshAfter();
}

bool TFormTidyProperties::RefreshAfter() {
    if (!m_previewStale)
        return true;
    QByteArray tidied = m_beforeText;
    QString messages;
    bool succeeded = false;
    try {
        succeeded = RunTidy(tidied, messages);
    } catch (const SilentAbort&) {
        return false;
    } catch (const KelvaneError& error) {
        ShowError(error.message());
        return false;
    }
    if (succeeded && !tidied.isEmpty()) {
        ShowAfterText(tidied, true);
        m_previewStale = false;
    } else {
        ShowAfterText(CannotPreviewText().toUtf8(), false);
    }
    return true;
}

void TFormTidyProperties::ShowAfterText(const QByteArray& text, bool keepScroll) {
    const int firstLine = MemoAfter->firstVisibleLine();
    m_afterText = text;
    SetViewText(MemoAfter, m_afterText);
    if (keepScroll)
        MemoAfter->setFirstVisibleLine(firstLine);
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

QString TFormTidyProperties::WritePreviewFile() {
    const QString path = PreviewFilePath();
    WriteFileText(path, m_afterText);
    return path;
}

QString TFormTidyProperties::InstalledEditorPath() {
    const std::optional<QString> path = MachineRegistryString(kEditorRegistryKey, kEditorPathValue);
    if (!path || path->trimmed().isEmpty() || !QFileInfo(path->trimmed()).isFile())
        return {};
    return path->trimmed();
}

bool TFormTidyProperties::OpenPreview(const QString& path) {
    // Each program gets the file and the switches as separate arguments: no quoting needed.
    const QString editor = InstalledEditorPath();
    if (!editor.isEmpty() &&
        StartProgram(editor, {path, QStringLiteral("-NoSplash"), QStringLiteral("-X")}))
        return true;
    if (m_openers.openDocument && m_openers.openDocument(path))
        return true;
    return m_openers.openWith && m_openers.openWith(path);
}

void TFormTidyProperties::btnPreviewClick() {
    Guarded([this] {
        if (!m_hasDocument || !RefreshAfter())
            return;
        OpenPreview(WritePreviewFile());
    });
}

void TFormTidyProperties::btnTestClick() {
    Guarded([this] {
        if (!m_hasDocument || !RefreshAfter())
            return;
        const QString path = WritePreviewFile();
        if (m_openers.openDocument)
            m_openers.openDocument(path);
    });
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
