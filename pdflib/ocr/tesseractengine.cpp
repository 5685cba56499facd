// libovinpdf-ocr.so: Tesseract engines for the library's text
// recognition (ocr/ocrbackend.h). Tesseract's own OpenMP threads are kept
// to one, as the pages themselves run on every core.
#include "ocr/ocrbackend.h"
#include "version.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

// Tesseract's message function, exported by libtesseract but not in its
// headers.
namespace tesseract {
void tprintf(const char* format, ...);
}

namespace ovin {

namespace {

// Debian's libtesseract runs parts of a page on OpenMP threads, as many as
// the cores, spinning while they wait: with a page on every core already
// they only take the cores from each other (4 pages took twice as long).
// OMP_THREAD_LIMIT is read only when libgomp loads, which is before any of
// the library runs, so parallel regions are made inactive instead: with no
// active level allowed, every one runs on the thread that meets it. The
// setting is the calling thread's own (libgomp keeps it per thread).
void oneopenmpthread() {
    thread_local bool done = false;
    if (done) {
        return;
    }
    done = true;
    using setter = void (*)(int);
    static setter levels = [] {
        void* gomp = dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD);
        // libgomp stays loaded with libtesseract, which needs it.
        return gomp == nullptr ? nullptr
                               : reinterpret_cast<setter>(dlsym(gomp, "omp_set_max_active_levels"));
    }();
    if (levels != nullptr) {
        levels(0);
    }
}

// Tesseract's messages go nowhere: what went wrong comes back as a status.
// Its debug file is one for the process (a global parameter, a file that
// its first message opens), so it is set and opened once, before any
// engine runs, not by each engine on its own thread.
void quiettesseract() {
    static std::once_flag once;
    std::call_once(once, [] {
        tesseract::TessBaseAPI api;
        api.SetVariable("debug_file", "/dev/null");
        tesseract::tprintf("%s", "");
    });
}

bool cancelled(void* stop, int) {
    return static_cast<const std::atomic<bool>*>(stop)->load(std::memory_order_relaxed);
}

class tesseractengine final : public ocrbackend {
public:
    tesseractengine() = default;
    ~tesseractengine() override {
        if (api_) {
            api_->End();
        }
        if (osd_) {
            osd_->End();
        }
    }
    tesseractengine(const tesseractengine&) = delete;
    tesseractengine& operator=(const tesseractengine&) = delete;

    bool load(const std::string& languages, std::vector<std::string>& loaded) override;
    bool loadorientation() override;
    bool recognise(const uint8_t* grey, int32_t width, int32_t height, int dpi,
                   const std::atomic<bool>& stop, std::vector<ocrword>& words) override;
    int uprightturn(const uint8_t* grey, int32_t width, int32_t height, int dpi) override;

private:
    std::unique_ptr<tesseract::TessBaseAPI> api_;
    std::unique_ptr<tesseract::TessBaseAPI> osd_;
};

bool tesseractengine::load(const std::string& languages, std::vector<std::string>& loaded) {
    oneopenmpthread();
    quiettesseract();
    api_ = std::make_unique<tesseract::TessBaseAPI>();
    if (api_->Init(nullptr, languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
        api_.reset();
        return false;
    }
    api_->GetLoadedLanguagesAsVector(&loaded);
    api_->SetPageSegMode(tesseract::PSM_AUTO);
    return true;
}

bool tesseractengine::loadorientation() {
    osd_ = std::make_unique<tesseract::TessBaseAPI>();
    if (osd_->Init(nullptr, "osd", tesseract::OEM_TESSERACT_ONLY) != 0) {
        osd_.reset();
        return false;
    }
    osd_->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    return true;
}

bool tesseractengine::recognise(const uint8_t* grey, int32_t width, int32_t height, int dpi,
                                const std::atomic<bool>& stop, std::vector<ocrword>& words) {
    oneopenmpthread();
    words.clear();
    api_->SetImage(grey, width, height, 1, width);
    api_->SetSourceResolution(std::clamp(dpi, 70, 2400));
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = cancelled;
    monitor.cancel_this = const_cast<std::atomic<bool>*>(&stop);
    if (api_->Recognize(&monitor) != 0 || stop.load()) {
        // A page Tesseract cannot take (too small, say) has no words.
        api_->Clear();
        return !stop.load();
    }
    std::unique_ptr<tesseract::ResultIterator> it(api_->GetIterator());
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_WORD)) {
                continue;
            }
            const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
            ocrword word;
            if (!text || !it->BoundingBox(tesseract::RIL_WORD, &word.left, &word.top, &word.right,
                                          &word.bottom)) {
                continue;
            }
            word.text = text.get();
            while (!word.text.empty() &&
                   std::isspace(static_cast<unsigned char>(word.text.back()))) {
                word.text.pop_back();
            }
            if (word.text.empty() || word.right <= word.left) {
                continue;
            }
            int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            word.baseline = word.bottom;
            if (it->Baseline(tesseract::RIL_WORD, &x1, &y1, &x2, &y2) && x2 != x1) {
                const double middle = (word.left + word.right) / 2.0;
                word.baseline = y1 + (y2 - y1) * (middle - x1) / (x2 - x1);
            }
            int lineleft = 0, linetop = 0, lineright = 0, linebottom = 0;
            int top = word.top;
            if (it->BoundingBox(tesseract::RIL_TEXTLINE, &lineleft, &linetop, &lineright,
                                &linebottom)) {
                top = std::min(top, linetop);
            }
            word.baseline = std::clamp<double>(word.baseline, word.top, word.bottom);
            word.ascent = std::max(1.0, word.baseline - top);
            words.push_back(std::move(word));
        } while (it->Next(tesseract::RIL_WORD));
    }
    api_->Clear();
    return true;
}

int tesseractengine::uprightturn(const uint8_t* grey, int32_t width, int32_t height, int dpi) {
    if (!osd_) {
        return 0;
    }
    oneopenmpthread();
    osd_->SetImage(grey, width, height, 1, width);
    osd_->SetSourceResolution(std::clamp(dpi, 70, 2400));
    int degrees = 0;
    float confidence = 0;
    const char* script = nullptr;
    float scriptconfidence = 0;
    const bool found =
        osd_->DetectOrientationScript(&degrees, &confidence, &script, &scriptconfidence);
    osd_->Clear();
    // Tesseract's confidence: about 15 for a third of a page of text, 2 for
    // a single line, where a wrong turn is as likely as a right one
    // (ocrmypdf asks for 14).
    constexpr float kSure = 5.0F;
    if (!found || confidence < kSure) {
        return 0;
    }
    // Tesseract tells how far the page is turned clockwise.
    return (360 - degrees % 360) % 360;
}

} // namespace

} // namespace ovin

extern "C" __attribute__((visibility("default"))) ovin::ocrbackend*
ovinpdfocr_makeengine(const char* version) noexcept {
    if (version == nullptr || std::strcmp(version, ovin::kLibraryVersion) != 0) {
        return nullptr;
    }
    return new (std::nothrow) ovin::tesseractengine();
}
