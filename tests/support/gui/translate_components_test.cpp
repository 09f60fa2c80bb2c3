#include "common/TestSupport.h"
#include "support/Translation.h"
#include "support/ApplicationTitle.h"
#include "support/gui/TranslateComponents.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

// Window classes are named like the program's own, so their class name is their section.
class TFormSample : public QMainWindow {
    Q_OBJECT
public:
    TFormSample() {
        setWindowTitle(QStringLiteral("Sample"));
        auto* central = new QWidget(this);
        auto* layout = new QVBoxLayout(central);
        label = new QLabel(QStringLiteral("Folder:"), central);
        label->setToolTip(QStringLiteral("Where the files are"));
        button = new QPushButton(QStringLiteral("&Tidy"), central);
        combo = new QComboBox(central);
        combo->addItems({QStringLiteral("None"), QStringLiteral("Auto"), QStringLiteral("Yes")});
        combo->setItemData(1, QStringLiteral("Indent when needed"), Qt::ToolTipRole);
        combo->setCurrentIndex(1);
        group = new QGroupBox(QStringLiteral("Layout"), central);
        edit = new QLineEdit(QStringLiteral("Untitled"), group);
        edit->setPlaceholderText(QStringLiteral("Name"));
        tabs = new QTabWidget(central);
        tabs->addTab(new QWidget, QStringLiteral("Before"));
        tabs->addTab(new QWidget, QStringLiteral("After"));
        tabs->setTabToolTip(1, QStringLiteral("Tidied text"));
        tree = new QTreeWidget(central);
        tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size")});
        for (QWidget* w : std::initializer_list<QWidget*>{label, button, combo, group, tabs, tree})
            layout->addWidget(w);
        setCentralWidget(central);

        actTidy = new QAction(QStringLiteral("&Tidy"), this);
        actTidy->setToolTip(QStringLiteral("Tidy the selected files"));
        actTidy->setStatusTip(QStringLiteral("Tidies files"));
        actOpen = new QAction(QStringLiteral("&Open..."), this); // tool tip follows the caption
        menu = menuBar()->addMenu(QStringLiteral("&File"));
        menu->addAction(actTidy);
        menu->addAction(actOpen);
        subMenu = menu->addMenu(QStringLiteral("Recent"));
        recentItem = subMenu->addAction(QStringLiteral("Clear list"));
        toolBar = addToolBar(QStringLiteral("Standard"));
        toolBar->addAction(actTidy);
    }

    QLabel* label;
    QPushButton* button;
    QComboBox* combo;
    QGroupBox* group;
    QLineEdit* edit;
    QTabWidget* tabs;
    QTreeWidget* tree;
    QAction* actTidy;
    QAction* actOpen;
    QMenu* menu;
    QMenu* subMenu;
    QAction* recentItem;
    QToolBar* toolBar;
};

namespace Kelvane {
class TFormSpaced : public QDialog {
    Q_OBJECT
};
} // namespace Kelvane

namespace {

class TranslateComponentsTest : public ::testing::Test {
protected:
    void TearDown() override { ClearTranslations(); }

    void Load(const QByteArray& content) {
        ASSERT_TRUE(dir.isValid());
        LoadLanguageText(dir.path(), content);
    }

    QTemporaryDir dir;
};

const QByteArray kSampleLanguage = "<//TFormSample-sample window\n"
                                   "E=Sample\nT=Beispiel\n"
                                   "E=Folder:\nT=Ordner:\n"
                                   "E=Where the files are\nT=Wo die Dateien liegen\n"
                                   "E=&Tidy\nT=&Aufräumen\n"
                                   "E=None\nT=Keine\n"
                                   "E=Auto\nT=Automatisch\n"
                                   "E=Indent when needed\nT=Einrücken bei Bedarf\n"
                                   "E=Layout\nT=Gestaltung\n"
                                   "E=Untitled\nT=Unbenannt\n"
                                   "E=Name\nT=Bezeichnung\n"
                                   "E=Before\nT=Vorher\n"
                                   "E=After\nT=Nachher\n"
                                   "E=Tidied text\nT=Aufgeräumter Text\n"
                                   "E=Size\nT=Größe\n"
                                   "E=Tidy the selected files\nT=Gewählte aufräumen\n"
                                   "E=Tidies files\nT=Räumt auf\n"
                                   "E=&Open...\nT=Ö&ffnen...\n"
                                   "E=&File\nT=&Datei\n"
                                   "E=Recent\nT=Zuletzt\n"
                                   "E=Clear list\nT=Liste leeren\n"
                                   "E=Standard\nT=Werkzeuge\n"
                                   // A translation of a translation must not be applied.
                                   "E=Keine\nT=WRONG\n"
                                   "E=Ordner:\nT=WRONG\n"
                                   "E=Beispiel\nT=WRONG\n"
                                   "E=&Aufräumen\nT=WRONG\n"
                                   "E=&Datei\nT=WRONG\n"
                                   "E=Werkzeuge\nT=WRONG\n"
                                   "E=Vorher\nT=WRONG\n"
                                   "<//STRING_TABLE-\nE=Yes\nT=Ja\n";

QString U(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

TEST(SectionFor, WindowsOwnersAndMessageBoxes) {
    EXPECT_EQ(SectionFor(nullptr), QStringLiteral("Application"));
    EXPECT_EQ(SectionFor(qApp), QStringLiteral("Application"));
    QObject loose;
    EXPECT_EQ(SectionFor(&loose), QStringLiteral("Application"));

    TFormSample form;
    EXPECT_EQ(SectionFor(&form), QStringLiteral("TFormSample"));
    EXPECT_EQ(SectionFor(form.edit), QStringLiteral("TFormSample"));
    EXPECT_EQ(SectionFor(form.actTidy), QStringLiteral("TFormSample"));
    EXPECT_EQ(SectionFor(form.recentItem), QStringLiteral("TFormSample")); // menus are popups
    EXPECT_EQ(SectionFor(form.toolBar), QStringLiteral("TFormSample"));

    Kelvane::TFormSpaced spaced;
    EXPECT_EQ(SectionFor(&spaced), QStringLiteral("TFormSpaced"));

    // A dialog owned by a window is a window of its own.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("Go?"),
                    QMessageBox::Yes | QMessageBox::No, &form);
    EXPECT_EQ(SectionFor(&box), QStringLiteral("TMessageForm"));
    EXPECT_EQ(SectionFor(box.button(QMessageBox::Yes)), QStringLiteral("TMessageForm"));
}

TEST_F(TranslateComponentsTest, TranslatesEveryKindOfTextOnce) {
    Load(kSampleLanguage);
    TFormSample form;
    QSignalSpy comboChanges(form.combo, &QComboBox::currentIndexChanged);
    TranslateComponent(&form);

    EXPECT_EQ(form.windowTitle(), U("Beispiel"));
    EXPECT_EQ(form.label->text(), U("Ordner:"));
    EXPECT_EQ(form.label->toolTip(), U("Wo die Dateien liegen"));
    EXPECT_EQ(form.button->text(), U("&Aufräumen"));
    EXPECT_EQ(form.group->title(), U("Gestaltung"));
    EXPECT_EQ(form.edit->text(), U("Unbenannt"));
    EXPECT_EQ(form.edit->placeholderText(), U("Bezeichnung"));

    EXPECT_EQ(form.combo->itemText(0), U("Keine"));
    EXPECT_EQ(form.combo->itemText(1), U("Automatisch"));
    EXPECT_EQ(form.combo->itemText(2), U("Yes")); // "Yes" is only in STRING_TABLE
    EXPECT_EQ(form.combo->itemData(1, Qt::ToolTipRole).toString(), U("Einrücken bei Bedarf"));
    EXPECT_EQ(form.combo->currentIndex(), 1);
    EXPECT_EQ(form.combo->currentText(), U("Automatisch"));
    EXPECT_EQ(comboChanges.count(), 0);

    EXPECT_EQ(form.tabs->tabText(0), U("Vorher"));
    EXPECT_EQ(form.tabs->tabText(1), U("Nachher"));
    EXPECT_EQ(form.tabs->tabToolTip(1), U("Aufgeräumter Text"));
    EXPECT_EQ(form.tree->headerItem()->text(0), U("Bezeichnung"));
    EXPECT_EQ(form.tree->headerItem()->text(1), U("Größe"));

    EXPECT_EQ(form.menu->title(), U("&Datei"));
    EXPECT_EQ(form.subMenu->title(), U("Zuletzt"));
    EXPECT_EQ(form.recentItem->text(), U("Liste leeren"));
    EXPECT_EQ(form.actTidy->text(), U("&Aufräumen"));
    EXPECT_EQ(form.actTidy->toolTip(), U("Gewählte aufräumen"));
    EXPECT_EQ(form.actTidy->statusTip(), U("Räumt auf"));
    EXPECT_EQ(form.actOpen->text(), U("Ö&ffnen..."));
    EXPECT_EQ(form.actOpen->toolTip(), U("Öffnen")); // still follows the caption
    EXPECT_EQ(form.toolBar->windowTitle(), U("Werkzeuge"));
    EXPECT_EQ(form.toolBar->toggleViewAction()->text(), U("Werkzeuge"));
    auto* toolButton = qobject_cast<QToolButton*>(form.toolBar->widgetForAction(form.actTidy));
    ASSERT_NE(toolButton, nullptr);
    EXPECT_EQ(toolButton->text(), U("Aufräumen")); // the icon text, without "&"
}

TEST_F(TranslateComponentsTest, WithoutLanguageFileNothingChanges) {
    TFormSample form;
    TranslateComponent(&form);
    EXPECT_EQ(form.windowTitle(), U("Sample"));
    EXPECT_EQ(form.combo->currentIndex(), 1);
    EXPECT_EQ(form.actOpen->toolTip(), U("Open"));
    EXPECT_EQ(form.tree->headerItem()->text(1), U("Size"));
}

TEST_F(TranslateComponentsTest, EditableComboKeepsChoiceAndOwnText) {
    Load("<//TFormSpaced-\nE=One\nT=Eins\nE=Two\nT=Zwei\nE=typed\nT=getippt\n");
    Kelvane::TFormSpaced dialog;
    auto* picked = new QComboBox(&dialog);
    picked->setEditable(true);
    picked->addItems({QStringLiteral("One"), QStringLiteral("Two")});
    picked->setCurrentIndex(1);
    auto* typed = new QComboBox(&dialog);
    typed->setEditable(true);
    typed->addItems({QStringLiteral("One"), QStringLiteral("Two")});
    typed->setEditText(QStringLiteral("typed"));
    const int typedIndex = typed->currentIndex();

    TranslateComponent(&dialog);
    EXPECT_EQ(picked->currentIndex(), 1);
    EXPECT_EQ(picked->currentText(), U("Zwei"));
    EXPECT_EQ(picked->lineEdit()->text(), U("Zwei"));
    EXPECT_EQ(typed->currentIndex(), typedIndex);
    EXPECT_EQ(typed->currentText(), U("getippt"));
    EXPECT_EQ(typed->itemText(0), U("Eins"));
}

TEST_F(TranslateComponentsTest, HeadersOfStandardModelAndMessageBoxButtons) {
    Load("<//TFormSpaced-\nE=File\nT=Datei\nE=Line\nT=Zeile\n"
         "<//TMessageForm-\nE=Don't ask again\nT=Nicht mehr fragen\nE=Confirm\nT=Bestätigen\n"
         "E=&Yes\nT=&Ja\n");
    Kelvane::TFormSpaced dialog;
    auto* model = new QStandardItemModel(0, 2, &dialog);
    model->setHorizontalHeaderLabels({QStringLiteral("File"), QStringLiteral("Line")});
    // Two views of one model: each caption is translated once.
    auto* first = new QTableView(&dialog);
    first->setModel(model);
    auto* second = new QTableView(&dialog);
    second->setModel(model);
    TranslateComponent(&dialog);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), U("Datei"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), U("Zeile"));

    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("Go?"),
                    QMessageBox::Yes | QMessageBox::No);
    auto* check = new QCheckBox(QStringLiteral("Don't ask again"));
    box.setCheckBox(check);
    TranslateComponent(&box);
    EXPECT_EQ(box.windowTitle(), U("Bestätigen"));
    EXPECT_EQ(check->text(), U("Nicht mehr fragen"));
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), U("&Ja"));
}

TEST_F(TranslateComponentsTest, TranslateAllRunsOnceOverRegisteredWindows) {
    Load("<//Application-\nE=Mondavik Kelvane\nT=Mondavik Kelvane DE\n"
         "<//TFormSample-\nE=Sample\nT=Beispiel\nE=Beispiel\nT=WRONG\n"
         "<//TFormSpaced-\nE=Later\nT=Später\n");
    const QString oldName = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Mondavik Kelvane"));
    TFormSample form;
    {
        TFormSample gone;
        RegisterStartupWindow(&gone);
    }
    RegisterStartupWindow(&form);
    RegisterStartupWindow(&form); // registered twice, still translated once

    // The display name is not touched: Qt would append it to every dialog's caption.
    TranslateAll();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), U("Mondavik Kelvane"));
    EXPECT_EQ(ApplicationTitle(), U("Mondavik Kelvane DE"));
    EXPECT_EQ(form.windowTitle(), U("Beispiel"));

    TranslateAll(); // does nothing the second time
    EXPECT_EQ(form.windowTitle(), U("Beispiel"));

    // A window registered after the start-up pass is translated at once.
    Kelvane::TFormSpaced late;
    late.setWindowTitle(QStringLiteral("Later"));
    RegisterStartupWindow(&late);
    EXPECT_EQ(late.windowTitle(), U("Später"));

    QGuiApplication::setApplicationDisplayName(oldName);
}

#include "translate_components_test.moc"
