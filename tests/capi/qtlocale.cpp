// localepdfs.c in a Qt Widgets program: QApplication sets the process
// locale from the environment, as it does for zentropdf, and the PDFs are
// written after it.
#include <QApplication>

#include <cstdio>

extern "C" int writelocalepdfs(const char* folder, const char* point);

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qtlocale FOLDER POINT\n");
        return 2;
    }
    QApplication app(argc, argv);
    return writelocalepdfs(argv[1], argv[2]);
}
