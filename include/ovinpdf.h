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

/* Result codes of the adding and saving calls; geterror gives the message
 * of each, with the detail of the failure where it has one. */
#define OVINPDF_OK 0
#define OVINPDF_FILE_NOT_FOUND (-1)    /* pdfaddimage: no such file */
#define OVINPDF_NO_PAGES (-2)          /* pdfsave: the document is empty */
#define OVINPDF_UNSUPPORTED_TYPE (-3)  /* pdfaddimage: not a .jpg, .tif or .bmp file */
#define OVINPDF_CANCELLED (-4)         /* pdfsave: cancelled by the user */
#define OVINPDF_IO_ERROR (-5)          /* reading or writing failed; the detail is the errno */
#define OVINPDF_IMAGE_ERROR (-6)       /* an image could not be read or described */
#define OVINPDF_PAGE_NOT_FOUND (-7)    /* pdfaddindex, pdfaddsubindex: no page of that name */
#define OVINPDF_BLANK_NAME (-8)        /* pdfsave: the file name is blank */
#define OVINPDF_NO_PARENT (-9)         /* pdfaddsubindex: no bookmark with the parent key */
#define OVINPDF_ALREADY_ADDED (-10)    /* pdfaddimage: a page of that name exists */
#define OVINPDF_TEMP_EXISTS (-11)      /* re-encoding: the temporary image path is in use */
#define OVINPDF_INVALID_NAME (-12)     /* a forbidden character, or the target is an input */
#define OVINPDF_BUSY (-13)             /* a call made while pdfsave is running */
#define OVINPDF_INVALID_ARGUMENT (-14) /* document API: a value out of range, or no document */

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
