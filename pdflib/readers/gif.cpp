// GIF pages. giflib reads the file's records through a callback over the
// byte source. Counting the frames walks the records and passes over each
// frame's LZW blocks without decoding them; a page is composed by decoding
// frames in order onto an RGBA screen, and the screen with the decoder is
// kept for the next page of the same file, so that a long animation costs
// one decoding pass over its frames.
#include "readers/gif.h"

#include "readers/decoded.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace ovin {

namespace {

// The pixels of all pages together: more would be an absurd document.
constexpr uint64_t kMaxPagePixels = uint64_t{1} << 34;

status refuse(const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, "GIF file " + name + ": " + why};
}

std::string gifreason(int error) {
    if (error == D_GIF_ERR_READ_FAILED || error == D_GIF_ERR_EOF_TOO_SOON) {
        return "the file is truncated";
    }
    const char* text = GifErrorString(error);
    return text != nullptr ? std::string("giflib: ") + text
                           : "giflib error " + std::to_string(error);
}

// giflib's reader over a byte source, from the start of the file.
struct gifinput {
    bytesource* source = nullptr;
    uint64_t position = 0;
    fault ioerror;
};

int readbytes(GifFileType* gif, GifByteType* buffer, int n) {
    auto* in = static_cast<gifinput*>(gif->UserData);
    if (n <= 0) {
        return 0;
    }
    int error = 0;
    const int64_t got = in->source->readat(in->position, buffer, static_cast<size_t>(n), error);
    if (got < 0) {
        in->ioerror = fault::system(error);
        return 0;
    }
    in->position += static_cast<uint64_t>(got);
    return static_cast<int>(got);
}

struct gifdeleter {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using gifhandle = std::unique_ptr<GifFileType, gifdeleter>;

status opengif(gifinput& input, const std::string& name, gifhandle& gif) {
    input.position = 0;
    int error = 0;
    gif.reset(DGifOpen(&input, readbytes, &error));
    if (!gif) {
        if (input.ioerror) {
            return status::failed(input.ioerror);
        }
        return refuse(name,
                      error == D_GIF_ERR_NOT_GIF_FILE ? "no GIF signature" : gifreason(error));
    }
    const uint64_t pixels =
        uint64_t(std::max(gif->SWidth, 0)) * uint64_t(std::max(gif->SHeight, 0));
    // (LZW data gives at most some 2700 pixels a byte.)
    if (pixels == 0 || !believablepixels(pixels, input.source->size())) {
        return refuse(name, "logical screen of " + std::to_string(gif->SWidth) + " x " +
                                std::to_string(gif->SHeight) + " pixels in a file of " +
                                std::to_string(input.source->size()) + " bytes");
    }
    return {};
}

status giffailure(const gifinput& input, const std::string& name, const GifFileType* gif) {
    if (input.ioerror) {
        return status::failed(input.ioerror);
    }
    return refuse(name, gifreason(gif->Error));
}

// Passes over a frame's LZW blocks without decoding them.
bool skipframe(GifFileType* gif) {
    int size = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &size, &block) == GIF_ERROR) {
        return false;
    }
    while (block != nullptr) {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) {
            return false;
        }
    }
    return true;
}

// Reads an extension; a graphic control block is kept in `control`.
bool readextension(GifFileType* gif, GraphicsControlBlock& control) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
        return false;
    }
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] == 4) {
        DGifExtensionToGCB(4, block + 1, &control);
    }
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
            return false;
        }
    }
    return true;
}

GraphicsControlBlock nocontrol() {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSAL_UNSPECIFIED;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    return control;
}

// The number of frames and the screen's size, walking the records to the
// trailer. giflib keeps each frame's description, so the walk goes on a
// handle of its own.
status countframes(bytesource& source, const std::string& name, uint32_t& frames, int& width,
                   int& height) {
    gifinput input;
    input.source = &source;
    gifhandle gif;
    if (status s = opengif(input, name, gif); !s.ok()) {
        return s;
    }
    frames = 0;
    GraphicsControlBlock control = nocontrol();
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) {
            return giffailure(input, name, gif.get());
        }
        if (record == TERMINATE_RECORD_TYPE) {
            break;
        }
        if (record == EXTENSION_RECORD_TYPE) {
            if (!readextension(gif.get(), control)) {
                return giffailure(input, name, gif.get());
            }
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR || !skipframe(gif.get())) {
                return giffailure(input, name, gif.get());
            }
            ++frames;
        }
    }
    if (frames == 0) {
        return refuse(name, "no image frames");
    }
    width = gif->SWidth;
    height = gif->SHeight;
    const uint64_t screen = uint64_t(width) * uint64_t(height);
    if (screen * frames > kMaxPagePixels) {
        return refuse(name, std::to_string(frames) + " frames on a logical screen of " +
                                std::to_string(gif->SWidth) + " x " + std::to_string(gif->SHeight) +
                                " pixels are too many to compose");
    }
    return {};
}

// A file being composed: the decoder after `done` frames and the screen as
// they left it.
struct gifstate final : readerstate {
    const bytesource* source = nullptr;
    uint32_t frames = 0;
    gifinput input;
    gifhandle gif;
    uint32_t done = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> screen; // RGBA
    // How the last frame is disposed of before the next is drawn.
    int disposal = DISPOSAL_UNSPECIFIED;
    int left = 0, top = 0, right = 0, bottom = 0; // its rectangle on the screen
    std::vector<uint8_t> before;                  // the screen before it (restore)
    GraphicsControlBlock control = nocontrol();
    // When the last frame covers the screen with colours of its table and
    // nothing transparent, the page is that frame as stored: its indices
    // and its table, in the file's order (which compresses best).
    bool whole = false;
    std::vector<uint8_t> indices;
    std::vector<uint8_t> table; // RGB triplets
};

status startcomposing(const std::string& name, gifstate& state) {
    state.done = 0;
    state.disposal = DISPOSAL_UNSPECIFIED;
    state.control = nocontrol();
    if (status s = opengif(state.input, name, state.gif); !s.ok()) {
        return s;
    }
    // Browsers start from a transparent screen, whatever the background.
    state.screen.assign(size_t(state.width) * size_t(state.height) * 4, 0);
    return {};
}

void dispose(gifstate& state) {
    if (state.right <= state.left) {
        state.disposal = DISPOSAL_UNSPECIFIED;
        return;
    }
    const size_t rowbytes = size_t(state.right - state.left) * 4;
    for (int y = state.top; y < state.bottom; ++y) {
        uint8_t* row = state.screen.data() + (size_t(y) * state.width + state.left) * 4;
        if (state.disposal == DISPOSE_BACKGROUND) {
            std::memset(row, 0, rowbytes);
        } else if (state.disposal == DISPOSE_PREVIOUS) {
            std::memcpy(row, state.before.data() + size_t(y - state.top) * rowbytes, rowbytes);
        }
    }
    state.disposal = DISPOSAL_UNSPECIFIED;
}

// Decodes the next frame onto the screen.
status drawframe(const std::string& name, gifstate& state) {
    GifFileType* gif = state.gif.get();
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    if (map == nullptr) {
        return refuse(name, "frame " + std::to_string(state.done + 1) + " has no colour table");
    }
    dispose(state);
    // The part of the frame on the screen; the rest is decoded and dropped.
    const int left = std::clamp(desc.Left, 0, state.width);
    const int top = std::clamp(desc.Top, 0, state.height);
    const int right =
        static_cast<int>(std::clamp<int64_t>(int64_t{desc.Left} + desc.Width, left, state.width));
    const int bottom =
        static_cast<int>(std::clamp<int64_t>(int64_t{desc.Top} + desc.Height, top, state.height));
    const GraphicsControlBlock control = state.control;
    state.control = nocontrol();
    if (control.DisposalMode == DISPOSE_PREVIOUS && right > left) {
        const size_t rowbytes = size_t(right - left) * 4;
        state.before.resize(rowbytes * size_t(bottom - top));
        for (int y = top; y < bottom; ++y) {
            std::memcpy(state.before.data() + size_t(y - top) * rowbytes,
                        state.screen.data() + (size_t(y) * state.width + left) * 4, rowbytes);
        }
    }
    state.whole =
        desc.Left == 0 && desc.Top == 0 && desc.Width == state.width && desc.Height == state.height;
    if (state.whole) {
        state.indices.resize(size_t(state.width) * size_t(state.height));
        state.table.clear();
        for (int k = 0; k < map->ColorCount; ++k) {
            const GifColorType& c = map->Colors[k];
            state.table.insert(state.table.end(), {c.Red, c.Green, c.Blue});
        }
    }
    if (desc.Width <= 0 || desc.Height <= 0) {
        if (!skipframe(gif)) {
            return giffailure(state.input, name, gif);
        }
    } else {
        std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
        static constexpr std::array<int, 4> start{0, 4, 2, 1};
        static constexpr std::array<int, 4> step{8, 8, 4, 2};
        const int passes = desc.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int first = desc.Interlace ? start[pass] : 0;
            const int by = desc.Interlace ? step[pass] : 1;
            for (int row = first; row < desc.Height; row += by) {
                if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) {
                    return giffailure(state.input, name, gif);
                }
                const int64_t y = int64_t{desc.Top} + row;
                if (y < top || y >= bottom) {
                    continue;
                }
                uint8_t* out = state.screen.data() + (size_t(y) * state.width) * 4;
                if (state.whole) {
                    std::memcpy(state.indices.data() + size_t(y) * size_t(state.width), line.data(),
                                size_t(state.width));
                }
                for (int x = left; x < right; ++x) {
                    const int index = line[size_t(x - desc.Left)];
                    if (index == control.TransparentColor || index >= map->ColorCount) {
                        state.whole = false;
                    }
                    if (index == control.TransparentColor) {
                        continue;
                    }
                    uint8_t* pixel = out + size_t(x) * 4;
                    if (index < map->ColorCount) {
                        const GifColorType& c = map->Colors[index];
                        pixel[0] = c.Red;
                        pixel[1] = c.Green;
                        pixel[2] = c.Blue;
                    } else {
                        pixel[0] = pixel[1] = pixel[2] = 0; // outside the table: black
                    }
                    pixel[3] = 0xFF;
                }
            }
        }
    }
    state.disposal = control.DisposalMode;
    state.left = left;
    state.top = top;
    state.right = right;
    state.bottom = bottom;
    ++state.done;
    return {};
}

// Decodes frames up to frame `page`.
status compose(const std::string& name, gifstate& state, uint32_t page) {
    if (!state.gif || state.done >= page) {
        if (status s = startcomposing(name, state); !s.ok()) {
            return s;
        }
    }
    while (state.done < page) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        GifFileType* gif = state.gif.get();
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) {
            return giffailure(state.input, name, gif);
        }
        if (record == TERMINATE_RECORD_TYPE) {
            return refuse(name, "frame " + std::to_string(page) + " is missing");
        }
        if (record == EXTENSION_RECORD_TYPE) {
            if (!readextension(gif, state.control)) {
                return giffailure(state.input, name, gif);
            }
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR) {
                return giffailure(state.input, name, gif);
            }
            if (status s = drawframe(name, state); !s.ok()) {
                return s;
            }
        }
    }
    return {};
}

// Indices of a table of `count` colours as the page's samples, packed to
// the fewest bits PDF allows.
void packindices(const std::vector<uint8_t>& indices, int width, int height, size_t count,
                 imagedesc& out) {
    const int bits = count <= 2 ? 1 : count <= 4 ? 2 : count <= 16 ? 4 : 8;
    out.colour = colourspace::indexed;
    out.bitspercomponent = static_cast<uint16_t>(bits);
    if (bits == 8) {
        out.data = indices;
        return;
    }
    const size_t rowbytes = (size_t(width) * bits + 7) / 8;
    out.data.assign(rowbytes * size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data.data() + size_t(y) * rowbytes;
        const uint8_t* from = indices.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            const size_t bit = size_t(x) * bits;
            row[bit / 8] |= static_cast<uint8_t>(from[x] << (8 - bits - bit % 8));
        }
    }
}

// The screen as the page: indexed when every pixel is opaque and it shows
// at most 256 colours, else RGB with a soft mask where it is transparent.
void makepage(const gifstate& state, imagedesc& out) {
    const size_t pixels = size_t(state.width) * size_t(state.height);
    out.filter = pdffilter::none;
    out.softmask.reset();
    if (state.whole) {
        out.palette = state.table;
        packindices(state.indices, state.width, state.height, state.table.size() / 3, out);
        return;
    }
    const uint8_t* rgba = state.screen.data();
    bool transparent = false;
    std::vector<uint32_t> colours;
    std::array<int32_t, 4096> slots{}; // a hash of the colours seen: index + 1
    std::vector<uint8_t> indices(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = rgba + i * 4;
        if (p[3] == 0) {
            transparent = true;
            break;
        }
        const uint32_t rgb = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
        size_t slot = (rgb * 2654435761u) >> 20;
        while (slots[slot] != 0 && colours[size_t(slots[slot] - 1)] != rgb) {
            slot = (slot + 1) % slots.size();
        }
        if (slots[slot] == 0) {
            if (colours.size() == 256) {
                colours.push_back(rgb); // one too many
                break;
            }
            colours.push_back(rgb);
            slots[slot] = static_cast<int32_t>(colours.size());
        }
        indices[i] = static_cast<uint8_t>(slots[slot] - 1);
    }
    out.filter = pdffilter::none;
    out.softmask.reset();
    if (!transparent && colours.size() <= 256) {
        out.palette.clear();
        for (uint32_t c : colours) {
            out.palette.push_back(static_cast<uint8_t>(c >> 16));
            out.palette.push_back(static_cast<uint8_t>(c >> 8));
            out.palette.push_back(static_cast<uint8_t>(c));
        }
        packindices(indices, state.width, state.height, colours.size(), out);
        return;
    }
    out.colour = colourspace::rgb;
    out.bitspercomponent = 8;
    splitalpha({rgba, pixels * 4}, 3, 1, out);
}

} // namespace

status readgifpage(const readrequest& request, imagedesc& out) {
    const std::string& name = request.shown;
    std::shared_ptr<gifstate> state;
    if (request.state != nullptr) {
        state = std::dynamic_pointer_cast<gifstate>(*request.state);
    }
    if (!state || state->source != &request.source) {
        state = std::make_shared<gifstate>();
        state->source = &request.source;
        state->input.source = &request.source;
        if (status s =
                countframes(request.source, name, state->frames, state->width, state->height);
            !s.ok()) {
            return s;
        }
    }
    state->input.source = &request.source;
    const uint32_t pages = request.firstframe ? 1 : state->frames;
    if (request.page < 1 || request.page > pages) {
        return refuse(name, "no frame " + std::to_string(request.page));
    }
    if (request.state != nullptr) {
        *request.state = state;
    }
    out.pagesinfile = pages;
    out.width = state->width;
    out.height = state->height;
    // Until the page is composed it is taken as RGB: whether it is one of
    // few opaque colours shows only then.
    out.colour = colourspace::rgb;
    out.bitspercomponent = 8;
    out.filter = pdffilter::none;
    if (request.mode == imagedata::skip) {
        return {};
    }
    if (status s = compose(name, *state, request.page); !s.ok()) {
        state->gif.reset();
        return s;
    }
    makepage(*state, out);
    return {};
}

} // namespace ovin
