#pragma once
// The selection's facts for the enabling rules, which look at the disk for every selected path.
// A small selection is looked at on the spot; a large one (many thousands of files) on a thread
// of its own, so that the idle passes never hold up the window: until its answer comes, the
// facts of a selection not looked at yet are "nothing allowed".

#include "mainwindow/ActionRules.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

class SelectionCheck : public QObject {
    Q_OBJECT
public:
    // Selections up to this many paths are looked at on the spot.
    static constexpr qsizetype kInlinePaths = 200;

    explicit SelectionCheck(QObject* parent = nullptr);
    // Waits for a look in progress.
    ~SelectionCheck() override;

    // The facts of `paths`. For a large selection: those last found for this very selection,
    // and a new look starts when none runs, `mayLook` holds and the selection changed or the
    // last look is older than ten times what it cost.
    SelectionFacts For(const QStringList& paths, bool mayLook = true);

Q_SIGNALS:
    // A look at a large selection has ended.
    void Checked();

private:
    void Look(const QStringList& paths);

    QThreadPool m_pool;
    QStringList m_lookedAt;
    SelectionFacts m_facts;
    bool m_known = false;
    bool m_looking = false;
    qint64 m_cost = 0;
    QElapsedTimer m_sinceLook;
};
