#include "support/gui/ToolbarSettings.h"

#include "support/Errors.h"
#include "support/IniFile.h"
#include "support/Translation.h"

#include <QLayout>
#include <QMainWindow>
#include <QToolBar>
#include <algorithm>

namespace {

const QString kAddressBarName = QStringLiteral("twAddressBar");
const QString kFloating = QStringLiteral("+");

QList<QToolBar*> Toolbars(QMainWindow* window) {
    return window->findChildren<QToolBar*>(Qt::FindDirectChildrenOnly);
}

bool IsHorizontalArea(Qt::ToolBarArea area) {
    return area == Qt::TopToolBarArea || area == Qt::BottomToolBarArea;
}

// Distance of the bar's line from the window edge of its area, and its place along the line.
int PerpendicularKey(const QToolBar* bar, Qt::ToolBarArea area) {
    const QRect r = bar->geometry();
    switch (area) {
    case Qt::TopToolBarArea:
        return r.top();
    case Qt::BottomToolBarArea:
        return -(r.top() + r.height());
    case Qt::LeftToolBarArea:
        return r.left();
    case Qt::RightToolBarArea:
        return -(r.left() + r.width());
    default:
        return 0;
    }
}

int AlongKey(const QToolBar* bar, Qt::ToolBarArea area) {
    return IsHorizontalArea(area) ? bar->x() : bar->y();
}

struct DockPlace {
    int row = 0;
    int pos = 0;
};

// Row and position of every docked, non-floating bar, area by area.
QHash<const QToolBar*, DockPlace> DockPlaces(QMainWindow* window) {
    if (window->layout())
        window->layout()->activate();
    QHash<const QToolBar*, DockPlace> places;
    const QList<QToolBar*> bars = Toolbars(window);
    for (Qt::ToolBarArea area :
         {Qt::LeftToolBarArea, Qt::RightToolBarArea, Qt::TopToolBarArea, Qt::BottomToolBarArea}) {
        QList<QToolBar*> inArea;
        for (QToolBar* bar : bars)
            if (!bar->isFloating() && window->toolBarArea(bar) == area)
                inArea.append(bar);
        std::stable_sort(inArea.begin(), inArea.end(), [area](QToolBar* a, QToolBar* b) {
            const int pa = PerpendicularKey(a, area);
            const int pb = PerpendicularKey(b, area);
            if (pa != pb)
                return pa < pb;
            return AlongKey(a, area) < AlongKey(b, area);
        });
        int row = 0;
        int pos = 0;
        for (qsizetype i = 0; i < inArea.size(); ++i) {
            QToolBar* bar = inArea.at(i);
            if (i > 0) {
                const bool newLine =
                    window->toolBarBreak(bar) ||
                    PerpendicularKey(bar, area) != PerpendicularKey(inArea.at(i - 1), area);
                if (newLine) {
                    ++row;
                    pos = 0;
                } else {
                    ++pos;
                }
            }
            places.insert(bar, {row, pos});
        }
    }
    return places;
}

QString SectionOf(const QString& prefix, const QToolBar* bar) {
    return prefix + bar->objectName();
}

void Float(QToolBar* bar, const QPoint& position, const QSize& size) {
    const bool wasFloating = bar->isFloating();
    // The same window kind Qt gives a bar that the user drags off its dock; the bar keeps its
    // item in its area, so dragging it back works as usual.
    bar->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    bar->move(position);
    bar->resize(size);
    if (!wasFloating)
        Q_EMIT bar->topLevelChanged(true);
}

struct Placement {
    QToolBar* bar;
    Qt::ToolBarArea area;
    int row;
    int pos;
    qsizetype order;
};

} // namespace

QString DockName(int toolBarArea) {
    switch (toolBarArea) {
    case Qt::TopToolBarArea:
        return QStringLiteral("tbDockTop");
    case Qt::BottomToolBarArea:
        return QStringLiteral("tbDockBottom");
    case Qt::LeftToolBarArea:
        return QStringLiteral("tbDockLeft");
    case Qt::RightToolBarArea:
        return QStringLiteral("tbDockRight");
    default:
        return {};
    }
}

int DockArea(const QString& dockName) {
    for (Qt::ToolBarArea area :
         {Qt::TopToolBarArea, Qt::BottomToolBarArea, Qt::LeftToolBarArea, Qt::RightToolBarArea})
        if (QString::compare(DockName(area), dockName.trimmed(), Qt::CaseInsensitive) == 0)
            return area;
    return Qt::NoToolBarArea;
}

void SaveToolbarPositions(QMainWindow* window, const QString& filePath,
                          const QString& sectionPrefix) {
    QList<QToolBar*> written;
    for (QToolBar* bar : Toolbars(window)) {
        const Qt::ToolBarArea area = window->toolBarArea(bar);
        if (!bar->isFloating() && area == Qt::NoToolBarArea)
            continue;
        // Checked for every bar before anything is written, so a failure leaves no mixture.
        if (bar->objectName().isEmpty())
            throw KelvaneError(Translate(QStringLiteral(
                "Cannot save dockable window's position because Name property is not set")));
        if (!bar->isFloating() && DockName(area).isEmpty())
            throw KelvaneError(Translate(QStringLiteral(
                "Cannot save dockable window's position because DockedTo's Name property not "
                "set")));
        written.append(bar);
    }

    const QHash<const QToolBar*, DockPlace> places = DockPlaces(window);
    IniFile file(filePath);
    for (QToolBar* bar : written) {
        const QString section = SectionOf(sectionPrefix, bar);
        const Qt::ToolBarArea area = window->toolBarArea(bar);
        const bool floating = bar->isFloating();
        QString dockedTo;
        if (floating)
            dockedTo = kFloating;
        else if (bar->isMovable())
            dockedTo = DockName(area);
        const DockPlace place = places.value(bar);
        const QPoint floatPosition = floating ? bar->pos() : bar->mapToGlobal(QPoint(0, 0));

        file.WriteInteger(section, QStringLiteral("Rev"), kToolbarSettingsRevision);
        file.WriteBool(section, QStringLiteral("Visible"), !bar->isHidden());
        file.WriteString(section, QStringLiteral("DockedTo"), dockedTo);
        file.WriteString(section, QStringLiteral("LastDock"), DockName(area));
        file.WriteInteger(section, QStringLiteral("DockRow"), place.row);
        file.WriteInteger(section, QStringLiteral("DockPos"), place.pos);
        file.WriteInteger(section, QStringLiteral("FloatLeft"), floatPosition.x());
        file.WriteInteger(section, QStringLiteral("FloatTop"), floatPosition.y());
        if (bar->objectName() == kAddressBarName) {
            file.WriteInteger(section, QStringLiteral("ClientWidth"), bar->width());
            file.WriteInteger(section, QStringLiteral("ClientHeight"), bar->height());
        } else {
            file.WriteInteger(section, QStringLiteral("FloatRightX"), bar->width());
        }
    }
}

void LoadToolbarPositions(QMainWindow* window, const QString& filePath,
                          const QString& sectionPrefix) {
    const IniFile file(filePath);
    QList<Placement> placements;
    QList<QPair<QToolBar*, bool>> visibility;
    const QList<QToolBar*> bars = Toolbars(window);

    for (qsizetype i = 0; i < bars.size(); ++i) {
        QToolBar* bar = bars.at(i);
        if (bar->objectName().isEmpty())
            continue;
        const QString section = SectionOf(sectionPrefix, bar);
        if (file.ReadInteger(section, QStringLiteral("Rev"), 0) != kToolbarSettingsRevision)
            continue;
        const bool visible = file.ReadBool(section, QStringLiteral("Visible"), !bar->isHidden());
        visibility.append({bar, visible});
        const QString dockedTo = file.ReadString(section, QStringLiteral("DockedTo"), {});
        if (dockedTo.isEmpty())
            continue;

        if (dockedTo == kFloating) {
            if (!bar->isFloatable())
                continue;
            const QPoint current = bar->isFloating() ? bar->pos() : bar->mapToGlobal(QPoint());
            const QPoint position(
                file.ReadInteger(section, QStringLiteral("FloatLeft"), current.x()),
                file.ReadInteger(section, QStringLiteral("FloatTop"), current.y()));
            QSize size = bar->isFloating() ? bar->size() : bar->sizeHint();
            if (bar->objectName() == kAddressBarName) {
                size.setWidth(
                    file.ReadInteger(section, QStringLiteral("ClientWidth"), size.width()));
                size.setHeight(
                    file.ReadInteger(section, QStringLiteral("ClientHeight"), size.height()));
            } else {
                size.setWidth(
                    file.ReadInteger(section, QStringLiteral("FloatRightX"), size.width()));
            }
            // A floating bar still belongs to an area, where dragging it back docks it.
            if (window->toolBarArea(bar) == Qt::NoToolBarArea) {
                const int last = DockArea(file.ReadString(section, QStringLiteral("LastDock"), {}));
                window->addToolBar(last == Qt::NoToolBarArea ? Qt::TopToolBarArea
                                                             : static_cast<Qt::ToolBarArea>(last),
                                   bar);
            }
            Float(bar, position, size.expandedTo(QSize(1, 1)));
            continue;
        }

        const auto area = static_cast<Qt::ToolBarArea>(DockArea(dockedTo));
        if (area == Qt::NoToolBarArea || !bar->isMovable() || !bar->isAreaAllowed(area))
            continue;
        placements.append({bar, area, file.ReadInteger(section, QStringLiteral("DockRow"), 0),
                           file.ReadInteger(section, QStringLiteral("DockPos"), 0), i});
    }

    std::stable_sort(placements.begin(), placements.end(),
                     [](const Placement& a, const Placement& b) {
                         if (a.row != b.row)
                             return a.row < b.row;
                         if (a.pos != b.pos)
                             return a.pos < b.pos;
                         return a.order < b.order;
                     });
    // Take the placed bars out first, so that the lines are rebuilt from scratch.
    for (const Placement& placement : placements)
        window->removeToolBar(placement.bar);
    for (Qt::ToolBarArea area :
         {Qt::TopToolBarArea, Qt::BottomToolBarArea, Qt::LeftToolBarArea, Qt::RightToolBarArea}) {
        bool othersInArea = false;
        for (QToolBar* bar : bars)
            if (!bar->isFloating() && window->toolBarArea(bar) == area)
                othersInArea = true;
        bool first = true;
        int previousRow = 0;
        for (const Placement& placement : placements) {
            if (placement.area != area)
                continue;
            // Bars the file does not place keep their lines; the placed ones start below them.
            if (first ? othersInArea : placement.row != previousRow)
                window->addToolBarBreak(area);
            window->addToolBar(area, placement.bar);
            first = false;
            previousRow = placement.row;
        }
    }
    for (const auto& [bar, visible] : visibility)
        bar->setVisible(visible);
}
