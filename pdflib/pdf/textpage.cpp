#include "pdf/textpage.h"

#include "numbers.h"

namespace ovin {

namespace {

constexpr int32_t kFontSize = 8;
constexpr int32_t kLineStep = 12;

} // namespace

void layouttext(std::string_view paragraph, pagesize size, int32_t& texty,
                std::vector<std::string>& lines) {
    const bool letter = size.width == -1;
    const auto wrap = static_cast<size_t>(
        letter ? 130 : roundeven(static_cast<long double>(size.width) / 8 * 1.5L));
    const std::string x =
        std::to_string(letter ? 72 : roundeven(static_cast<long double>(size.width) * 0.05L));

    auto emit = [&](std::string_view line) {
        lines.emplace_back("BT");
        lines.push_back("/F1 " + std::to_string(kFontSize) + " Tf");
        lines.push_back(x + " " + std::to_string(texty) + " Td");
        lines.push_back("(" + std::string(line) + ") Tj");
        lines.emplace_back("ET");
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
    int32_t texty =
        size.height == -1
            ? 713
            : static_cast<int32_t>(roundeven(static_cast<long double>(size.height) * 0.9L));
    std::vector<std::string> lines;
    for (const std::string& paragraph : paragraphs) {
        layouttext(paragraph, size, texty, lines);
    }
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
    out.writeline("<<");
    out.writeline("/Type /Font");
    out.writeline("/Subtype /Type1");
    out.writeline("/Name /F1");
    out.writeline("/BaseFont /Helvetica");
    out.writeline("/Encoding /WinAnsiEncoding");
    out.writeline(">>");
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
    const std::string font = "/Font << /F1 " + pdfoutput::ref(plan.font(i)) + " >>";
    out.writeline(plan.compact() ? "/Resources << " + font + " >>"
                                 : "/Resources << /ProcSet " + pdfoutput::ref(plan.procset(i)) +
                                       " " + font + " >>");
    out.writeline(">>");
    out.endobject();
}

} // namespace ovin
