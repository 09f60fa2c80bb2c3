#include "support/gui/IconSizes.h"

#include <QPixmap>

QIcon WithSizes(const QIcon& icon, std::initializer_list<int> sizes) {
    if (icon.isNull())
        return icon;
    QIcon sized;
    for (const int side : sizes) {
        const QSize wanted(side, side);
        const QSize actual = icon.actualSize(wanted);
        QPixmap image = icon.pixmap(actual);
        if (actual.width() < side && actual.height() < side && !image.isNull()) {
            // Whole multiples stay crisp; other steps are smoothed.
            const bool whole = side % actual.width() == 0 && side % actual.height() == 0;
            image = image.scaled(wanted, Qt::KeepAspectRatio,
                                 whole ? Qt::FastTransformation : Qt::SmoothTransformation);
        }
        sized.addPixmap(image);
    }
    return sized;
}
