// Text recognition with Tesseract: one engine per thread, each loaded with
// the document's languages, recognising one page's grey pixels at a time
// into words with their boxes. The engines come from the text recognition
// module, loaded by the first engine that starts.
#pragma once

#include "ocr/ocrbackend.h"
#include "status.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ovin {

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
    std::unique_ptr<ocrbackend> engine_;
};

} // namespace ovin
