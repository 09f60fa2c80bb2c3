#include "support/ApplicationTitle.h"

#include "support/Translation.h"

QString ApplicationTitle() {
    return Translate(kApplicationTitle, QStringLiteral("Application"));
}
