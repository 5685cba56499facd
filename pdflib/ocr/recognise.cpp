#include "ocr/recognise.h"

#include "ascii.h"
#include "version.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace ovin {

namespace {

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

namespace {

// An object of the code that loads the module (libovinpdf.so, or the tool
// with the static core), whose address tells dladdr which file that is.
constexpr char kAnchor = 0;

// A new engine from the module, which is loaded once and never closed (the
// engines' code lives in it); null when it cannot be found or refuses.
std::unique_ptr<ocrbackend> makebackend() {
    static void* const factory = []() -> void* {
        std::vector<std::string> paths;
        Dl_info info{};
        if (dladdr(&kAnchor, &info) != 0 && info.dli_fname != nullptr) {
            const std::string loader = info.dli_fname;
            const std::string folder = loader.substr(0, loader.rfind('/') + 1);
            paths.push_back(folder + kOcrModuleFile);
            paths.push_back(folder + kOcrModuleFolder + '/' + kOcrModuleFile);
        }
        // Where the build tree and the installed tree keep it, for the tool
        // and the tests, which carry the core themselves.
        for (const char* folder : {OVINPDF_OCR_MODULE_DIRS}) {
            paths.push_back(std::string(folder) + '/' + kOcrModuleFile);
        }
        for (const std::string& path : paths) {
            if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); module != nullptr) {
                if (void* symbol = dlsym(module, kOcrModuleFactory); symbol != nullptr) {
                    return symbol;
                }
                dlclose(module);
            }
        }
        return nullptr;
    }();
    if (factory == nullptr) {
        return nullptr;
    }
    const auto make = reinterpret_cast<decltype(&ovinpdfocr_makeengine)>(factory);
    return std::unique_ptr<ocrbackend>(make(kLibraryVersion));
}

} // namespace

ocrengine::ocrengine() = default;

ocrengine::~ocrengine() = default;

status ocrengine::start(const std::string& languages, bool orientation) {
    // Tesseract goes on without a language it cannot load, as long as one
    // loads: each must be there.
    for (const std::string& language : split(languages)) {
        if (!installed(language)) {
            return loadfailure(languages);
        }
    }
    engine_ = makebackend();
    if (!engine_) {
        return {OVINPDF_IMAGE_ERROR, std::string("text recognition is not available: its module ") +
                                         kOcrModuleFile + " is missing or of another version"};
    }
    std::vector<std::string> loaded;
    if (!engine_->load(languages, loaded)) {
        engine_.reset();
        return loadfailure(languages);
    }
    for (const std::string& language : split(languages)) {
        if (std::find(loaded.begin(), loaded.end(), language) == loaded.end()) {
            engine_.reset();
            return {OVINPDF_IMAGE_ERROR, "Tesseract cannot load the text recognition language " +
                                             language + " (Debian package " +
                                             debianpackage(language) + ")"};
        }
    }
    if (orientation && !engine_->loadorientation()) {
        engine_.reset();
        return {OVINPDF_IMAGE_ERROR, "the orientation detection data of text recognition "
                                     "is not installed (Debian package tesseract-ocr-osd)"};
    }
    return {};
}

bool ocrengine::recognise(const uint8_t* grey, int32_t width, int32_t height, int dpi,
                          const std::atomic<bool>& stop, std::vector<ocrword>& words) {
    words.clear();
    return engine_ && engine_->recognise(grey, width, height, dpi, stop, words);
}

int ocrengine::uprightturn(const uint8_t* grey, int32_t width, int32_t height, int dpi) {
    return engine_ ? engine_->uprightturn(grey, width, height, dpi) : 0;
}

} // namespace ovin
