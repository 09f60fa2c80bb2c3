#include "support/gui/QtPrompts.h"

#include "support/ApplicationTitle.h"
#include "support/Errors.h"
#include "support/Translation.h"
#include "support/gui/DisplayText.h"
#include "support/gui/TranslateComponents.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

namespace {

QtPrompts::OptionsDialog& RegisteredOptionsDialog() {
    static QtPrompts::OptionsDialog dialog;
    return dialog;
}

struct ButtonInfo {
    Button button;
    QMessageBox::StandardButton standard;
    const char* caption; // the captions of the standard dialog, as the language file knows them
    int result;
};

// In the order the standard dialog lays them out.
const ButtonInfo kButtons[] = {
    {Button::Yes, QMessageBox::Yes, "&Yes", mrYes},
    {Button::No, QMessageBox::No, "&No", mrNo},
    {Button::Ok, QMessageBox::Ok, "OK", mrOk},
    {Button::Cancel, QMessageBox::Cancel, "Cancel", mrCancel},
    {Button::Abort, QMessageBox::Abort, "&Abort", mrAbort},
    {Button::Retry, QMessageBox::Retry, "&Retry", mrRetry},
    {Button::Ignore, QMessageBox::Ignore, "&Ignore", mrIgnore},
    {Button::YesToAll, QMessageBox::YesToAll, "Yes to &All", mrYesToAll},
};

QMessageBox::Icon IconOf(DialogKind kind) {
    switch (kind) {
    case DialogKind::Warning:
        return QMessageBox::Warning;
    case DialogKind::Error:
        return QMessageBox::Critical;
    case DialogKind::Information:
        return QMessageBox::Information;
    case DialogKind::Confirmation:
        return QMessageBox::Question;
    case DialogKind::Custom:
        break;
    }
    return QMessageBox::NoIcon;
}

int ExecTranslated(QMessageBox& box) {
    TranslateComponent(&box);
    box.exec();
    return QtPrompts::ResultOf(box);
}

// A file dialog that refuses a chosen path while `check` finds a problem with it: the problem
// is shown and the dialog stays open to choose again.
class CheckedFileDialog final : public QFileDialog {
public:
    using Check = std::function<QString(const QString& path)>; // empty text: acceptable

    explicit CheckedFileDialog(Check check, QWidget* parent = nullptr)
        : QFileDialog(parent), m_check(std::move(check)) {
        // Only the widget-based dialog lets us look at the choice before it is accepted.
        setOption(QFileDialog::DontUseNativeDialog, true);
    }

    void clearFileName() {
        if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->clear();
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty() && !QFileInfo(files.first()).isDir()) {
            const QString problem = m_check(files.first());
            if (!problem.isEmpty()) {
                std::unique_ptr<QMessageBox> box(
                    QtPrompts::CreateMessageBox(problem, DialogKind::Warning, Button::Ok, this));
                ExecTranslated(*box);
                return;
            }
            // Asked here rather than by Qt so that the question is ours to translate.
            if (acceptMode() == QFileDialog::AcceptSave && QFileInfo::exists(files.first())) {
                const QString question =
                    Translate(QStringLiteral("%1 already exists.\nDo you want to replace it?"))
                        .arg(QDir::toNativeSeparators(files.first()));
                std::unique_ptr<QMessageBox> box(QtPrompts::CreateMessageBox(
                    question, DialogKind::Warning, Button::Yes | Button::No, this));
                if (ExecTranslated(*box) != mrYes)
                    return;
            }
        }
        QFileDialog::accept();
    }

private:
    Check m_check;
};

QString SaveTargetProblem(const QString& path) {
    const QFileInfo info(path);
    if (!QFileInfo(info.absolutePath()).isDir())
        return Translate(QStringLiteral("%1\nThe folder does not exist.\nCheck the path and try "
                                        "again."))
            .arg(QDir::toNativeSeparators(path));
    // The owner's write bit, not access(): the same answer for every user, root included.
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        return Translate(QStringLiteral("%1\nThis file is set to read-only.\nTry again with a "
                                        "different file name."))
            .arg(QDir::toNativeSeparators(path));
    return {};
}

QString ProgramProblem(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return Translate(QStringLiteral("%1\nThis file is not a program.\nChoose a program to "
                                        "open the file with."))
            .arg(QDir::toNativeSeparators(path));
    return {};
}

} // namespace

QtPrompts::QtPrompts() = default;

QtPrompts::~QtPrompts() {
    delete m_saveDialog.data();
}

QMessageBox* QtPrompts::CreateMessageBox(const QString& text, DialogKind kind, Buttons buttons,
                                         QWidget* parent) {
    auto* box = new QMessageBox(parent ? parent : QApplication::activeWindow());
    box->setWindowTitle(ApplicationTitle());
    box->setIcon(IconOf(kind));
    box->setText(DisplayText(text));
    box->setTextFormat(Qt::PlainText);
    if (!buttons)
        buttons = Button::Ok;
    for (const ButtonInfo& info : kButtons)
        if (buttons.testFlag(info.button))
            box->addButton(info.standard)->setText(QString::fromLatin1(info.caption));

    // As the standard dialog: OK or else Yes is the default; Cancel or else No answers Escape.
    for (Button candidate : {Button::Ok, Button::Yes, Button::Retry})
        if (buttons.testFlag(candidate)) {
            for (const ButtonInfo& info : kButtons)
                if (info.button == candidate)
                    box->setDefaultButton(info.standard);
            break;
        }
    for (Button candidate : {Button::Cancel, Button::No, Button::Ok})
        if (buttons.testFlag(candidate)) {
            for (const ButtonInfo& info : kButtons)
                if (info.button == candidate)
                    box->setEscapeButton(info.standard);
            break;
        }
    return box;
}

int QtPrompts::ResultOf(const QMessageBox& box) {
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr)
        return mrCancel;
    const QMessageBox::StandardButton standard = box.standardButton(clicked);
    for (const ButtonInfo& info : kButtons)
        if (info.standard == standard)
            return info.result;
    return mrCancel;
}

int QtPrompts::Message(const QString& text, DialogKind kind, Buttons buttons) {
    std::unique_ptr<QMessageBox> box(CreateMessageBox(text, kind, buttons));
    return ExecTranslated(*box);
}

int QtPrompts::MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons,
                                   const QString& checkCaption, bool& ticked) {
    std::unique_ptr<QMessageBox> box(CreateMessageBox(text, kind, buttons));
    auto* checkBox = new QCheckBox(checkCaption);
    checkBox->setChecked(false);
    box->setCheckBox(checkBox); // translated with the box
    const int result = ExecTranslated(*box);
    ticked = checkBox->isChecked();
    return result;
}

QString QtPrompts::SaveFileName(const SaveFileRequest& request) {
    if (m_saveDialog.isNull()) {
        auto* dialog = new CheckedFileDialog(SaveTargetProblem);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::DontConfirmOverwrite, true); // asked in accept()
        dialog->setWindowTitle(Translate(QStringLiteral("Save As")));
        // The shared save dialog keeps one size, like the rest of the program's dialogs.
        dialog->setSizeGripEnabled(false);
        dialog->setFixedSize(dialog->sizeHint());
        m_saveDialog = dialog;
    }
    auto* dialog = static_cast<CheckedFileDialog*>(m_saveDialog.data());
    if (!request.filters.isEmpty())
        dialog->setNameFilters(request.filters);
    else
        dialog->setNameFilters({Translate(QStringLiteral("All Files (*)"))});
    dialog->setDefaultSuffix(request.defaultSuffix);
    if (!request.initialFolder.isEmpty())
        dialog->setDirectory(request.initialFolder);
    if (request.initialName.isEmpty())
        dialog->clearFileName();
    else
        dialog->selectFile(request.initialName);

    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog->selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString QtPrompts::ChooseProgram(const QString& forFile) {
    CheckedFileDialog dialog(ProgramProblem, QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setWindowTitle(
        Translate(QStringLiteral("Open \"%1\" with")).arg(QFileInfo(forFile).fileName()));
    dialog.setNameFilters({Translate(QStringLiteral("Programs (*)"))});
    dialog.setDirectory(QStringLiteral("/usr/bin"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

bool QtPrompts::EditTidyOptions(const QString& sampleFile, const QString& caption) {
    const OptionsDialog& dialog = RegisteredOptionsDialog();
    if (!dialog)
        throw KelvaneError(Translate(QStringLiteral("The tidy options dialog is not available.")));
    return dialog(sampleFile, caption);
}

void QtPrompts::setOptionsDialog(OptionsDialog dialog) {
    RegisteredOptionsDialog() = std::move(dialog);
}
