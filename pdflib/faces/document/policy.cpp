// The document face: the behaviour of the document API (and so of the
// command-line tool and the desktop program).
#include "faces/policy.h"
#include "compression/compress.h"
#include "faces/document/messages.h"
#include "numbers.h"
#include "posixio.h"
#include "quote.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace ovin {

namespace {

// Below this many dots per inch a scan is a poor one, too coarse for its
// text to be read again: a file's own resolution that low is worth a word.
constexpr uint16_t kLowResolution = 150;

uint16_t todpi(double dpi) {
    return static_cast<uint16_t>(std::clamp<int64_t>(roundeven(dpi), 1, 0xFFFF));
}

// A file that cannot be opened: a missing one is "not found", anything else
// fails with the system's reason.
status openfailure(int error) {
    const status failed = status::failed(fault::system(error));
    return error == ENOENT ? failed.recoded(OVINPDF_FILE_NOT_FOUND) : failed;
}

// Replaces the pipe `source` reads with a file that holds all its bytes:
// the pipe opened again to wait for its writer, as any reader of a FIFO
// does, and read to its end.
int copypipe(const std::string& name, filesource& source) {
    const int pipe = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (pipe < 0) {
        return errno;
    }
    const filedescriptor reading(pipe);
    const int copy = makeunnamedfile();
    if (copy < 0) {
        return errno;
    }
    if (const int error = copytoend(pipe, copy); error != 0) {
        ::close(copy);
        return error;
    }
    return source.adopt(copy);
}

// What a page is that --jpeg-quality does not make JPEG, or empty when it
// does (8-bit grey or colour samples the compression stage codes).
std::string jpegqualityexempt(const imagedesc& page) {
    if (page.filter == pdffilter::dct) {
        return "JPEG";
    }
    if (page.filter == pdffilter::jpx) {
        return "JPEG 2000";
    }
    if (page.bitspercomponent == 1 || page.filter == pdffilter::ccittfax) {
        return "bilevel";
    }
    if (page.colour == colourspace::indexed) {
        return "palette";
    }
    if (page.colour == colourspace::cmyk) {
        return "CMYK";
    }
    if (page.bitspercomponent != 8) {
        return std::to_string(page.bitspercomponent) + "-bit";
    }
    if (page.filter != pdffilter::none) {
        return "stored";
    }
    return {};
}

// One line for the files with pages that --jpeg-quality leaves alone.
void notejpegquality(const std::string& name, const std::string& shown, const imagedesc& page,
                     warninglist& warnings) {
    const std::string why = jpegqualityexempt(page);
    if (!why.empty()) {
        warnings.addshared(
            "--jpeg-quality does not apply to the " + why + " pages of {n} files, kept as they are",
            name,
            shown + ": --jpeg-quality does not apply to its " + why + " pages, kept as they are");
    }
}

class documentpolicy final : public facepolicy {
public:
    bool validname(const std::string&) const override { return true; }

    // By the file's first bytes, whatever its name says. A FIFO or pipe
    // (a process substitution, /dev/stdin) is read to its end into a file
    // without a name, which its pages keep: its bytes cannot be read twice.
    status identify(const std::string& name, identified& file) const override {
        auto source = std::make_shared<filesource>();
        if (const int error = source->open(name); error != 0) {
            return openfailure(error);
        }
        if (source->pipe()) {
            if (const int error = copypipe(name, *source); error != 0) {
                return status::failed(fault::system(error));
            }
            file.keep = true;
        } else if (!source->regular()) {
            return status::failed(fault::notregular());
        }
        std::array<uint8_t, 32> head{};
        int error = 0;
        const int64_t got = source->readat(0, head.data(), head.size(), error);
        if (got < 0) {
            return status::failed(fault::system(error));
        }
        file.kind = kindbysignature(head.data(), static_cast<size_t>(got));
        if (file.kind == imagekind::unknown) {
            return {OVINPDF_UNSUPPORTED_TYPE,
                    shown(name) + " is not a JPEG, TIFF, PNG, BMP, PNM, JPEG 2000, WebP, "
                                  "GIF, HEIC, AVIF or JPEG XL image"};
        }
        file.source = std::move(source);
        return {};
    }

    bool allowsrepeats() const override { return true; }
    std::string shown(const std::string& name) const override { return quotename(name); }

    status readpage(imagekind kind, const std::string& name, bytesource* source, uint32_t page,
                    imagedata mode, readcontext& context, imagedesc& out) const override {
        const readfunction reader = findreader(kind);
        if (reader == nullptr) {
            return {OVINPDF_UNSUPPORTED_TYPE, shown(name)};
        }
        probecache* cache = context.cache;
        const bool cached = cache != nullptr && cache->file == name;
        // The file read last stays open for its next page.
        if (source == nullptr && cached && cache->source) {
            source = cache->source.get();
        }
        std::shared_ptr<bytesource> opened;
        if (source == nullptr) {
            auto file = std::make_shared<filesource>();
            if (const int error = file->open(name); error != 0) {
                return openfailure(error);
            }
            source = file.get();
            opened = std::move(file);
        }
        // The cache's list is lent for the call, not copied: every page of
        // a long file costs the same.
        std::vector<uint64_t> directories;
        std::shared_ptr<readerstate> state;
        if (cached) {
            directories.swap(cache->tiffdirectories);
            state.swap(cache->state);
        }
        const std::string shownname = shown(name);
        const documentoptions& options = context.options;
        const status result = reader({*source, shownname, page, mode, &directories,
                                      options.jpegquality > 0, options.firstframe, &state},
                                     out);
        if (result.ok() && mode == imagedata::read && options.jpegquality > 0) {
            notejpegquality(name, shownname, out, context.warnings);
        }
        if (result.ok() && !out.lossycoding.empty() && !options.lossless) {
            const std::string coding =
                out.lossycoding + " coded again as JPEG at quality " +
                std::to_string(options.jpegquality > 0 ? options.jpegquality : kLossyQuality);
            context.warnings.addshared(
                "{n} files in lossy " + coding + " (--lossless keeps them lossless)", name,
                shownname + ": lossy " + coding + " (--lossless keeps it lossless)");
        }
        if (cache != nullptr) {
            if (!cached) {
                cache->file = name;
                cache->source.reset();
            }
            if (opened) {
                cache->source = std::move(opened);
            }
            cache->tiffdirectories.swap(directories);
            cache->state.swap(state);
        }
        return result;
    }

    // The file's own resolution unless one is forced, else the default (200
    // unless set); a missing or low resolution gives one warning line for
    // the file.
    void resolve(const std::string& name, readcontext& context, imagedesc& out) const override {
        const documentoptions& options = context.options;
        if (options.forcedpi > 0) {
            out.xdpi = out.ydpi = todpi(options.forcedpi);
            return;
        }
        if (out.xdpi != 0 && out.ydpi != 0) {
            if (out.xdpi < kLowResolution || out.ydpi < kLowResolution) {
                const std::string dpi = out.xdpi == out.ydpi ? std::to_string(out.xdpi)
                                                             : std::to_string(out.xdpi) + " x " +
                                                                   std::to_string(out.ydpi);
                context.warnings.addshared(
                    "{n} files have a low resolution (" + dpi + " dpi), taken as it is", name,
                    shown(name) + ": low resolution (" + dpi + " dpi), taken as it is");
            }
            return;
        }
        const uint16_t dpi = todpi(options.defaultdpi > 0 ? options.defaultdpi : 200);
        out.xdpi = out.xdpi != 0 ? out.xdpi : dpi;
        out.ydpi = out.ydpi != 0 ? out.ydpi : dpi;
        const std::string assumed = std::to_string(dpi) + " dpi assumed";
        context.warnings.addshared("{n} files give no resolution, " + assumed, name,
                                   shown(name) + ": no resolution, " + assumed);
    }

    // Says how large the page would be and the two ways out.
    status oversize(const std::string& name, const imagedesc& page, bool) const override {
        const auto inches = [](int32_t pixels, uint16_t dpi) {
            return formatreal(std::round(static_cast<long double>(pixels) / dpi * 10) / 10);
        };
        return {OVINPDF_IMAGE_ERROR,
                shown(name) + ": " + std::to_string(page.width) + " x " +
                    std::to_string(page.height) + " pixels at " + std::to_string(page.xdpi) +
                    " x " + std::to_string(page.ydpi) + " dpi make a page of " +
                    inches(page.width, page.xdpi) + " x " + inches(page.height, page.ydpi) +
                    " inches, more than the 200 inches a page may have a side; lay it out on "
                    "a page (--page-size=A4, say) or give its resolution (--dpi)"};
    }

    // Decoded samples go through the one compression stage.
    status code(const std::string& name, imagekind, uint32_t, const codingcontext& context,
                imagedesc& image) const override {
        return compressimage(image, context.options, shown(name));
    }

    objectlayout layout() const override { return objectlayout::compact; }
    bool describesdocument() const override { return true; }
    bool preparesahead(const documentoptions& options) const override {
        return options.prepareahead;
    }
    bool keepsfacts() const override { return true; }
    bool flowstext() const override { return true; }

    pagefault pagefailure(const std::string& name, const status& failure) const override {
        std::string text = plainmessage(operation::adding, name, failure);
        status reported(OVINPDF_IMAGE_ERROR, text);
        return {std::move(text), std::move(reported)};
    }

    std::optional<std::string> errordetail(const status& failure) const override {
        if (failure.hasdetail()) {
            return failure.detail();
        }
        return std::nullopt;
    }
};

} // namespace

std::unique_ptr<facepolicy> makedocumentface() {
    return std::make_unique<documentpolicy>();
}

} // namespace ovin
