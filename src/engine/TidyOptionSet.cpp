#include "engine/TidyOptionSet.h"

TidyOptionSet& CurrentOptionSet() {
    static TidyOptionSet set;
    return set;
}
