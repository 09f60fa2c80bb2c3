#pragma once
// Icons at the sizes a control draws them. QIcon never draws an image larger than the largest
// it holds, so an icon that exists only at 16 x 16 (some of the style's own) stays small on a
// toolbar of 24 x 24 images, and the caption beneath it sits higher than its neighbours'.

#include <QIcon>
#include <initializer_list>

// `icon` with an image at each of `sizes`, enlarged from its largest where it has none as big.
QIcon WithSizes(const QIcon& icon, std::initializer_list<int> sizes);
