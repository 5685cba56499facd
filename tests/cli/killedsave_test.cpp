// A save killed at any moment (SIGKILL) or stopped (SIGTERM) while it
// replaces a PDF, reading its pages from a file or from standard input:
// the old file stays byte for byte as it was and nothing else is left,
// beside it or in the temporary folders.
#include "childprocess.h"
#include "clitool.h"
#include "jpegfixtures.h"
#include "pdftools.h"
#include "textscan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(CliFaults, KilledSavesLeaveTheOldFileAsItWas) {
    ovintest::tempdir dir;
    const std::string book = dir.file("book.tif");
    ovintest::writetiff(book, clitest::stripedpages(200, 850, 1100, 7));
    const std::string out = dir.file("book.pdf");
    const fs::path run = dir.path() / "run";
    fs::create_directory(run);
    ovintest::childsetup setup;
    // The same document every time, dates included: a save that completes
    // before the signal lands leaves the same bytes.
    setup.env = {"XDG_RUNTIME_DIR=" + run.string(), "TMPDIR=" + run.string(),
                 "SOURCE_DATE_EPOCH=1714564800"};
    const std::vector<std::string> argv = {clitest::kTool, "-q", book, "-o", out};

    // A complete save first: the file the others replace, and how large a
    // complete file grows.
    ASSERT_EQ(ovintest::describestatus(ovintest::childprocess(argv, setup).wait()), "exit 0");
    ASSERT_TRUE(ovintest::qpdfcheck(out));
    const std::string old = ovintest::readbytes(out);

    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (int k = 0; k < 20; ++k) {
        const int sig = k % 2 == 0 ? SIGKILL : SIGTERM;
        // Where in the save: a share of the complete file written, or a
        // moment before the file is made.
        const double share = std::uniform_real_distribution<double>(0, 0.97)(random);
        SCOPED_TRACE(std::string(strsignal(sig)) + " at " + std::to_string(share));
        // Every other run reads the book from standard input.
        ovintest::childsetup piped = setup;
        const bool standard = k % 4 >= 2;
        piped.beforeexec = [&] {
            const int fd = ::open(book.c_str(), O_RDONLY);
            ::dup2(fd, STDIN_FILENO);
        };
        ovintest::childprocess child(
            standard ? std::vector<std::string>{clitest::kTool, "-q", "-", "-o", out} : argv,
            standard ? piped : setup);
        if (share < 0.05) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 50'000));
        } else {
            ASSERT_TRUE(ovintest::waitfor([&] {
                return static_cast<double>(child.writtenfilesize(dir.path())) >=
                       share * static_cast<double>(old.size());
            }));
        }
        child.signal(sig);
        const std::string status = ovintest::describestatus(child.wait());
        EXPECT_EQ(ovintest::readbytes(out), old) << status;
        EXPECT_EQ(ovintest::folderlisting(dir.path()),
                  (std::vector<std::string>{"book.pdf", "book.tif", "run"}))
            << status;
        if (sig == SIGTERM && (status == "exit 143" || status == "exit 0")) {
            // Stopped between pages, or come after the last page, when the
            // save runs to its end and puts the same bytes in place.
            EXPECT_TRUE(fs::is_empty(run));
        } else if (sig == SIGTERM) {
            // Only a signal before the tool has set up its handlers kills it.
            EXPECT_LT(share, 0.05) << status;
            EXPECT_EQ(status, "killed by signal 15");
        }
        // The copy of standard input has no name: nothing outlives the run.
        EXPECT_TRUE(fs::is_empty(run)) << status;
    }
}

} // namespace

namespace {

// SIGTERM while pages are being recognised stops the run as cancelled and
// leaves no file (that the recognition under way is stopped at once is the
// document API's test of Cancel).
TEST(CliFaults, StoppedWhileRecognisingLeavesNoFile) {
    ovintest::tempdir dir;
    const ovintest::textscan scan = ovintest::scantext(ovintest::letterlines(30, 5));
    ovintest::jpegoptions options;
    options.components = 1;
    const std::string page = dir.file("page.jpg");
    ovintest::savejpeg(page,
                       ovintest::makejpeg(static_cast<uint32_t>(scan.width),
                                          static_cast<uint32_t>(scan.height), scan.grey, options));
    const std::string out = dir.file("out.pdf");
    ovintest::childsetup setup;
    setup.log = dir.file("log");
    setup.env = {"XDG_RUNTIME_DIR=" + dir.path().string(), "TMPDIR=" + dir.path().string()};
    ovintest::childprocess child({clitest::kTool, "--ocr=eng", page, page, page, page, "-o", out},
                                 setup);
    // Each page takes over a second to recognise.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    ::kill(child.pid(), SIGTERM);
    EXPECT_EQ(ovintest::describestatus(child.wait()), "exit 143");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(ovintest::readbytes(dir.file("log")).find("cancelled"), std::string::npos);
}

} // namespace
