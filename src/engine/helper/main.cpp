// kelvane-engine: hosts HTML Tidy for the program, one document at a time, so that a document
// that crashes the library, exhausts memory or never finishes costs that document only.

#include "engine/EngineHelper.h"
#include "engine/TidyLibraryRun.h"

int main(int argc, char** argv) {
    return RunEngineHelper(argc, argv, RunTidyLibrary);
}
