#pragma once
// The file list's state marks drawn over an item's icon: a padlock for a read-only file, a
// green tick for a tidied one (a file with a backup).

#include <QIcon>

// `base` with the mark's image in its lower left corner; `base` itself for no mark (-1).
// Composed icons are kept, so the list's repaints do not draw them again.
QIcon MarkedIcon(const QIcon& base, int mark);

// The mark's image alone, `size` pixels square.
QPixmap MarkImage(int mark, int size);
