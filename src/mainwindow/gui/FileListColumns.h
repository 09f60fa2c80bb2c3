#pragma once
// The file list's columns: Name takes whatever width the view has beside the others, and the
// others grow to fit what the folders shown so far hold, unless the user has sized them.

#include <QObject>
#include <QSet>

class QTreeView;

class FileListColumns : public QObject {
    Q_OBJECT
public:
    FileListColumns(QTreeView* view, int nameColumn);

    // A folder has been read: the other columns grow to fit it.
    void FitContents();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillName();
    void SectionResized(int column);

    // Name is never narrower than this, however narrow the view.
    static constexpr int kMinNameWidth = 120;

    QTreeView* m_view;
    // Compared by address only: while the view is destroyed its viewport still sends events.
    QObject* m_viewport;
    int m_name;
    bool m_fitting = false;
    QSet<int> m_userSized;
};
