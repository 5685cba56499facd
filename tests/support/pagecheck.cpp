#include "pagecheck.h"

#include "pdfacheck.h"
#include "pdftools.h"

#include <gtest/gtest.h>

namespace ovintest {

documentpdf savefiles(const tempdir& dir, const std::vector<std::string>& files,
                      const ovin::documentoptions& options) {
    documentpdf made = makedocumentpdf(files, dir.file("out.pdf"), options);
    EXPECT_EQ(made.qpdf, "");
    return made;
}

std::string checkpages(const std::vector<pagecase>& cases, const std::string& header,
                       const ovin::documentoptions& options) {
    tempdir dir;
    std::vector<std::string> files;
    for (const pagecase& c : cases) {
        if (!c.file.empty()) {
            files.push_back(dir.file(c.name));
            writebytes(files.back(), std::string(c.file.begin(), c.file.end()));
        }
    }
    const documentpdf s = savefiles(dir, files, options);
    EXPECT_EQ(s.code, 0) << s.error;
    if (s.code != 0) {
        return {};
    }
    EXPECT_TRUE(s.pdf.bytes.starts_with(header));
    const std::string pdf = dir.file("out.pdf");
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::string& image = s.pdf.object(static_cast<int32_t>(3 * i + 1));
        for (const std::string& entry : cases[i].dictionary) {
            EXPECT_NE(image.find(entry), std::string::npos)
                << entry << " in " << image.substr(0, 400);
        }
        for (auto r : {reader::poppler, reader::mupdf}) {
            const raster seen =
                sampled(renderpage(r, pdf, static_cast<int>(i + 1), 4 * cases[i].dpi, 3), 4);
            const difference d = compare(seen, cases[i].look);
            EXPECT_TRUE(d.error.empty() && d.maximum <= cases[i].tolerance &&
                        (cases[i].mean < 0 || d.mean <= cases[i].mean))
                << readername(r) << ": " << seen.error << d.error << " largest " << d.maximum
                << ", mean " << d.mean << ", " << d.differing << " samples differ";
        }
    }
    // The same pages make a sound PDF/A-2b file.
    ovin::documentoptions archival = options;
    archival.pdfa = true;
    const documentpdf a = makedocumentpdf(files, dir.file("pdfa.pdf"), archival);
    EXPECT_EQ(a.code, 0) << a.error;
    EXPECT_EQ(a.qpdf, "");
    for (const std::string& problem : pdfaproblems(dir.file("pdfa.pdf"))) {
        ADD_FAILURE() << "PDF/A: " << problem;
    }
    return runcommand("pdfimages -list '" + pdf + "' 2>/dev/null").output;
}

} // namespace ovintest
