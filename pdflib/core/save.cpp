#include "core/save.h"

#include "compression/reencode.h"
#include "core/aheadworker.h"
#include "core/iccprofile.h"
#include "core/prepare.h"
#include "names.h"
#include "numbers.h"
#include "ocr/ocrpixels.h"
#include "ocr/recognise.h"
#include "pdf/imagepage.h"
#include "pdf/metadata.h"
#include "pdf/objectplan.h"
#include "pdf/ocrtext.h"
#include "pdf/outline.h"
#include "pdf/pdfoutput.h"
#include "pdf/pdftext.h"
#include "pdf/textpage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <thread>

namespace ovin {

namespace {

// The largest offset the ten digits of a cross-reference entry can hold.
constexpr uint64_t kMaxOffset = 9'999'999'999ULL;

std::string padded(uint64_t offset) {
    std::string digits = std::to_string(offset);
    return std::string(digits.size() < 10 ? 10 - digits.size() : 0, '0') + digits;
}

status ioerror(int code) {
    return status::systemerror(code);
}

// True when `target` names the same file as one of the document's images
// (the same device and inode: another spelling, a hard or a symbolic link).
bool targetisinput(const librarystate& state, const std::string& target) {
    struct stat out {};
    if (::stat(target.c_str(), &out) != 0) {
        return false;
    }
    for (const auto& [name, index] : state.lastpage) {
        if (!state.pages[static_cast<size_t>(index)].isimage) {
            continue;
        }
        struct stat in {};
        if (::stat(name.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            return true;
        }
    }
    return false;
}

// What a page shows a person while it is prepared, kept to be shown when
// the page is written: preparing may run on another thread, and the
// messages must come in page order all the same.
class pagemessages final : public HeadlessUi {
public:
    void message(const std::string& text) override { texts.push_back(text); }

    std::vector<std::string> texts;
};

// One page probed for writing, with what its probe said on the way.
struct preparedpage {
    // One description serves page after page (the probe resets it), so
    // that its data buffer is allocated once for the largest page.
    imagedesc image;
    status prepared;
    warninglist warnings;
    pagemessages messages;
};

// What preparing pages keeps from page to page: its own probe cache, so
// that two threads preparing pages never share one, and the page.
struct preparinglane {
    probecache cache;
    preparedpage page;
};

// A page being recognised: prepared, and its words in the pixels that its
// view maps onto the page.
struct ocrslot {
    preparinglane lane;
    std::vector<ocrword> words;
    ocrview view;
    bool done = false;
};

// What the recognition of a page needs: the thread's engine and the flag
// that stops it.
struct ocrwork {
    ocrengine& engine;
    const std::atomic<bool>& stop;
    ocrslot& slot;
};

class savejob {
public:
    savejob(librarystate& state, Ui& ui, const facepolicy& face, const std::string& filename,
            int fd = -1)
        : state_(state), ui_(ui), face_(face), filename_(filename), fd_(fd),
          plan_(static_cast<int64_t>(state.pages.size()), outlinetotal(state.outline),
                face.layout()) {
        if (face.flowstext()) {
            // Where text runs on over further pages the page count is only
            // known once the text is laid out on the document's page size,
            // which the facts kept when the images were added give.
            findpagesize();
            flowtextpages();
            plan_ = objectplan(n(), outlinetotal(outline()), face.layout());
        }
    }

    status run();

private:
    readcontext reading() {
        return {
            ui_,          state_.warnings, state_.options, state_.defaultxdpi, state_.defaultydpi,
            &first_.cache};
    }
    void findpagesize();
    void flowtextpages();
    void announce(int64_t i);
    void prepare(int64_t i, preparinglane& lane, ocrwork* ocr = nullptr);
    void recognise(int64_t i, ocrwork& work);
    void writeprepared(int64_t i, preparedpage& page, const ocrslot* ocr = nullptr);
    void writepages(bool ahead);
    void writerecognisedpages(ocrengine& first);
    // A probed page is at most 14400 points on a side.
    void setpagesize(const imagedesc& image) {
        const pointsize points = pagepoints(image);
        size_ = {static_cast<int32_t>(points.width), static_cast<int32_t>(points.height)};
    }
    // The document's layout with the turn that was set when the page was
    // added, not the one set last.
    pagelayout layoutof(const pageinfo& page) const {
        pagelayout layout = state_.options.layout;
        layout.rotate = page.rotate;
        return layout;
    }
    void writeerrorpage(int64_t i, const status& failure);
    void writetrailer();
    const std::vector<pageinfo>& pages() const { return flowed_ ? flowed_->pages : state_.pages; }
    outlinetree& outline() { return flowed_ ? flowed_->outline : state_.outline; }
    int64_t n() const { return static_cast<int64_t>(pages().size()); }

    librarystate& state_;
    Ui& ui_;
    const facepolicy& face_;
    const std::string& filename_;
    int fd_; // an open descriptor to write to instead of the named file, or -1
    objectplan plan_;
    pdfoutput out_;
    pagesize size_;
    preparinglane first_;  // pages prepared on the saving thread
    preparinglane second_; // pages prepared ahead on another thread
    conversioncache conversions_;
    status result_;
    bool newerpdf_ = false; // a page written needs PDF 1.5
    // The pages with every text page laid out, one page of lines each, and
    // the outline pointing into them; null where text is not flowed.
    struct flowedpages {
        std::vector<pageinfo> pages;
        outlinetree outline;
    };
    std::unique_ptr<flowedpages> flowed_;
    // The fonts of text pages with characters beyond Helvetica's, and why
    // none could be found.
    std::unique_ptr<textfonts> font_;
    status fontfailure_;
    // The font of the recognised text, where pages are recognised.
    ocrfont ocrfont_;
};

// The document's identifier: a digest of what makes it this document (its
// title, producer, dates and pages), the same for the same document saved
// again, as reproducible files need.
std::string fileidentifier(const librarystate& state, const std::vector<pageinfo>& pages,
                           int64_t created, int64_t modified) {
    // Two FNV-1a digests of 64 bits, started apart.
    uint64_t a = 0xCBF29CE484222325ULL;
    uint64_t b = 0x84222325CBF29CE4ULL;
    const auto mix = [&](std::string_view text) {
        for (const char c : text) {
            a = (a ^ static_cast<uint8_t>(c)) * 0x100000001B3ULL;
            b = (b ^ static_cast<uint8_t>(c)) * 0x100000001B3ULL + 0x9E37;
        }
        a = (a ^ 0xFF) * 0x100000001B3ULL; // ends every part
        b = (b ^ 0xFF) * 0x100000001B3ULL;
    };
    mix(state.pdftitle);
    mix(state.pdfmaker);
    mix(std::to_string(created) + " " + std::to_string(modified));
    for (const pageinfo& page : pages) {
        mix(page.name);
        mix(std::to_string(page.pagenumber));
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string id;
    for (const uint64_t half : {a, b}) {
        for (int shift = 60; shift >= 0; shift -= 4) {
            id.push_back(kHex[(half >> shift) & 0xF]);
        }
    }
    return id;
}

// The document page size comes from the first image page that probes well
// (or, where the face keeps them, from the facts of the first image page
// when it was added); the classic resolution defaults come from it as well.
void savejob::findpagesize() {
    size_ = pagesize{};
    state_.defaultxdpi = -1;
    state_.defaultydpi = -1;
    const pagelayout& layout = state_.options.layout;
    if (layout.width > 0 && layout.height > 0) {
        // Text pages stand on the chosen page size, upright.
        const double w = std::min(layout.width, layout.height);
        const double h = std::max(layout.width, layout.height);
        const bool wide = layout.orientation == pageorientation::landscape;
        size_ = {static_cast<int32_t>(roundeven(wide ? h : w)),
                 static_cast<int32_t>(roundeven(wide ? w : h))};
    }
    for (const pageinfo& page : pages()) {
        if (!page.isimage) {
            continue;
        }
        imagedesc image;
        if (face_.keepsfacts()) {
            image.width = page.facts.width;
            image.height = page.facts.height;
            image.xdpi = page.facts.xdpi;
            image.ydpi = page.facts.ydpi;
        } else {
            readcontext context = reading();
            if (!readimage(face_, context, page.kind, page.name, page.kept.get(), 1,
                           imagedata::skip, image)
                     .ok()) {
                continue;
            }
        }
        if (size_.width == -1) {
            setpagesize(image);
        }
        state_.defaultxdpi = image.xdpi;
        state_.defaultydpi = image.ydpi;
        break;
    }
}

// Lays out every text page on the document's page size: its lines kept,
// long ones wrapped, what does not fit running on over further pages.
// Bookmarks keep pointing at the pages they were made for (the first of a
// text's pages).
void savejob::flowtextpages() {
    flowed_ = std::make_unique<flowedpages>();
    flowed_->outline = state_.outline;
    // Text beyond Windows-1252 is set in a font found for it and embedded.
    std::vector<std::string_view> texts;
    bool beyond = false;
    for (const pageinfo& page : state_.pages) {
        if (!page.isimage) {
            texts.emplace_back(page.name);
            // PDF/A embeds every font.
            beyond = beyond || !inwinansi(page.name) || state_.options.pdfa;
        }
    }
    if (beyond) {
        fontfailure_ = textfonts::find(texts, font_);
    }
    std::vector<int32_t> firstof; // the new index of each page
    firstof.reserve(state_.pages.size());
    for (const pageinfo& page : state_.pages) {
        firstof.push_back(static_cast<int32_t>(flowed_->pages.size()));
        if (page.isimage) {
            flowed_->pages.push_back(page);
            continue;
        }
        for (std::string& part : flowtext(page.name, size_, font_.get())) {
            pageinfo text = page;
            text.name = std::move(part);
            flowed_->pages.push_back(std::move(text));
        }
    }
    for (bookmark& b : flowed_->outline.nodes) {
        if (b.pageindex >= 0 && static_cast<size_t>(b.pageindex) < firstof.size()) {
            b.pageindex = firstof[static_cast<size_t>(b.pageindex)];
        }
    }
}

// A page whose image could not be prepared shows why; the save fails as
// the face reports such a page.
void savejob::writeerrorpage(int64_t i, const status& failure) {
    const std::string& name = pages()[static_cast<size_t>(i)].name;
    facepolicy::pagefault fault = face_.pagefailure(name, failure);
    result_ = std::move(fault.reported);
    writetextpage(out_, plan_, i, size_, {"** IMAGE ERROR **", towinansi(pdfescape(fault.text))});
}

// The progress window names the page about to be written.
void savejob::announce(int64_t i) {
    const pageinfo& page = pages()[static_cast<size_t>(i)];
    if (!page.isimage) {
        // A page of flowed text is named by its first line.
        ui_.progressStatus("Adding text " + page.name.substr(0, page.name.find('\n')));
    } else if (page.pagenumber <= 1) {
        ui_.progressStatus("Adding image " + page.name);
    } else {
        ui_.progressStatus("Adding image " + page.name + " (Page " +
                           std::to_string(page.pagenumber) + ")");
    }
    ui_.progressStep();
    ui_.processMessages();
}

// Probes page i with the lane's cache; its warnings and messages stay with
// the page. Touches nothing that another lane uses.
void savejob::prepare(int64_t i, preparinglane& lane, ocrwork* ocr) {
    const pageinfo& page = pages()[static_cast<size_t>(i)];
    preparedpage& prepared = lane.page;
    prepared.warnings.clear();
    prepared.messages.texts.clear();
    if (!page.isimage) {
        prepared.prepared = {};
        return;
    }
    readcontext context{prepared.messages,  prepared.warnings,  state_.options,
                        state_.defaultxdpi, state_.defaultydpi, &lane.cache};
    prepared.prepared = readimage(face_, context, page.kind, page.name, page.kept.get(),
                                  page.pagenumber, imagedata::read, prepared.image);
    if (prepared.prepared.ok() && ocr != nullptr) {
        // The samples as read, before the page's coding for the PDF.
        recognise(i, *ocr);
    }
    if (prepared.prepared.ok()) {
        const codingcontext coding{prepared.messages, state_.options, state_.tempimgpath,
                                   state_.window, &conversions_};
        prepared.prepared =
            face_.code(page.name, page.kind, page.pagenumber, coding, prepared.image);
    }
}

// Recognises the text of image page i, read into the work's slot: turned
// upright first where asked. A page whose pixels cannot be had is written
// without text, with a warning.
void savejob::recognise(int64_t i, ocrwork& work) {
    ocrslot& slot = work.slot;
    preparedpage& prepared = slot.lane.page;
    imagedesc& image = prepared.image;
    const pageinfo& page = pages()[static_cast<size_t>(i)];
    const auto skipped = [&](const std::string& why) {
        prepared.warnings.add(
            "No text was recognised on " + face_.shown(page.name) +
            (page.pagenumber > 1 ? " (page " + std::to_string(page.pagenumber) + ")" : "") + ": " +
            why);
    };
    // Recognising a picture of a few pixels is pointless, one of hundreds of
    // megapixels takes longer than anyone waits.
    constexpr int32_t kFewest = 8;
    constexpr uint64_t kMost = 200'000'000;
    if (image.width < kFewest || image.height < kFewest) {
        return;
    }
    if (uint64_t(image.width) * uint64_t(image.height) > kMost) {
        skipped("the page has more than " + std::to_string(kMost / 1'000'000) + " megapixels");
        return;
    }
    const pagelayout layout = layoutof(page);
    std::vector<uint8_t> grey;
    slot.view = viewof(image, layout);
    if (std::string why = greypixels(image, slot.view, grey); !why.empty()) {
        skipped(why);
        return;
    }
    const int dpi = std::max(image.xdpi, image.ydpi);
    if (state_.options.ocrorient) {
        if (const int turn =
                work.engine.uprightturn(grey.data(), slot.view.width, slot.view.height, dpi);
            turn != 0) {
            image.upright = turned(image.upright, turn);
            slot.view = viewof(image, layout);
            if (std::string why = greypixels(image, slot.view, grey); !why.empty()) {
                skipped(why);
                return;
            }
        }
    }
    work.engine.recognise(grey.data(), slot.view.width, slot.view.height, dpi, work.stop,
                          slot.words);
}

// Writes page i as prepared, after what its preparing said.
void savejob::writeprepared(int64_t i, preparedpage& prepared, const ocrslot* ocr) {
    state_.warnings.merge(prepared.warnings);
    for (const std::string& text : prepared.messages.texts) {
        ui_.message(text);
    }
    const pageinfo& page = pages()[static_cast<size_t>(i)];
    if (!page.isimage) {
        if (font_) {
            font_->number([this] { return plan_.extra(); });
            writetextlines(out_, plan_, i, size_, page.name, font_.get());
        } else if (flowed_) {
            writetextlines(out_, plan_, i, size_, page.name);
        } else {
            writetextpage(out_, plan_, i, size_, {pdfescape(towinansi(page.name))});
        }
        return;
    }
    imagedesc& image = prepared.image;
    if (!prepared.prepared.ok()) {
        writeerrorpage(i, prepared.prepared);
        return;
    }
    if (size_.width == -1) {
        setpagesize(image);
    }
    newerpdf_ = newerpdf_ || needspdf15(image);
    pagetext text;
    if (ocr != nullptr && !ocr->words.empty()) {
        ocrfont_.number([this] { return plan_.extra(); });
        text.font = ocrfont_.font();
        text.content = ocrcontent(ocr->words, ocr->view.touser, ocr->view.height, ocrfont_);
    }
    if (status written = writeimagepage(out_, plan_, i, image, layoutof(page), page.name,
                                        text.content.empty() ? nullptr : &text);
        !written.ok()) {
        result_ = written;
    }
}

// The pages in order with their text recognised, on a thread per core:
// each thread takes the next page, prepares and recognises it, while this
// thread writes the pages in order as they come. At most a page per thread
// and one more are held; Cancel stops the recognition under way.
void savejob::writerecognisedpages(ocrengine& first) {
    const size_t threads = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 64);
    const size_t window = threads + 1;
    std::vector<std::unique_ptr<ocrslot>> slots;
    for (size_t k = 0; k < window; ++k) {
        slots.push_back(std::make_unique<ocrslot>());
    }
    std::mutex mutex;
    std::condition_variable changed;
    int64_t next = 0;    // the next page a thread takes
    int64_t written = 0; // pages written
    std::atomic<bool> stop{false};
    std::exception_ptr thrown;
    status failed;
    const auto work = [&](ocrengine* engine) {
        ocrengine own;
        if (engine == nullptr) {
            if (status started = own.start(state_.options.ocrlanguages, state_.options.ocrorient);
                !started.ok()) {
                const std::lock_guard lock(mutex);
                failed = started;
                stop = true;
                changed.notify_all();
                return;
            }
            engine = &own;
        }
        for (;;) {
            int64_t i = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stop || next >= n() || next < written + static_cast<int64_t>(window);
                });
                if (stop || next >= n()) {
                    return;
                }
                i = next++;
            }
            ocrslot& slot = *slots[static_cast<size_t>(i) % window];
            slot.words.clear();
            try {
                ocrwork job{*engine, stop, slot};
                prepare(i, slot.lane, pages()[static_cast<size_t>(i)].isimage ? &job : nullptr);
            } catch (...) {
                const std::lock_guard lock(mutex);
                thrown = std::current_exception();
                stop = true;
            }
            const std::lock_guard lock(mutex);
            slot.done = true;
            changed.notify_all();
        }
    };
    // Whatever ends the writing (a failure thrown included), the threads
    // are stopped and joined first.
    struct joiner {
        std::vector<std::thread> threads;
        std::function<void()> stop;
        ~joiner() {
            stop();
            for (std::thread& t : threads) {
                t.join();
            }
        }
    } running{{}, [&] {
                  const std::lock_guard lock(mutex);
                  stop = true;
                  changed.notify_all();
              }};
    for (size_t k = 0; k < std::min<size_t>(threads, static_cast<size_t>(n())); ++k) {
        running.threads.emplace_back(work, k == 0 ? &first : nullptr);
    }
    const auto total = std::to_string(n());
    for (int64_t i = 0; i < n() && out_.error() == 0; ++i) {
        ocrslot& slot = *slots[static_cast<size_t>(i) % window];
        std::unique_lock lock(mutex);
        if (!slot.done) {
            ui_.progressStatus("Recognising page " + std::to_string(i + 1) + " of " + total);
        }
        while (!slot.done && !stop && !ui_.cancelled()) {
            changed.wait_for(lock, std::chrono::milliseconds(200));
            lock.unlock();
            ui_.progressWait();
            lock.lock();
        }
        if (ui_.cancelled()) {
            result_ = status(OVINPDF_CANCELLED, "Save cancelled by user");
            break;
        }
        if (!slot.done) {
            break; // a thread failed
        }
        lock.unlock();
        announce(i);
        writeprepared(i, slot.lane.page, &slot);
        lock.lock();
        slot.done = false;
        written = i + 1;
        changed.notify_all();
    }
    running.stop();
    for (std::thread& t : running.threads) {
        t.join();
    }
    running.threads.clear();
    if (thrown) {
        std::rethrow_exception(thrown);
    }
    if (!failed.ok() && result_.ok()) {
        result_ = failed;
    }
}

// The pages in order, each announced, prepared and written before the
// next; a Cancel stops the save before the next page. Two at a time where
// the face prepares ahead: page i+1 is handed to a second thread while page
// i is prepared and written here, then page i+1 is written (prepared here
// after all when the second thread has not begun it). At most two pages are
// in memory, and each page's warnings come with it: the file and the
// warnings are the same either way.
void savejob::writepages(bool ahead) {
    aheadworker worker;
    // Pages that take no work to speak of (data kept as stored) are not
    // worth a hand-over: a pair is shared only after a page that took long.
    constexpr auto kWorthSharing = std::chrono::milliseconds(2);
    bool share = false; // until a page has shown what pages take
    for (int64_t i = 0; i < n() && out_.error() == 0; i += 2) {
        if (ui_.cancelled()) {
            result_ = status(OVINPDF_CANCELLED, "Save cancelled by user");
            break;
        }
        const bool pair = i + 1 < n();
        const bool shared = pair && share;
        if (shared) {
            worker.post([this, i] { prepare(i + 1, second_); });
        }
        announce(i);
        const auto started = std::chrono::steady_clock::now();
        prepare(i, first_);
        share = ahead && std::chrono::steady_clock::now() - started >= kWorthSharing;
        writeprepared(i, first_.page);
        if (shared) {
            worker.finish();
        }
        if (!pair || out_.error() != 0) {
            break;
        }
        if (ui_.cancelled()) {
            result_ = status(OVINPDF_CANCELLED, "Save cancelled by user");
            break;
        }
        announce(i + 1);
        // Unshared, page i+1 is prepared in the first lane too: page i is
        // written, and the lane's open file and TIFF directories serve
        // the next page of the same file.
        preparinglane& lane = shared ? second_ : first_;
        if (!shared) {
            prepare(i + 1, lane);
        }
        writeprepared(i + 1, lane.page);
    }
}

void savejob::writetrailer() {
    const auto ref = pdfoutput::ref;
    // The document face also writes who made the document, when, and the
    // same again as XMP metadata.
    const bool face = face_.describesdocument();
    const documentinfo& info = state_.options.info;
    const int64_t created = face ? stamptime(info.created) : 0;
    const int64_t modified = face ? stamptime(info.modified) : 0;
    out_.beginobject(plan_.info());
    out_.writeline("<<");
    out_.writeline("/Producer " + pdftextstring(state_.pdfmaker));
    // An empty title would stand in viewers' title bars for the file name.
    if (!face || !state_.pdftitle.empty()) {
        out_.writeline("/Title " + pdftextstring(state_.pdftitle));
    }
    if (face) {
        for (const std::string& line : infolines(info, created, modified)) {
            out_.writeline(line);
        }
    }
    out_.writeline(">>");
    out_.endobject();

    out_.beginobject(plan_.pagetree());
    out_.writeline("<<");
    out_.writeline("/Type /Pages");
    std::string kids = "/Kids [ ";
    kids.reserve(kids.size() + static_cast<size_t>(n()) * 12);
    for (int64_t i = 0; i < n(); ++i) {
        kids += ref(plan_.page(i));
        kids += " ";
    }
    kids += "]";
    out_.writeline(kids);
    out_.writeline("/Count " + std::to_string(n()));
    out_.writeline(">>");
    out_.endobject();

    out_.beginobject(plan_.catalog());
    out_.writeline("<<");
    out_.writeline("/Type /Catalog");
    out_.writeline("/Pages " + ref(plan_.pagetree()));
    if (plan_.hasoutline()) {
        out_.writeline("/PageMode /UseOutlines");
        out_.writeline("/Outlines " + ref(plan_.outlineroot()));
    }
    const int64_t metadata = face ? plan_.extra() : 0;
    if (metadata != 0) {
        out_.writeline("/Metadata " + ref(metadata));
    }
    const bool pdfa = state_.options.pdfa;
    const int64_t intentprofile = pdfa ? plan_.extra() : 0;
    if (pdfa) {
        // Device colours are sRGB.
        out_.writeline("/OutputIntents [<< /Type /OutputIntent /S /GTS_PDFA1 "
                       "/OutputConditionIdentifier (sRGB IEC61966-2.1) /Info (sRGB IEC61966-2.1) "
                       "/DestOutputProfile " +
                       ref(intentprofile) + " >>]");
    }
    // The header's version comes from the first page of each file; a later
    // page that needs PDF 1.5 raises it here, where readers look too.
    if (newerpdf_ && !state_.needspdf15) {
        out_.writeline("/Version /1.5");
    }
    out_.writeline(">>");
    out_.endobject();

    if (metadata != 0) {
        const std::string xmp =
            xmppacket(state_.pdftitle, state_.pdfmaker, info, created, modified, pdfa);
        out_.beginobject(metadata);
        out_.writeline("<< /Type /Metadata /Subtype /XML /Length " + std::to_string(xmp.size()) +
                       " >>");
        out_.writestream(xmp);
        out_.endobject();
    }

    if (pdfa) {
        const std::vector<uint8_t> profile = srgbprofile();
        out_.beginobject(intentprofile);
        out_.writeline("<< /N 3 /Length " + std::to_string(profile.size()) + " >>");
        out_.writestream(profile.data(), profile.size());
        out_.endobject();
    }
    if (plan_.hasoutline()) {
        writeoutline(out_, plan_, outline());
    }
    if (font_) {
        if (status written = font_->write(out_); !written.ok()) {
            result_ = written;
        }
    }
    if (ocrfont_.numbered()) {
        ocrfont_.write(out_);
    }

    const uint64_t xref = out_.position();
    const auto& offsets = out_.offsets();
    out_.writeline("xref");
    out_.writeline("0 " + std::to_string(offsets.size() + 1));
    out_.writeline("0000000000 65535 f");
    for (uint64_t offset : offsets) {
        out_.writeline(padded(offset) + " 00000 n");
    }
    out_.writeline("trailer");
    out_.writeline("<<");
    out_.writeline("/Size " + std::to_string(offsets.size() + 1));
    out_.writeline("/Info " + ref(plan_.info()));
    out_.writeline("/Root " + ref(plan_.catalog()));
    if (pdfa) {
        const std::string id = fileidentifier(state_, pages(), created, modified);
        out_.writeline("/ID [<" + id + "> <" + id + ">]");
    }
    out_.writeline(">>");
    out_.writeline("startxref");
    out_.writeline(std::to_string(xref));
    out_.writeline("%%EOF");
    if (xref > kMaxOffset) {
        // The cross-reference table cannot describe a file this large.
        result_ = ioerror(EFBIG);
    }
}

status savejob::run() {
    const bool named = fd_ < 0;
    if (named && !face_.validname(filename_)) {
        return {OVINPDF_INVALID_NAME, filename_};
    }
    if (state_.pages.empty()) {
        return status(OVINPDF_NO_PAGES);
    }
    if (!fontfailure_.ok()) {
        return fontfailure_;
    }
    if (named && trimmed(filename_).empty()) {
        return status(OVINPDF_BLANK_NAME);
    }
    if (named && targetisinput(state_, filename_)) {
        // Writing the PDF would destroy one of its own pages.
        return {OVINPDF_INVALID_NAME, filename_};
    }
    if (plan_.count() > INT32_MAX) {
        return ioerror(EFBIG);
    }
    // The languages are loaded before the file is made: a missing one
    // fails the save at once.
    std::unique_ptr<ocrengine> ocr;
    if (!state_.options.ocrlanguages.empty()) {
        ocr = std::make_unique<ocrengine>();
        if (status started = ocr->start(state_.options.ocrlanguages, state_.options.ocrorient);
            !started.ok()) {
            return started;
        }
    }
    if (int err = named ? out_.open(filename_, plan_.count())
                        : out_.openfd(fd_, filename_, plan_.count())) {
        return ioerror(err);
    }

    bool shown = false;
    try {
        if (!flowed_) {
            findpagesize();
        }
        ui_.progressShow(filename_, static_cast<int32_t>(n()));
        shown = true;
        out_.writeline(state_.needspdf15 ? "%PDF-1.5" : "%PDF-1.4");
        if (state_.options.pdfa) {
            // Bytes above 127 tell file transfers that this is no text.
            out_.writeline("%\xE2\xE3\xCF\xD3");
            out_.setendstreamline(true);
        }
        if (ocr) {
            writerecognisedpages(*ocr);
        } else {
            // The classic face's progress window and Cancel follow one page
            // at a time: it never prepares ahead.
            writepages(face_.preparesahead(state_.options));
        }
        if (out_.error() == 0) {
            ui_.progressFinish("Finalizing PDF output...");
            writetrailer();
        }
    } catch (const std::bad_alloc&) {
        result_ = ioerror(ENOMEM);
    } catch (...) {
        result_ = ioerror(EIO);
    }

    if (result_.ok()) {
        if (int err = out_.commit()) {
            result_ = ioerror(err);
        }
    } else if (out_.error() != 0) {
        // A failed write overrides what the page loop reported.
        result_ = ioerror(out_.error());
    }
    if (shown) {
        ui_.progressClose();
    }
    if (!result_.ok() && !out_.discard()) {
        ui_.message("Unable to remove corrupt pdf file " + out_.name());
    }
    return result_;
}

} // namespace

status savepdf(librarystate& state, Ui& ui, const facepolicy& face, const std::string& filename) {
    return savepdftofd(state, ui, face, -1, filename);
}

status savepdftofd(librarystate& state, Ui& ui, const facepolicy& face, int fd,
                   const std::string& name) {
    try {
        return savejob(state, ui, face, name, fd).run();
    } catch (...) {
        // Nothing may escape a save: an allocation that fails before the
        // file is open ends it like any other resource failure.
        return ioerror(ENOMEM);
    }
}

} // namespace ovin
