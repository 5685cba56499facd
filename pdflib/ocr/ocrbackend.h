// What the text recognition module (libovinpdf-ocr.so) gives the library:
// Tesseract engines behind a small interface, so that libovinpdf.so and
// the tool load Tesseract and everything it brings (its TLS, archive and
// network libraries) only in a process that recognises text.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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

// One Tesseract engine, used from one thread at a time.
class ocrbackend {
public:
    virtual ~ocrbackend() = default;
    // Loads the languages ("eng+deu"); false when Tesseract cannot. The
    // languages it did load go into `loaded` (it leaves out one it cannot
    // find as long as another loads).
    virtual bool load(const std::string& languages, std::vector<std::string>& loaded) = 0;
    // Loads the orientation detection data; false when it is missing.
    virtual bool loadorientation() = 0;
    // The words of a page of 8-bit grey rows at `dpi`; false when `stop`
    // was set while it ran.
    virtual bool recognise(const uint8_t* grey, int32_t width, int32_t height, int dpi,
                           const std::atomic<bool>& stop, std::vector<ocrword>& words) = 0;
    // Degrees clockwise (0, 90, 180, 270) that the page should be turned
    // to stand upright; 0 where the detection is unsure or not loaded.
    virtual int uprightturn(const uint8_t* grey, int32_t width, int32_t height, int dpi) = 0;
};

// The module's file name, looked for next to the code that loads it (the
// library, or the tool with the static core) and in the library's private
// folder; the install rules use the same names.
inline constexpr char kOcrModuleFile[] = "libovinpdf-ocr.so";
inline constexpr char kOcrModuleFolder[] = "ovinpdf";
inline constexpr char kOcrModuleFactory[] = "ovinpdfocr_makeengine";

} // namespace ovin

// The module's one export: a new engine, owned by the caller, or null for
// another build of the library (version differs) or without memory.
extern "C" ovin::ocrbackend* ovinpdfocr_makeengine(const char* version) noexcept;
