// The document writer, checked on the bytes of the files it writes and with
// qpdf and poppler reading them.
#include "core/library.h"
#include "pdftools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using ovintest::fakeui;
using ovintest::parsepdf;

namespace {

struct writerfixture : ::testing::Test {
    ovintest::tempdir dir;
    fakeui* ui = nullptr;
    ovin::Library lib;

    void SetUp() override {
        auto owned = std::make_unique<fakeui>();
        ui = owned.get();
        lib.setui(std::move(owned));
        lib.pdfinit(0, dir.file("OVINPDF.TMP"));
    }

    // Saves and checks the file with qpdf.
    ovintest::pdffile save(const std::string& name, int32_t expect = 0) {
        std::string path = dir.file(name);
        EXPECT_EQ(lib.pdfsave(path), expect) << lib.geterror(lib.pdfsave(path));
        ovintest::pdffile pdf = parsepdf(path);
        EXPECT_EQ(pdf.error, "");
        std::string check;
        EXPECT_TRUE(ovintest::qpdfcheck(path, &check)) << check;
        return pdf;
    }
};

std::string lines(std::initializer_list<std::string> items) {
    std::string s;
    for (const std::string& l : items) {
        s += l + "\r\n";
    }
    return s;
}

TEST_F(writerfixture, HelloDocumentByteForByte) {
    lib.pdfaddtext("Hello");
    ovintest::pdffile pdf = save("hello.pdf");

    std::string body = lines({"%PDF-1.4"});
    std::vector<size_t> offsets;
    auto object = [&](std::initializer_list<std::string> l) {
        offsets.push_back(body.size());
        body += lines(l);
    };
    object({"1 0 obj", "<< /Length 41 >>", "stream", "BT", "/F1 8 Tf", "72 713 Td", "(Hello) Tj",
            "ET", "endstream", "endobj"});
    object({"2 0 obj", "[/PDF /Text]", "endobj"});
    object({"3 0 obj", "<<", "/Type /Font", "/Subtype /Type1", "/Name /F1", "/BaseFont /Helvetica",
            "/Encoding /WinAnsiEncoding", ">>", "endobj"});
    object({"4 0 obj", "<<", "/Type /Page", "/Parent 6 0 R", "/MediaBox [0 0 612 792 ]",
            "/Contents 1 0 R", "/Resources << /ProcSet 2 0 R /Font << /F1 3 0 R >> >>", ">>",
            "endobj"});
    object({"5 0 obj", "<<", "/Producer (Zentro Software)", "/Title ()", ">>", "endobj"});
    object({"6 0 obj", "<<", "/Type /Pages", "/Kids [ 4 0 R ]", "/Count 1", ">>", "endobj"});
    object({"7 0 obj", "<<", "/Type /Catalog", "/Pages 6 0 R", ">>", "endobj"});
    size_t xref = body.size();
    body += lines({"xref", "0 8", "0000000000 65535 f"});
    for (size_t off : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n", off);
        body += lines({entry});
    }
    body += lines({"trailer", "<<", "/Size 8", "/Info 5 0 R", "/Root 7 0 R", ">>", "startxref",
                   std::to_string(xref), "%%EOF"});
    EXPECT_EQ(pdf.bytes, body);
    EXPECT_NE(ovintest::pdftotext(dir.file("hello.pdf")).find("Hello"), std::string::npos);
}

TEST_F(writerfixture, TextEscapingWrappingAndEmptyPages) {
    lib.pdfaddtext("a(b)\\c");
    lib.pdfaddtext("");
    lib.pdfaddtext(std::string(140, 'x'));
    std::string many;
    for (int k = 0; k < 1500; ++k) {
        many += "word" + std::to_string(k) + " ";
    }
    lib.pdfaddtext(many);
    ovintest::pdffile pdf = save("text.pdf");

    EXPECT_NE(pdf.object(1).find("\r\n(a\\(b\\)\\\\c) Tj\r\n"), std::string::npos);
    EXPECT_NE(pdf.object(5).find("\r\n() Tj\r\n"), std::string::npos);
    // A word longer than the wrap width stands whole, then an empty line.
    const std::string& longword = pdf.object(9);
    EXPECT_NE(longword.find("(" + std::string(140, 'x') + ") Tj\r\n"), std::string::npos);
    EXPECT_NE(longword.find("72 701 Td\r\n() Tj"), std::string::npos);
    // Many lines stay on one page and run below the bottom edge; no line is
    // longer than 130 characters and each ends where a space was.
    const std::string& manylines = pdf.object(13);
    EXPECT_NE(manylines.find(" -"), std::string::npos);
    size_t at = 0;
    while ((at = manylines.find("\r\n(", at)) != std::string::npos) {
        size_t end = manylines.find(") Tj", at);
        EXPECT_LE(end - at - 3, 130U);
        at = end;
    }
    EXPECT_EQ(pdf.objects.size(), 19U);
    std::string text = ovintest::pdftotext(dir.file("text.pdf"));
    EXPECT_NE(text.find("a(b)\\c"), std::string::npos);
    EXPECT_NE(text.find("word120"), std::string::npos);
}

TEST_F(writerfixture, LengthCountsEveryLineEnd) {
    lib.pdfaddtext("one two");
    ovintest::pdffile pdf = save("len.pdf");
    const std::string& o = pdf.object(1);
    size_t start = o.find("stream\r\n") + 8;
    size_t end = o.find("endstream");
    EXPECT_NE(o.find("/Length " + std::to_string(end - start) + " >>"), std::string::npos);
}

TEST_F(writerfixture, RefusalsBeforeTheFileIsOpened) {
    EXPECT_EQ(lib.pdfsave(dir.file("none.pdf")), -2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.pdf")));
    lib.pdfaddtext("x");
    EXPECT_EQ(lib.pdfsave("C:\\out\\a?b.pdf"), -12);
    EXPECT_EQ(lib.state().errorarg, "C:\\out\\a?b.pdf");
    EXPECT_EQ(lib.geterror(-12), "ERROR : Invalid filename (C:\\out\\a?b.pdf)");
    EXPECT_EQ(lib.pdfsave("   "), -8);
    EXPECT_EQ(lib.pdfsave(dir.file("missing/dir/x.pdf")), -5);
    EXPECT_EQ(lib.state().errorarg, "2");
    EXPECT_EQ(ui->shows, 0);
}

TEST_F(writerfixture, CancelAtPageKFinishesThatPageAndSkipsTheRest) {
    for (int k = 1; k <= 5; ++k) {
        lib.pdfaddtext("page " + std::to_string(k));
    }
    ui->cancelatpage = 2;
    std::string path = dir.file("cancel.pdf");
    EXPECT_EQ(lib.pdfsave(path), -4);
    EXPECT_EQ(lib.state().errorarg, "Save cancelled by user");
    EXPECT_EQ(lib.geterror(-4), "ERROR : PDF Save Cancelled By User");
    // Pages 1 and 2 were announced and written, 3 to 5 skipped.
    EXPECT_EQ(ui->statuses, (std::vector<std::string>{"Adding text page 1", "Adding text page 2"}));
    EXPECT_EQ(ui->closes, 1);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    // The next save shows the window afresh and succeeds.
    ui->cancelatpage = 0;
    save("again.pdf");
    EXPECT_EQ(ui->maximum, 5);
    EXPECT_EQ(ui->steps, 5);
    EXPECT_EQ(ui->finish, "Finalizing PDF output...");
}

TEST_F(writerfixture, FailedSaveLeavesAnEarlierFileUntouched) {
    std::string path = dir.file("keep.pdf");
    ovintest::writebytes(path, "precious");
    lib.pdfaddtext("a");
    lib.pdfaddtext("b");
    ui->cancelatpage = 1;
    EXPECT_EQ(lib.pdfsave(path), -4);
    EXPECT_EQ(ovintest::readbytes(path), "precious");
    ui->cancelatpage = 0;
    EXPECT_EQ(lib.pdfsave(path), 0);
    EXPECT_EQ(ovintest::readbytes(path).substr(0, 8), "%PDF-1.4");
    // Only the target is left: no temporary file beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(writerfixture, WriteFailureIsAnIoErrorAndClosesTheWindow) {
    lib.pdfaddtext("full disk");
    EXPECT_EQ(lib.pdfsave("/dev/full"), -5);
    EXPECT_EQ(lib.state().errorarg, "28"); // ENOSPC
    EXPECT_EQ(ui->shows, ui->closes);
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(writerfixture, SaveTwiceGivesTheSameBytes) {
    lib.pdfaddtext("same");
    lib.pdfaddindex("same", "Mark");
    ovintest::pdffile a = save("a.pdf");
    ovintest::pdffile b = save("b.pdf");
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST_F(writerfixture, ProducerTitleAndUnicodeText) {
    lib.setpdfmaker("Maker (v2) \\ x");
    lib.setpdftitle("Rapport d'été");
    lib.pdfaddtext("Grüße – 5 €, 日本");
    lib.pdfaddindex("Grüße – 5 €, 日本", "Übersicht");
    ovintest::pdffile pdf = save("utf.pdf");
    const std::string& info = pdf.object(5);
    EXPECT_NE(info.find("/Producer (Maker \\(v2\\) \\\\ x)\r\n"), std::string::npos);
    // "Rapport d'été" as UTF-16BE with a byte-order mark.
    EXPECT_NE(info.find("/Title <FEFF0052006100700070006F0072007400200064002700E9007400E9>"),
              std::string::npos)
        << info;
    // The text page is in Windows-1252: ü, en dash and euro are single bytes,
    // the Japanese characters have no code and become "?".
    EXPECT_NE(pdf.object(1).find(std::string("(Gr\xFC\xDF"
                                             "e \x96 5 \x80, ?"
                                             "?) Tj")),
              std::string::npos);
    EXPECT_NE(pdf.object(9).find("/Title<FEFF00DC"), std::string::npos);
    std::string text = ovintest::pdftotext(dir.file("utf.pdf"));
    EXPECT_NE(text.find("Grüße – 5 €"), std::string::npos) << text;
    std::string info2 = ovintest::runcommand("pdfinfo '" + dir.file("utf.pdf") + "'").output;
    EXPECT_NE(info2.find("Rapport d'été"), std::string::npos) << info2;
    EXPECT_NE(info2.find("Maker (v2) \\ x"), std::string::npos) << info2;
}

} // namespace
