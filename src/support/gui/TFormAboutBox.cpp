#include "support/gui/TFormAboutBox.h"

#include "support/ApplicationTitle.h"
#include "support/Translation.h"
#include "support/gui/OpenWebAddress.h"
#include "support/gui/TranslateComponents.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

TFormAboutBox::TFormAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    ProgramIcon->setPixmap(icon.pixmap(48, 48));
    ProgramIcon->setAlignment(Qt::AlignTop);

    ProductName = new QLabel(this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setTextFormat(Qt::PlainText);
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);

    Version = new QLabel(this);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setTextFormat(Qt::PlainText);

    Copyright = new QLabel(QStringLiteral("Copyright (c) Mondavik Software"), this);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->setTextFormat(Qt::PlainText);

    Comments = new QLabel(QStringLiteral("Tidies web pages in bulk with HTML Tidy."), this);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setTextFormat(Qt::PlainText);
    Comments->setWordWrap(true);

    lblHomePage = new QLabel(this);
    lblHomePage->setObjectName(QStringLiteral("lblHomePage"));
    lblHomePage->setTextFormat(Qt::RichText);
    lblHomePage->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                         Qt::LinksAccessibleByKeyboard);
    lblHomePage->setOpenExternalLinks(false);
    connect(lblHomePage, &QLabel::linkActivated, this, [this] { HomePageClick(); });

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    for (QLabel* label : {ProductName, Version, Copyright, Comments, lblHomePage})
        texts->addWidget(label);
    auto* top = new QHBoxLayout;
    top->addWidget(ProgramIcon);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    TranslateComponent(this);
    // Filled after the walk: the title is translated on its own, and the version text is a
    // template whose number must not be part of the lookup.
    ProductName->setText(ApplicationTitle());
    Version->setText(Translate(QStringLiteral("Version %1"), QStringLiteral("TFormAboutBox"))
                         .arg(QStringLiteral(KELVANE_VERSION)));
    const QUrl home(kMakerHomePage);
    lblHomePage->setText(
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(home.toString(QUrl::FullyEncoded).toHtmlEscaped(), home.host().toHtmlEscaped()));
}

void TFormAboutBox::HomePageClick() {
    if (m_opener)
        m_opener(kMakerHomePage);
    else
        OpenWebAddress(kMakerHomePage);
}

void TFormAboutBox::Execute(QWidget* parent, LinkOpener opener) {
    TFormAboutBox box(parent);
    if (opener)
        box.setLinkOpener(std::move(opener));
    box.exec();
}
