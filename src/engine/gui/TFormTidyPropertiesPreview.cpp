// The Before and After pages of the tidy options dialog and what it does with the tidied
// sample: the refresh of the After view, the preview file, and the programs that open it.

#include "engine/TidyEngine.h"
#include "engine/gui/PreviewFile.h"
#include "engine/gui/TFormTidyProperties.h"
#include "platform/MachineRegistry.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/HtmlTextView.h"
#include "support/gui/Scintilla.h"

#include <QFileInfo>
#include <QTabWidget>
#include <QVBoxLayout>

QString CannotPreviewText() {
    return Translate(QStringLiteral(
        "This document cannot be previewed.\r\nIt may contain too many errors to be tidied."));
}

QWidget* TFormTidyProperties::CreateViewPage(const QString& pageName, const QString& viewName,
                                             QsciScintilla*& view) {
    auto* page = new QWidget(this);
    page->setObjectName(pageName);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    view = CreateHtmlTextView(viewName, page);
    layout->addWidget(view);
    return page;
}

void TFormTidyProperties::SetBeforeText(const QByteArray& document) {
    m_beforeText = document;
    SetHtmlViewText(MemoBefore, m_beforeText);
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
    SetHtmlViewText(MemoAfter, m_afterText);
    if (keepScroll)
        MemoAfter->setFirstVisibleLine(firstLine);
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
