// Writes its second argument as the whole content of the file named by its first, through
// platform::WriteWholeFile, so that tests can write as another (unprivileged) user. Exit status
// 0 when written, 1 otherwise, with the reason on standard error.

#include "platform/FileNames.h"
#include "platform/FileWriting.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_whole_file PATH TEXT\n");
        return 2;
    }
    QString error;
    const platform::WriteResult result =
        platform::WriteWholeFile(platform::DecodeFileName(argv[1]), QByteArray(argv[2]), &error);
    if (result == platform::WriteResult::Written)
        return 0;
    std::fprintf(stderr, "%d %s\n", int(result), error.toUtf8().constData());
    return 1;
}
