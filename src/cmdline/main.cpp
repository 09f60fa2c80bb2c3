// Provisional entry point: replaced by the command-line program.
#include <QApplication>
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}
