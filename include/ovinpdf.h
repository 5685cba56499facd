/* ovinpdf: turns JPEG, TIFF and BMP pages into one PDF file.
 *
 * One document per process. Strings are NUL-terminated UTF-8; a null pointer
 * means the empty string. The library copies every string it keeps. geterror
 * returns a string allocated with malloc that the caller releases with free.
 *
 * Result codes: 0 success, otherwise negative; geterror turns a code into a
 * message. While pdfsave runs, any other call that would change the library
 * state is refused: the adding and saving calls return OVINPDF_BUSY and the
 * others do nothing.
 */
#ifndef OVINPDF_H
#define OVINPDF_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define OVINPDF_API __attribute__((visibility("default")))
#else
#define OVINPDF_API
#endif

/* Returned by a call made while pdfsave is running (from an event handler). */
#define OVINPDF_BUSY (-13)

typedef struct ovinpdf_lines { /* the caller's line list */
    void* list;
    void (*Add)(void* list, const char* line);
} ovinpdf_lines;

OVINPDF_API void pdfinit(uintptr_t window, const char* tempimgpath);
OVINPDF_API void settempimg(const char* path);
OVINPDF_API void setpdfmaker(const char* text);
OVINPDF_API void setpdftitle(const char* text);
OVINPDF_API void showversioninfo(void);
OVINPDF_API bool validfext(const char* ext);
OVINPDF_API char* geterror(int32_t code);
OVINPDF_API void getwarnings(const ovinpdf_lines* list);
OVINPDF_API void pdfclear(void);
OVINPDF_API int32_t pdfaddindex(const char* pagename, const char* title);
OVINPDF_API int32_t pdfaddsubindex(const char* parentkey, const char* pagename, const char* title);
OVINPDF_API int32_t pdfaddtext(const char* text);
OVINPDF_API int32_t pdfaddimage(const char* filename);
OVINPDF_API int32_t pdfsave(const char* filename);

#ifdef __cplusplus
}
#endif

#endif
