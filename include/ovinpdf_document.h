/* ovinpdf document API: any number of independent documents per process.
 *
 * A document is a handle: create it, add pages (image files of any kind the
 * library reads, decided by their content; text pages), add bookmarks, set
 * options, save it, read its warnings, free it. Different documents may be
 * used from different threads at the same time; one document from one
 * thread at a time.
 *
 * Strings are NUL-terminated UTF-8; a null pointer means the empty string.
 * The library copies every string it keeps. Calls that can fail return 0
 * or a negative result code of ovinpdf.h (OVINPDF_...), and
 * ovinpdf_last_error then gives the document's message for it in words.
 * Strings returned by the library belong to the document and stay valid
 * until the next call on it that changes it.
 */
#ifndef OVINPDF_DOCUMENT_H
#define OVINPDF_DOCUMENT_H

#include "ovinpdf.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ovinpdf_document ovinpdf_document;

/* Called once per page during a save, before the page is written: page is
 * counted from 1, status says what is being added. While a page takes long
 * (text recognition) it is also called every fifth of a second with the
 * count of pages written so far and a status such as "Recognising page 3
 * of 20". Return 0 to go on, any other value to cancel the save (it then
 * fails with OVINPDF_CANCELLED and leaves no file). */
typedef int (*ovinpdf_progress)(void* context, uint32_t page, uint32_t pages, const char* status);

/* A new, empty document; NULL only when memory runs out. */
OVINPDF_API ovinpdf_document* ovinpdf_document_new(void);
OVINPDF_API void ovinpdf_document_free(ovinpdf_document* document);

/* Adds every page of an image file, or one page (counted from 1). */
OVINPDF_API int32_t ovinpdf_add_image(ovinpdf_document* document, const char* filename);
OVINPDF_API int32_t ovinpdf_add_image_page(ovinpdf_document* document, const char* filename,
                                           uint32_t page);
/* Adds a page of plain text. */
OVINPDF_API int32_t ovinpdf_add_text(ovinpdf_document* document, const char* text);
/* A bookmark that opens the last page added under pagename (an image file
 * name or a page's text as given); a sub-bookmark goes below every bookmark
 * made for parentname. */
OVINPDF_API int32_t ovinpdf_add_bookmark(ovinpdf_document* document, const char* pagename,
                                         const char* title);
OVINPDF_API int32_t ovinpdf_add_sub_bookmark(ovinpdf_document* document, const char* parentname,
                                             const char* pagename, const char* title);
OVINPDF_API uint32_t ovinpdf_page_count(const ovinpdf_document* document);

/* Reading a file without adding it, for a program that shows files before
 * it saves them. Both read as adding and saving would, with the document's
 * options, and fail with the messages those would give.
 *
 * The number of pages the file gives, into *pages, after reading every
 * page's description and data. */
OVINPDF_API int32_t ovinpdf_image_pages(ovinpdf_document* document, const char* filename,
                                        uint32_t* pages);
/* Page `page` (counted from 1) of an image file as a picture to show:
 * upright as its orientation says (while auto orient is on), its longer
 * side reduced to at most max_side pixels and never enlarged. The pixels
 * are 8-bit red, green and blue, rows top first, 3 * width bytes a row with
 * nothing between rows, written to pixels, which has room for size bytes
 * (3 * max_side * max_side always suffice). A JPEG is decoded at a reduced
 * scale, and one whose data is damaged or ends early fails here, as its
 * page would be drawn in part. */
OVINPDF_API int32_t ovinpdf_page_preview(ovinpdf_document* document, const char* filename,
                                         uint32_t page, uint32_t max_side, uint8_t* pixels,
                                         size_t size, uint32_t* width, uint32_t* height);

/* Options; they apply to the files added after them. */
OVINPDF_API int32_t ovinpdf_set_title(ovinpdf_document* document, const char* title);
OVINPDF_API int32_t ovinpdf_set_producer(ovinpdf_document* document, const char* producer);
/* Where a page that must be re-encoded through a temporary image file
 * (a classic TIFF re-encoding) writes it; by default a name beside the
 * system's temporary files. A path in use fails that page. */
OVINPDF_API int32_t ovinpdf_set_temporary_path(ovinpdf_document* document, const char* path);
/* Pages stand upright as their EXIF or TIFF orientation says (on by default). */
OVINPDF_API int32_t ovinpdf_set_auto_orient(ovinpdf_document* document, bool on);
/* Embedded ICC profiles colour the pages (on by default). */
OVINPDF_API int32_t ovinpdf_set_icc_profiles(ovinpdf_document* document, bool on);
/* Dots per inch for files that give none (200 by default), or for every
 * file whatever it gives (0, the default, for none). */
OVINPDF_API int32_t ovinpdf_set_default_resolution(ovinpdf_document* document, double dpi);
OVINPDF_API int32_t ovinpdf_set_resolution(ovinpdf_document* document, double dpi);
/* Pages that are decoded (PNG, PNM, BMP, and TIFF that cannot be stored as
 * it is) are compressed losslessly by default (quality 0). A quality from 1
 * to 100 codes their 8-bit grey and RGB pictures as JPEG at that quality
 * instead; JPEG files, bilevel pages and transparency stay as they are. */
OVINPDF_API int32_t ovinpdf_set_jpeg_quality(ovinpdf_document* document, int quality);
/* Pictures that a file holds in a lossy coding that PDF cannot carry (HEIC,
 * AVIF, lossy WebP, lossy JPEG XL) are decoded and coded as JPEG, at the
 * quality set above or else at 92, with one warning line for the save. With
 * lossless on they are compressed losslessly instead (every decoded pixel
 * kept, in a larger file). Off by default. */
OVINPDF_API int32_t ovinpdf_set_lossless(ovinpdf_document* document, bool on);
/* An animated file (GIF, WebP) gives a page for each of its frames by
 * default; with first frame on, only its first. */
OVINPDF_API int32_t ovinpdf_set_first_frame(ovinpdf_document* document, bool on);
/* The document is saved as PDF/A-2b, for archives: text pages in an
 * embedded font, an sRGB output intent, metadata that says PDF/A. A CMYK
 * page without an ICC profile is refused when it is added, as PDF/A with an
 * sRGB output intent cannot hold it. Off by default. */
OVINPDF_API int32_t ovinpdf_set_pdfa(ovinpdf_document* document, bool on);
/* Text recognition: every image page gets an invisible layer of the words
 * Tesseract recognises in it, placed over them, so that the PDF can be
 * searched and its text selected and copied; the image data stays as it
 * is. `languages` names Tesseract's languages joined by '+' ("eng",
 * "eng+deu"); NULL or "" turns recognition off (the default). A language
 * that is not installed fails the save with a message naming its Debian
 * package (tesseract-ocr-deu). Pages are recognised on every core. */
OVINPDF_API int32_t ovinpdf_set_ocr(ovinpdf_document* document, const char* languages);
/* With recognition on: pages that Tesseract's orientation detection finds
 * lying sideways or upside down are turned upright (/Rotate; the image data
 * stays as it is). Needs tesseract-ocr-osd. Off by default. */
OVINPDF_API int32_t ovinpdf_set_ocr_orient(ovinpdf_document* document, bool on);
/* The most pixels, in millions, that a page the library decodes may have
 * (600 by default, 1 to 100000): a larger one is refused when it is added,
 * as the memory it would take is rarely what the file means. */
OVINPDF_API int32_t ovinpdf_set_max_megapixels(ovinpdf_document* document, uint32_t megapixels);

/* Page layout. By default every page is its image's own size. A page size
 * in points (0 by 0 for the image's own size) makes every image page that
 * size, turned as the orientation says, with the image fitted as the fit
 * says and centred inside the borders (in points, left and right, top and
 * bottom; without a page size they are added around the image). A page
 * size is at least 3 points and at most 14400 points (200 inches) a side;
 * a page of an image's own size that would be smaller is refused. */
enum {
    OVINPDF_ORIENTATION_AUTO = 0, /* each page turned the way of its image */
    OVINPDF_ORIENTATION_PORTRAIT = 1,
    OVINPDF_ORIENTATION_LANDSCAPE = 2
};
enum {
    OVINPDF_FIT_INTO = 0,   /* as large as fits inside, proportions kept */
    OVINPDF_FIT_FILL = 1,   /* as small as covers it, cut at the edges */
    OVINPDF_FIT_EXACT = 2,  /* stretched to it exactly */
    OVINPDF_FIT_SHRINK = 3, /* shrunk to fit inside, never enlarged */
    OVINPDF_FIT_ENLARGE = 4 /* enlarged to fit inside, never shrunk */
};
OVINPDF_API int32_t ovinpdf_set_page_size(ovinpdf_document* document, double width, double height);
OVINPDF_API int32_t ovinpdf_set_page_orientation(ovinpdf_document* document, int orientation);
OVINPDF_API int32_t ovinpdf_set_fit(ovinpdf_document* document, int fit);
/* Turns the image pages added after it clockwise by 0, 90, 180 or 270
 * degrees on top of their own orientation (a feeder that scans sideways, a
 * page the person turned); text pages stay. */
OVINPDF_API int32_t ovinpdf_set_rotation(ovinpdf_document* document, int degrees);
/* A box in points (0 by 0, the default, for none) that every image is
 * fitted into as the fit says: without a page size each page is then the
 * fitted image with its borders; with one, the image is centred on it. */
OVINPDF_API int32_t ovinpdf_set_image_size(ovinpdf_document* document, double width, double height);
OVINPDF_API int32_t ovinpdf_set_border(ovinpdf_document* document, double horizontal,
                                       double vertical);
/* A page size from its name (A0 to A6, B0 to B6, C4 to C6, Letter, Legal,
 * Tabloid) or as WIDTHxHEIGHT with a unit (mm, cm, in, pt) after each number
 * or at the end, in points; false when text is neither or the size is
 * outside 3 points to 200 inches. */
OVINPDF_API bool ovinpdf_page_size_from_text(const char* text, double* width, double* height);

/* Document information. Dates are seconds since 1970 (UTC), up to the end
 * of the year 9999; by default the time of the save, or SOURCE_DATE_EPOCH
 * when it is set. */
OVINPDF_API int32_t ovinpdf_set_author(ovinpdf_document* document, const char* author);
OVINPDF_API int32_t ovinpdf_set_subject(ovinpdf_document* document, const char* subject);
OVINPDF_API int32_t ovinpdf_set_keywords(ovinpdf_document* document, const char* keywords);
OVINPDF_API int32_t ovinpdf_set_creator(ovinpdf_document* document, const char* creator);
OVINPDF_API int32_t ovinpdf_set_creation_date(ovinpdf_document* document, int64_t seconds);
OVINPDF_API int32_t ovinpdf_set_modification_date(ovinpdf_document* document, int64_t seconds);

/* Writes the document. The file appears only when the whole save succeeds;
 * a file that was there before is left as it was by a failed or cancelled
 * save. progress may be NULL. */
OVINPDF_API int32_t ovinpdf_save(ovinpdf_document* document, const char* filename,
                                 ovinpdf_progress progress, void* context);

/* Writes the document to an open file descriptor (a pipe, standard output)
 * as it goes; a failed save may leave part of it there. name names it in
 * messages. The descriptor stays the caller's. */
OVINPDF_API int32_t ovinpdf_save_to_fd(ovinpdf_document* document, int fd, const char* name,
                                       ovinpdf_progress progress, void* context);

/* The warnings of the document so far, one line each. */
OVINPDF_API size_t ovinpdf_warning_count(const ovinpdf_document* document);
OVINPDF_API const char* ovinpdf_warning(const ovinpdf_document* document, size_t index);
/* The message of the document's last failure; "" when none failed. */
OVINPDF_API const char* ovinpdf_last_error(const ovinpdf_document* document);

/* The library's name, version and maker, one item per line. */
OVINPDF_API const char* ovinpdf_about(void);

#ifdef __cplusplus
}
#endif

#endif
