// Text recognition with Tesseract: one engine per thread, each loaded with
// the document's languages, recognising one page's grey pixels at a time
// into words with their boxes. Tesseract's own OpenMP threads are kept to
// one, as the pages themselves run on every core.
#pragma once

#include "status.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace ovin {

// A recognised word in the pixels it was recognised in (rows from the
// top): its box, where its baseline is under its middle, and the height of
// its line above the baseline.
struct ocrword {
    std::string text; // UTF-8
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    double baseline = 0;
    double ascent = 0;
};

// Whether a language list ("eng", "eng+deu") is well formed: names of
// letters, digits and underscores joined by '+'.
bool validocrlanguages(const std::string& languages);

class ocrengine {
public:
    ocrengine();
    ~ocrengine();
    ocrengine(const ocrengine&) = delete;
    ocrengine& operator=(const ocrengine&) = delete;

    // Loads the languages (and, for orientation, Tesseract's orientation
    // data). A language that is not installed fails with a message that
    // names it and its Debian package.
    status start(const std::string& languages, bool orientation);

    // The words of a page of 8-bit grey rows at `dpi`; false when `stop`
    // was set while it ran (or Tesseract failed).
    bool recognise(const uint8_t* grey, int32_t width, int32_t height, int dpi,
                   const std::atomic<bool>& stop, std::vector<ocrword>& words);

    // Degrees clockwise (0, 90, 180, 270) that the page should be turned
    // to stand upright; 0 where the detection is unsure.
    int uprightturn(const uint8_t* grey, int32_t width, int32_t height, int dpi);

private:
    std::unique_ptr<tesseract::TessBaseAPI> api_;
    std::unique_ptr<tesseract::TessBaseAPI> osd_;
};

} // namespace ovin
