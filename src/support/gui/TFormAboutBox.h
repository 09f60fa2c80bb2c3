#pragma once
// The About box: the program's name and version and a link to the maker's home page.

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

inline const QString kMakerHomePage = QStringLiteral("https://www.mondavik.example/");

class TFormAboutBox : public QDialog {
    Q_OBJECT
public:
    // Shows an address; answers whether it could be handed over.
    using LinkOpener = std::function<bool(const QString& address)>;

    // Built translated; the link opens with OpenWebAddress unless another opener is set.
    explicit TFormAboutBox(QWidget* parent = nullptr);

    void setLinkOpener(LinkOpener opener) { m_opener = std::move(opener); }

    // The home-page link was clicked.
    void HomePageClick();

    // A modal About box over `parent`.
    static void Execute(QWidget* parent, LinkOpener opener = {});

private:
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Copyright;
    QLabel* Comments;
    QLabel* lblHomePage;
    QPushButton* OKButton;
    LinkOpener m_opener;
};
