// The command-line tool as a shell user meets it: pages and bookmarks in
// the order given, exit statuses, messages, and Ctrl-C during a save.
#include "pdftools.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kTool = OVINPDF_CLI;

ovintest::commandresult run(const std::string& args) {
    return ovintest::runcommand("'" + kTool + "' " + args);
}

TEST(Cli, TextPagesBookmarksTitleAndProducer) {
    ovintest::tempdir dir;
    std::string out = dir.file("doc.pdf");
    ovintest::commandresult r =
        run("--title 'The title' --producer 'Someone' --text 'First page' --text 'Second page' "
            "--bookmark 'First page' Start --sub-bookmark 'First page' 'Second page' Next -o '" +
            out + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(ovintest::qpdfcheck(out));
    ovintest::pdffile pdf = ovintest::parsepdf(out);
    EXPECT_NE(pdf.object(9).find("/Producer (Someone)\r\n/Title (The title)"), std::string::npos);
    EXPECT_NE(pdf.object(13).find("/Title(Start)"), std::string::npos);
    EXPECT_NE(pdf.object(14).find("/Title(Next)"), std::string::npos);
    std::string text = ovintest::pdftotext(out);
    EXPECT_LT(text.find("First page"), text.find("Second page"));
}

TEST(Cli, ExitStatusesAndMessages) {
    ovintest::tempdir dir;
    std::string out = dir.file("x.pdf");
    EXPECT_EQ(run("--help").status, 0);
    ovintest::commandresult version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.output.find("Version 1.8"), std::string::npos);
    EXPECT_EQ(run("--text a").status, 2);         // no output file
    EXPECT_EQ(run("-o '" + out + "'").status, 2); // no pages
    EXPECT_EQ(run("--bogus --text a -o x.pdf").status, 2);
    EXPECT_EQ(run("--bookmark onlyone").status, 2);

    ovintest::commandresult missing = run("'" + dir.file("nothere.jpg") + "' -o '" + out + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("ERROR : File Not Found (" + dir.file("nothere.jpg") + ")"),
              std::string::npos)
        << missing.output;
    ovintest::commandresult nopage = run("--text a --bookmark b T -o '" + out + "'");
    EXPECT_EQ(nopage.status, 1);
    EXPECT_NE(nopage.output.find("ERROR : Page Not Found (b)"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Cli, ImagesWithWarnings) {
    ovintest::tempdir dir;
    ovintest::tiffpage page = ovintest::bilevelpage(300, 200, 4, 1);
    page.xres = page.yres = 100;
    std::string tif = dir.file("scan.tif");
    ovintest::writetiff(tif, {page, page});
    std::string out = dir.file("scan.pdf");
    ovintest::commandresult r = run("'" + tif + "' -o '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("WARNING : 100 dpi (horizontal) found in file " + tif),
              std::string::npos)
        << r.output;
    std::string info = ovintest::runcommand("pdfinfo '" + out + "'").output;
    std::erase(info, ' ');
    EXPECT_NE(info.find("Pages:2\n"), std::string::npos) << info;
    EXPECT_EQ(run("-q '" + tif + "' -o '" + out + "'").output, "");
}

// Ctrl-C while the pages are written: the save is cancelled, the tool says
// so and exits 1, and no file is left (a file there before stays as it was).
TEST(Cli, InterruptCancelsTheSave) {
    ovintest::tempdir dir;
    std::vector<ovintest::tiffpage> pages;
    for (uint32_t k = 0; k < 60; ++k) {
        ovintest::tiffpage page = ovintest::bilevelpage(1700, 2200, 4, k + 1);
        page.rowsperstrip = 32; // each page is re-encoded: a slow save
        pages.push_back(std::move(page));
    }
    std::string tif = dir.file("book.tif");
    ovintest::writetiff(tif, pages);
    std::string out = dir.file("book.pdf");
    ovintest::writebytes(out, "older file");
    std::string log = dir.file("log");

    pid_t child = ::fork();
    if (child == 0) {
        std::freopen(log.c_str(), "w", stderr);
        ::execl(kTool.c_str(), kTool.c_str(), "--temp", dir.file("OVINPDF.TMP").c_str(),
                tif.c_str(), "-o", out.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the tool died of the signal instead of cancelling";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(ovintest::readbytes(log).find("ERROR : PDF Save Cancelled By User"),
              std::string::npos)
        << ovintest::readbytes(log);
    EXPECT_EQ(ovintest::readbytes(out), "older file");
    // Nothing but the inputs, the log and the old file remain.
    EXPECT_FALSE(std::filesystem::exists(dir.file("OVINPDF.TMP")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              3);
}

} // namespace
