// Re-encoding of TIFF pages stored in several strips, through the imaging
// library, into a single-strip TIFF or a JPEG file at the temporary path.
#include "prepare.h"

#include "imaging.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ovin {

namespace {

struct conversion {
    std::string options; // "KEY = VALUE" lines joined by CR
    std::string format;  // "TIF", "JPG" or empty
};

conversion conversionfor(const imgdata& record) {
    const std::string height = std::to_string(record.height);
    const std::string group4 =
        "COMPRESS = ON\rOVERWRITE = ON\rTIFF_COMPRESS = GROUP4\rTIFF_ROWSPERSTRIP = " + height;
    switch (record.compression) {
    case 1:
        return {"COMPRESS = OFF\rOVERWRITE = ON\rTIFF_ROWSPERSTRIP = " + height, "TIF"};
    case 2:
    case 4:
        return {group4, "TIF"};
    case 3:
        return {"COMPRESS = ON\rOVERWRITE = ON\rTIFF_COMPRESS = GROUP3\rTIFF_ROWSPERSTRIP = " +
                    height,
                "TIF"};
    case 32773:
        if (record.bits == 1) {
            return {group4, "TIF"};
        }
        return {"COMPRESS = ON\rOVERWRITE = ON\rJPEG_OPTIMIZE_CODING = ON\rLOSSY_QUALITY = 75",
                "JPG"};
    default:
        return {};
    }
}

// Releases on every path what one conversion made: the option block, the
// page bitmap, and the image unless a cache keeps it.
struct imagesession {
    ImgHandle image = 0;
    ImgHandle options = 0;
    ImgHandle bitmap = 0;
    imagesession() = default;
    imagesession(const imagesession&) = delete;
    imagesession& operator=(const imagesession&) = delete;
    ~imagesession() {
        if (options != 0) {
            ImgXOptBlkDel(options);
        }
        if (bitmap != 0) {
            ImgClose(bitmap);
        }
        if (image != 0) {
            ImgClose(image);
        }
    }
};

bool pathexists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0; // a dangling link counts too
}

} // namespace

conversioncache::~conversioncache() {
    close();
}

void conversioncache::close() {
    if (image != 0) {
        ImgClose(image);
    }
    image = 0;
    file.clear();
}

int32_t convertimage(librarystate& state, Ui& ui, const std::string& name, uint16_t page,
                     imgdata& record, conversioncache* cache) {
    const std::string& temp = state.tempimgpath;
    if (pathexists(temp)) {
        state.errorarg = temp;
        return -11;
    }
    imagesession session;
    ImgHandle image = 0;
    if (cache != nullptr && cache->image != 0 && cache->file == name) {
        image = cache->image;
    } else {
        if (cache != nullptr) {
            cache->close();
        }
        image = session.image = ImgOpenSolo(name.c_str(), record.ext.c_str());
        if (image == 0) {
            state.errorarg = "ImageMan cannot open image " + name;
            return -6;
        }
        if (cache != nullptr) {
            cache->file = name;
            cache->image = std::exchange(session.image, 0);
        }
    }
    if (ImgSetPage(image, int32_t{page} - 1) != 1) {
        state.errorarg = "ImageMan cannot find page " + std::to_string(page) + " in file " + name;
        return -6;
    }
    if (record.compression == 32773 && record.bits != 1 && record.bits != 8) {
        state.errorarg = "Unsupported bits per sample value of " + std::to_string(record.bits) +
                         " for PACKBITS compression in image " + name;
        return -6;
    }
    const conversion how = conversionfor(record);
    session.options = ImgXOptBlkCreate(how.options.c_str());
    session.bitmap = ImgGetDIB(image, 0, 0);
    const int written = ImgXWriteDIB(temp.c_str(), how.format.c_str(), session.bitmap,
                                     session.options, state.window, 0);
    if (written == kImgFileExists) {
        // Made by someone else since the test above: never read, never removed.
        state.errorarg = temp;
        return -11;
    }
    if (written != 1) {
        state.errorarg = "ImageMan cannot convert compression data in image " + name;
        return -6;
    }

    // From here the temporary file is ours, and it goes on every path.
    int32_t result = 0;
    try {
        imgdata converted;
        converted.ext = "." + how.format;
        result = probeimage(state, ui, temp, 1, converted);
        if (result == 0) {
            record.compression = converted.compression;
            record.datalen = converted.datalen;
            record.data = std::move(converted.data);
            // What a reader needs to decode the new data: a JPEG's component
            // count, the Group 3 options the encoder used.
            record.samples = converted.compression == 6 ? converted.samples : record.samples;
            record.t4options = converted.t4options;
        }
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (::unlink(temp.c_str()) != 0) {
        ui.message("Unable to delete file " + temp);
    }
    return result;
}

} // namespace ovin
