#include "pdf/textpage.h"

#include "numbers.h"
#include "pdf/pdftext.h"

#include <algorithm>

namespace ovin {

namespace {

constexpr int32_t kFontSize = 8;
constexpr int32_t kLineStep = 12;

// Where the lines of a page go: characters a line, the left edge, the
// first baseline and the lowest one.
struct textarea {
    size_t wrap;
    int32_t x;
    int32_t top;
    int32_t bottom;
};

textarea areaof(pagesize size) {
    const bool letter = size.width == -1;
    textarea a{};
    a.wrap = static_cast<size_t>(
        letter ? 130 : roundeven(static_cast<long double>(size.width) / 8 * 1.5L));
    a.x =
        letter ? 72 : static_cast<int32_t>(roundeven(static_cast<long double>(size.width) * 0.05L));
    a.top = letter ? 713
                   : static_cast<int32_t>(roundeven(static_cast<long double>(size.height) * 0.9L));
    a.bottom = letter
                   ? 72
                   : static_cast<int32_t>(roundeven(static_cast<long double>(size.height) * 0.05L));
    return a;
}

// The byte offset after the first `count` characters of UTF-8 text (or its
// end); continuation bytes belong to the character before them.
size_t charsend(std::string_view text, size_t count) {
    size_t at = 0;
    for (size_t seen = 0; at < text.size(); ++at) {
        if ((static_cast<uint8_t>(text[at]) & 0xC0) != 0x80 && seen++ == count) {
            break;
        }
    }
    return at;
}

// The lines of one paragraph of at most `wrap` characters each.
void wrapparagraph(std::string_view s, size_t wrap, std::vector<std::string>& lines) {
    wrap = std::max<size_t>(wrap, 1);
    for (;;) {
        const size_t end = charsend(s, wrap);
        if (end >= s.size()) {
            lines.emplace_back(s);
            return;
        }
        // A space right after a full line ends it too.
        const size_t space = s.find_last_of(' ', end);
        if (space != std::string_view::npos && space > 0) {
            lines.emplace_back(s.substr(0, space));
            s.remove_prefix(space + 1);
        } else {
            lines.emplace_back(s.substr(0, end));
            s.remove_prefix(end);
        }
    }
}

// The lines of one paragraph no wider than `limit` points in the font.
void wrapbywidth(std::string_view s, double limit, const textfonts& font,
                 std::vector<std::string>& lines) {
    for (;;) {
        double width = 0;
        size_t space = std::string_view::npos; // the last space that ends a line
        size_t at = 0;
        size_t cut = s.size();
        while (at < s.size()) {
            const size_t start = at;
            const int32_t cp = nextcodepoint(s, at);
            width += font.advance(cp, kFontSize);
            if (cp == ' ') {
                space = start;
            }
            if (width > limit && start > 0 && cp != ' ') {
                cut = start;
                break;
            }
        }
        if (cut == s.size()) {
            lines.emplace_back(s);
            return;
        }
        if (space != std::string_view::npos && space > 0) {
            lines.emplace_back(s.substr(0, space));
            s.remove_prefix(space + 1);
        } else {
            lines.emplace_back(s.substr(0, cut));
            s.remove_prefix(cut);
        }
    }
}

// The content-stream lines that draw one line of text at baseline y.
void emitline(std::string_view escaped, const std::string& x, int32_t y,
              std::vector<std::string>& lines) {
    lines.emplace_back("BT");
    lines.push_back("/F1 " + std::to_string(kFontSize) + " Tf");
    lines.push_back(x + " " + std::to_string(y) + " Td");
    lines.push_back("(" + std::string(escaped) + ") Tj");
    lines.emplace_back("ET");
}

void writetextobjects(pdfoutput& out, const objectplan& plan, int64_t i, pagesize size,
                      const std::vector<std::string>& lines, const std::string& type0 = {},
                      const std::string& others = {});

} // namespace

std::vector<std::string> flowtext(std::string_view utf8, pagesize size, const textfonts* font) {
    const textarea area = areaof(size);
    const double limit = (size.width == -1 ? 612 : size.width) - 2.0 * area.x;
    std::vector<std::string> lines;
    for (size_t at = 0; at <= utf8.size();) {
        size_t end = utf8.find('\n', at);
        if (end == std::string_view::npos) {
            end = utf8.size();
        }
        std::string_view paragraph = utf8.substr(at, end - at);
        if (paragraph.ends_with('\r')) {
            paragraph.remove_suffix(1);
        }
        if (font != nullptr) {
            wrapbywidth(paragraph, limit, *font, lines);
        } else {
            wrapparagraph(paragraph, area.wrap, lines);
        }
        at = end + 1;
    }
    const auto perpage =
        static_cast<size_t>(std::max<int32_t>((area.top - area.bottom) / kLineStep + 1, 1));
    std::vector<std::string> pages;
    for (size_t first = 0; first < lines.size(); first += perpage) {
        std::string page;
        for (size_t k = first; k < std::min(lines.size(), first + perpage); ++k) {
            page += k > first ? "\n" : "";
            page += lines[k];
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

void writetextlines(pdfoutput& out, const objectplan& plan, int64_t i, pagesize size,
                    std::string_view page, textfonts* font) {
    const textarea area = areaof(size);
    const std::string x = std::to_string(area.x);
    std::vector<std::string> lines;
    int32_t y = area.top;
    for (size_t at = 0; at <= page.size(); y -= kLineStep) {
        size_t end = page.find('\n', at);
        if (end == std::string_view::npos) {
            end = page.size();
        }
        if (end > at && font != nullptr) {
            lines.push_back(font->drawline(page.substr(at, end - at), kFontSize, area.x, y));
        } else if (end > at) {
            emitline(pdfescape(towinansi(page.substr(at, end - at))), x, y, lines);
        }
        at = end + 1;
    }
    writetextobjects(out, plan, i, size, lines, font != nullptr ? font->firstfont() : "",
                     font != nullptr ? font->otherfonts() : "");
}

void layouttext(std::string_view paragraph, pagesize size, int32_t& texty,
                std::vector<std::string>& lines) {
    const textarea area = areaof(size);
    const size_t wrap = area.wrap;
    const std::string x = std::to_string(area.x);

    auto emit = [&](std::string_view line) {
        emitline(line, x, texty, lines);
        texty -= kLineStep;
    };

    std::string_view s = paragraph;
    while (s.size() > wrap) {
        // The last space within the wrap width, else the first one after
        // it, else the whole rest is one line.
        size_t b = wrap > 0 ? s.find_last_of(' ', wrap - 1) : std::string_view::npos;
        if (b == std::string_view::npos) {
            b = s.find(' ', wrap > 0 ? wrap - 1 : 0);
        }
        if (b == std::string_view::npos) {
            emit(s);
            s = std::string_view();
            break;
        }
        emit(s.substr(0, b));
        s.remove_prefix(b + 1);
    }
    emit(s);
}

void writetextpage(pdfoutput& out, const objectplan& plan, int64_t i, pagesize size,
                   const std::vector<std::string>& paragraphs) {
    int32_t texty = areaof(size).top;
    std::vector<std::string> lines;
    for (const std::string& paragraph : paragraphs) {
        layouttext(paragraph, size, texty, lines);
    }
    writetextobjects(out, plan, i, size, lines);
}

namespace {

void writetextobjects(pdfoutput& out, const objectplan& plan, int64_t i, pagesize size,
                      const std::vector<std::string>& lines, const std::string& type0,
                      const std::string& others) {
    std::string content;
    for (const std::string& line : lines) {
        content += line;
        content += "\r\n";
    }

    out.beginobject(plan.textcontents(i));
    out.writeline("<< /Length " + std::to_string(content.size()) + " >>");
    out.writestream(content);
    out.endobject();

    // The compact layout names no procedure set, which readers ignore.
    if (!plan.compact()) {
        out.beginobject(plan.procset(i));
        out.writeline("[/PDF /Text]");
        out.endobject();
    }

    out.beginobject(plan.font(i));
    if (!type0.empty()) {
        out.writeline(type0);
    } else {
        out.writeline("<<");
        out.writeline("/Type /Font");
        out.writeline("/Subtype /Type1");
        out.writeline("/Name /F1");
        out.writeline("/BaseFont /Helvetica");
        out.writeline("/Encoding /WinAnsiEncoding");
        out.writeline(">>");
    }
    out.endobject();

    out.beginobject(plan.page(i));
    out.writeline("<<");
    out.writeline("/Type /Page");
    out.writeline("/Parent " + pdfoutput::ref(plan.pagetree()));
    if (size.width == -1) {
        out.writeline("/MediaBox [0 0 612 792 ]");
    } else {
        out.writeline("/MediaBox [0 0 " + std::to_string(size.width) + " " +
                      std::to_string(size.height) + " ]");
    }
    out.writeline("/Contents " + pdfoutput::ref(plan.textcontents(i)));
    const std::string font = "/Font << /F1 " + pdfoutput::ref(plan.font(i)) + others + " >>";
    out.writeline(plan.compact() ? "/Resources << " + font + " >>"
                                 : "/Resources << /ProcSet " + pdfoutput::ref(plan.procset(i)) +
                                       " " + font + " >>");
    out.writeline(">>");
    out.endobject();
}

} // namespace

} // namespace ovin
