/* Drives a whole document through the C interface of libovinpdf.so, as a C
 * caller would: text pages, bookmarks, title, a failing call and its
 * message, warnings and the save. Exits 0 when everything held. */
#include "ovinpdf.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

struct lines {
    int count;
    char last[256];
};

static void add(void* list, const char* line) {
    struct lines* l = (struct lines*)list;
    l->count++;
    strncpy(l->last, line, sizeof l->last - 1);
}

static void checkerror(int32_t code, const char* expected) {
    char* text = geterror(code);
    CHECK(text != NULL && strcmp(text, expected) == 0);
    if (text != NULL && strcmp(text, expected) != 0) {
        fprintf(stderr, "  got \"%s\"\n", text);
    }
    free(text);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: drive OUT.pdf\n");
        return 2;
    }
    pdfinit(0, NULL);
    setpdftitle("C caller");
    CHECK(validfext("jpg"));
    CHECK(!validfext(".jpeg"));
    CHECK(!validfext(NULL));

    pdfclear();
    CHECK(pdfaddtext("First page") == 0);
    CHECK(pdfaddtext(NULL) == 0); /* a null pointer is the empty text */
    CHECK(pdfaddtext("Second page") == 0);
    CHECK(pdfaddindex("First page", "Start") == 0);
    CHECK(pdfaddsubindex("First page", "Second page", "Next") == 0);
    CHECK(pdfaddindex("No such page", "x") == -7);
    checkerror(-7, "ERROR : Page Not Found (No such page)");
    CHECK(pdfaddimage("/nonexistent/scan.jpg") == -1);
    checkerror(-1, "ERROR : File Not Found (/nonexistent/scan.jpg)");
    checkerror(-42, "ERROR : Unknown error (-42)");

    CHECK(pdfsave("") == -8);
    CHECK(pdfsave(argv[1]) == 0);

    struct lines warnings = {0, ""};
    ovinpdf_lines list = {&warnings, add};
    getwarnings(&list);
    CHECK(warnings.count == 0);
    getwarnings(NULL);

    pdfclear();
    CHECK(pdfsave(argv[1]) == -2);
    return failures == 0 ? 0 : 1;
}
