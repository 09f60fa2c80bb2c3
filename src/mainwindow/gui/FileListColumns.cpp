#include "mainwindow/gui/FileListColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QTreeView>
#include <algorithm>

FileListColumns::FileListColumns(QTreeView* view, int nameColumn)
    : QObject(view), m_view(view), m_viewport(view->viewport()), m_name(nameColumn) {
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    view->viewport()->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, &FileListColumns::SectionResized);
}

void FileListColumns::FitContents() {
    {
        const QScopedValueRollback<bool> fitting(m_fitting, true);
        QHeaderView* header = m_view->header();
        for (int column = 0; column < header->count(); ++column) {
            if (column == m_name || m_userSized.contains(column) || header->isSectionHidden(column))
                continue;
            const int wanted =
                std::max(static_cast<QAbstractItemView*>(m_view)->sizeHintForColumn(column),
                         header->sectionSizeHint(column));
            if (wanted > header->sectionSize(column))
                header->resizeSection(column, wanted);
        }
    }
    FillName();
}

void FileListColumns::FillName() {
    const QScopedValueRollback<bool> fitting(m_fitting, true);
    QHeaderView* header = m_view->header();
    int others = 0;
    for (int column = 0; column < header->count(); ++column)
        if (column != m_name && !header->isSectionHidden(column))
            others += header->sectionSize(column);
    header->resizeSection(m_name, std::max(kMinNameWidth, m_view->viewport()->width() - others));
}

void FileListColumns::SectionResized(int column) {
    if (m_fitting)
        return;
    // The user dragged an edge: that column keeps its width, Name takes what is left.
    if (column != m_name) {
        m_userSized.insert(column);
        FillName();
    }
}

bool FileListColumns::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == m_viewport)
        FillName();
    return QObject::eventFilter(watched, event);
}
