#include "ocr/recognise.h"

#include "ascii.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>
#include <mutex>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

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

std::vector<std::string> split(const std::string& languages) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t plus = 0; plus != std::string::npos; start = plus + 1) {
        plus = languages.find('+', start);
        out.push_back(languages.substr(start, plus == std::string::npos ? plus : plus - start));
    }
    return out;
}

// Whether Tesseract's data for a language is where Tesseract looks for it.
bool installed(const std::string& language) {
    namespace fs = std::filesystem;
    std::vector<fs::path> folders;
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix != nullptr && *prefix) {
        folders.emplace_back(prefix);
        folders.emplace_back(fs::path(prefix) / "tessdata");
    }
    folders.emplace_back("/usr/share/tesseract-ocr/5/tessdata");
    std::error_code ec;
    return std::any_of(folders.begin(), folders.end(), [&](const fs::path& folder) {
        return fs::exists(folder / (language + ".traineddata"), ec);
    });
}

std::string debianpackage(const std::string& language) {
    std::string name = "tesseract-ocr-";
    for (const char c : language) {
        name.push_back(c == '_' ? '-' : tolowerascii(c));
    }
    return name;
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

status loadfailure(const std::string& languages) {
    for (const std::string& language : split(languages)) {
        if (!installed(language)) {
            return {OVINPDF_IMAGE_ERROR, "the text recognition language " + language +
                                             " is not installed (Debian package " +
                                             debianpackage(language) + ")"};
        }
    }
    return {OVINPDF_IMAGE_ERROR,
            "Tesseract cannot load the text recognition languages " + languages};
}

bool cancelled(void* stop, int) {
    return static_cast<const std::atomic<bool>*>(stop)->load(std::memory_order_relaxed);
}

} // namespace

bool validocrlanguages(const std::string& languages) {
    if (languages.empty() || languages.size() > 200) {
        return false;
    }
    for (const std::string& name : split(languages)) {
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_';
            })) {
            return false;
        }
    }
    return true;
}

ocrengine::ocrengine() = default;

ocrengine::~ocrengine() {
    if (api_) {
        api_->End();
    }
    if (osd_) {
        osd_->End();
    }
}

status ocrengine::start(const std::string& languages, bool orientation) {
    oneopenmpthread();
    quiettesseract();
    // Tesseract goes on without a language it cannot load, as long as one
    // loads: each must be there.
    for (const std::string& language : split(languages)) {
        if (!installed(language)) {
            return loadfailure(languages);
        }
    }
    api_ = std::make_unique<tesseract::TessBaseAPI>();
    if (api_->Init(nullptr, languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
        api_.reset();
        return loadfailure(languages);
    }
    std::vector<std::string> loaded;
    api_->GetLoadedLanguagesAsVector(&loaded);
    for (const std::string& language : split(languages)) {
        if (std::find(loaded.begin(), loaded.end(), language) == loaded.end()) {
            api_.reset();
            return {OVINPDF_IMAGE_ERROR, "Tesseract cannot load the text recognition language " +
                                             language + " (Debian package " +
                                             debianpackage(language) + ")"};
        }
    }
    api_->SetPageSegMode(tesseract::PSM_AUTO);
    if (orientation) {
        osd_ = std::make_unique<tesseract::TessBaseAPI>();
        if (osd_->Init(nullptr, "osd", tesseract::OEM_TESSERACT_ONLY) != 0) {
            osd_.reset();
            return {OVINPDF_IMAGE_ERROR, "the orientation detection data of text recognition "
                                         "is not installed (Debian package tesseract-ocr-osd)"};
        }
        osd_->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    }
    return {};
}

bool ocrengine::recognise(const uint8_t* grey, int32_t width, int32_t height, int dpi,
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

int ocrengine::uprightturn(const uint8_t* grey, int32_t width, int32_t height, int dpi) {
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

} // namespace ovin
