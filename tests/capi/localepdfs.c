/* Writes the same two PDFs through both C faces of libovinpdf.so in the
 * locale the environment names: classic.pdf (pdfinit, pdfaddimage, pdfsave)
 * and document.pdf (an A4 page through the document API, fixed dates). The
 * image is a BMP at 300 dpi whose size in points has a fraction, so media
 * boxes and image matrices hold decimal numbers. localenumbers.sh runs it in
 * the C locale and in a decimal-comma locale and compares the bytes. The Qt
 * program builds this file without its main and calls writelocalepdfs once
 * QApplication has set the locale. */
#include "ovinpdf_document.h"

#include <locale.h>
#include <stdio.h>
#include <string.h>

#define WIDTH 31
#define HEIGHT 17
#define ROW ((WIDTH * 3 + 3) / 4 * 4)

static void put16(unsigned char* p, unsigned v) {
    p[0] = (unsigned char)(v & 0xFF);
    p[1] = (unsigned char)(v >> 8 & 0xFF);
}

static void put32(unsigned char* p, unsigned long v) {
    put16(p, (unsigned)(v & 0xFFFF));
    put16(p + 2, (unsigned)(v >> 16 & 0xFFFF));
}

/* A 24-bit BMP of WIDTH x HEIGHT pixels at 300 dpi (11811 pixels a metre). */
static int writebmp(const char* path) {
    static unsigned char file[54 + ROW * HEIGHT];
    memset(file, 0, sizeof file);
    file[0] = 'B';
    file[1] = 'M';
    put32(file + 2, sizeof file);
    put32(file + 10, 54);
    put32(file + 14, 40);
    put32(file + 18, WIDTH);
    put32(file + 22, HEIGHT);
    put16(file + 26, 1);
    put16(file + 28, 24);
    put32(file + 34, ROW * HEIGHT);
    put32(file + 38, 11811);
    put32(file + 42, 11811);
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            unsigned char* p = file + 54 + y * ROW + x * 3;
            p[0] = (unsigned char)(x * 8);
            p[1] = (unsigned char)(y * 15);
            p[2] = (unsigned char)((x + y) * 5);
        }
    }
    FILE* f = fopen(path, "wb");
    if (f == NULL) {
        return 0;
    }
    const int written = fwrite(file, sizeof file, 1, f) == 1;
    return fclose(f) == 0 && written;
}

static int failed(const char* what) {
    fprintf(stderr, "localepdfs: %s\n", what);
    return 1;
}

int writelocalepdfs(const char* folder, const char* point) {
    const char* have = localeconv()->decimal_point;
    if (strcmp(have, point) != 0) {
        fprintf(stderr,
                "localepdfs: the decimal point is \"%s\", not \"%s\": the locale did not take\n",
                have, point);
        return 1;
    }
    char bmp[4096];
    char classic[4096];
    char document[4096];
    snprintf(bmp, sizeof bmp, "%s/page.bmp", folder);
    snprintf(classic, sizeof classic, "%s/classic.pdf", folder);
    snprintf(document, sizeof document, "%s/document.pdf", folder);
    if (!writebmp(bmp)) {
        return failed("cannot write the BMP");
    }

    pdfinit(0, NULL);
    pdfclear();
    if (pdfaddimage(bmp) != 0 || pdfsave(classic) != 0) {
        return failed("the classic save failed");
    }

    /* A size with a decimal point reads the same in every locale. */
    double width = 0, height = 0;
    if (!ovinpdf_page_size_from_text("8.5x11in", &width, &height) || width != 612 ||
        height != 792) {
        return failed("8.5x11in is not 612 x 792 points");
    }
    ovinpdf_document* d = ovinpdf_document_new();
    int ok = d != NULL && ovinpdf_page_size_from_text("A4", &width, &height) &&
             ovinpdf_set_page_size(d, width, height) == 0 &&
             ovinpdf_set_creation_date(d, 1700000000) == 0 &&
             ovinpdf_set_modification_date(d, 1700000000) == 0 && ovinpdf_add_image(d, bmp) == 0 &&
             ovinpdf_save(d, document, NULL, NULL) == 0;
    if (!ok && d != NULL) {
        fprintf(stderr, "localepdfs: %s\n", ovinpdf_last_error(d));
    }
    ovinpdf_document_free(d);
    return ok ? 0 : failed("the document save failed");
}

#ifndef OVIN_LOCALEPDFS_NO_MAIN
int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: localepdfs FOLDER POINT\n");
        return 2;
    }
    setlocale(LC_ALL, "");
    return writelocalepdfs(argv[1], argv[2]);
}
#endif
