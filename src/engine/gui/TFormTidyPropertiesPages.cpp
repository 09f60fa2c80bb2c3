// The four option pages of the tidy options dialog: their controls, captions and hints.

#include "engine/gui/TFormTidyProperties.h"
#include "engine/gui/TUpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

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

} // namespace

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

    QGroupBox* messages = CreateGroup("gbMessages", QStringLiteral("Messages"), page);
    auto* messagesLayout = new QVBoxLayout(messages);
    lblMute = new QLabel(QStringLiteral("Do not report these HTML Tidy message keys:"), messages);
    lblMute->setObjectName(QStringLiteral("lblMute"));
    EditMute = new QLineEdit(messages);
    EditMute->setObjectName(QStringLiteral("EditMute"));
    EditMute->setToolTip(QStringLiteral("Keys such as TRIM_EMPTY_ELEMENT, separated by commas. "
                                        "Muted messages are shown nowhere, but still count."));
    lblMute->setBuddy(EditMute);
    messagesLayout->addWidget(lblMute);
    messagesLayout->addWidget(EditMute);
    layout->addWidget(messages);

    FinishPage(layout, CreateTestButton("btnTest4", page));
    return page;
}
