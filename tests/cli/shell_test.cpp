// The command-line tool in the shell: GNU option forms, the layout and
// information options as they reach the written PDF, standard input and
// output, lists of names, readable messages, the progress line on
// terminals of several widths, and the manual pages and completion that
// describe it.
#include "bmpfixtures.h"
#include "childprocess.h"
#include "clitool.h"
#include "jpegfixtures.h"
#include "pdftools.h"
#include "pngfixtures.h"
#include "render.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using clitest::kTool;

// The tool run by the shell in `dir`, with `env` ("NAME=value ") before it;
// `args` are shell words.
ovintest::commandresult tool(const ovintest::tempdir& dir, const std::string& args,
                             const std::string& env = "") {
    return ovintest::runcommand("(cd '" + dir.path().string() + "' && " + env + "'" + kTool + "' " +
                                args + ")");
}

// A PDF with its streams uncompressed, for looking at page contents.
std::string qdf(const std::string& pdf) {
    return ovintest::runcommand("qpdf --qdf --object-streams=disable '" + pdf + "' -").output;
}

// black.jpg: 300 x 200 grey pixels at 100 dpi, 216 x 144 points; nodpi.jpg
// without a resolution; -dash.jpg with a name like an option; photo.png, an
// interlaced PNG, which is decoded; plain.png, which is kept as stored.
void writeimages(const ovintest::tempdir& dir) {
    ovintest::jpegoptions opt;
    opt.components = 1;
    opt.xdensity = opt.ydensity = 100;
    const std::vector<uint8_t> black(300 * 200, 0);
    ovintest::savejpeg(dir.file("black.jpg"), ovintest::makejpeg(300, 200, black, opt));
    ovintest::savejpeg(dir.file("-dash.jpg"), ovintest::makejpeg(300, 200, black, opt));
    opt.jfif = false;
    ovintest::savejpeg(dir.file("nodpi.jpg"), ovintest::makejpeg(300, 200, black, opt));
    ovintest::pngoptions png;
    png.interlaced = true;
    const std::vector<uint8_t> photo = ovintest::makepng(png);
    ovintest::writebytes(dir.file("photo.png"), std::string(photo.begin(), photo.end()));
    const std::vector<uint8_t> plain = ovintest::makepng({});
    ovintest::writebytes(dir.file("plain.png"), std::string(plain.begin(), plain.end()));
}

// Each option reaches the document: the page boxes, the placement in the
// content stream, what poppler draws at the top of the page (0 black, 255
// white, -1 not looked at), the information dictionary.
TEST(Shell, OptionsReachTheDocument) {
    ovintest::tempdir dir;
    writeimages(dir);
    struct optioncase {
        std::string args;
        std::vector<std::string> found;
        int top = -1;
    };
    const std::vector<optioncase> cases = {
        {"--page-size A4 --orientation portrait black.jpg",
         {"/MediaBox[0 0 595.275590551181 841.889763779528]"}},
        {"--page-size=a4 --orientation=landscape black.jpg",
         {"/MediaBox[0 0 841.889763779528 595.275590551181]"}},
        {"--page-size 50x100mm --orient=auto black.jpg",
         {"/MediaBox[0 0 283.464566929134 141.732283464567]"}},
        {"--border 1in black.jpg", {"/MediaBox[0 0 360 288]"}},
        {"--border=10pt,2cm black.jpg", {"/MediaBox[0 0 236 257.385826771654]"}},
        {"--page-size 400x400pt --fit exact black.jpg", {"400 0 0 400 0 0 cm"}, 0},
        {"--page-size 400x400pt --fit=into black.jpg",
         {"400 0 0 266.666666666667 0 66.6666666666667 cm"},
         255},
        {"--page-size 400x400pt --fit fill black.jpg", {"re W n 600 0 0 400 -100 0 cm"}, 0},
        {"--page-size 400x400pt --fit shrink black.jpg", {"216 0 0 144 92 128 cm"}, 255},
        {"--page-size 400x400pt --fit enlarge --border 50pt black.jpg", {"300 0 0 200 50 100 cm"}},
        {"--dpi 72 black.jpg", {"/MediaBox[0 0 300 200]"}},
        {"--default-dpi=50 nodpi.jpg", {"/MediaBox[0 0 432 288]"}},
        {"--no-auto-orient black.jpg", {"/MediaBox[0 0 216 144]"}},
        {"--rotate=90 black.jpg", {"/MediaBox[0 0 216 144]", "/Rotate 90"}},
        {"--rotate 270 --page-size A4 black.jpg",
         {"/MediaBox[0 0 841.889763779528 595.275590551181]", "/Rotate 270"}},
        {"photo.png", {"/Filter/FlateDecode"}},
        {"--jpeg-quality 80 photo.png", {"/Filter/DCTDecode"}},
        {"--jpeg-quality 80 plain.png", {"/Filter/DCTDecode"}},
        {"--title T --author 'Ann Smith' --subject S --keywords 'a, b' --creator C --producer P "
         "--creation-date 2024-05-01T14:00:00+02:00 --modification-date 1700000000 --text x",
         {"/Author (Ann Smith)", "/Subject (S)", "/Keywords (a, b)", "/Creator (C)",
          "/Producer (P)", "/Title (T)", "/CreationDate (D:20240501120000Z)",
          "/ModDate (D:20231114221320Z)"}},
        {"--creation-date 2024-05-01 --text x", {"/CreationDate (D:20240501000000Z)"}},
        {"--creation-date=2024-05-01t12:00:00.75z --text x", {"/CreationDate (D:20240501120000Z)"}},
        {"--creation-date '2024-05-01 12:00-0130' --text x", {"/CreationDate (D:20240501133000Z)"}},
        {"--modification-date=0 --text x", {"/ModDate (D:19700101000000Z)"}},
    };
    for (const optioncase& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string out = dir.file("out.pdf");
        ovintest::commandresult r = tool(dir, "-q " + c.args + " -o out.pdf");
        ASSERT_EQ(r.status, 0) << r.output;
        ASSERT_TRUE(ovintest::qpdfcheck(out));
        const std::string pdf = ovintest::readbytes(out) + qdf(out);
        for (const std::string& s : c.found) {
            EXPECT_NE(pdf.find(s), std::string::npos) << s;
        }
        if (c.top >= 0) {
            // 400 points at 18 dpi: 100 pixels; the middle of the top edge.
            const ovintest::raster page =
                ovintest::renderpage(ovintest::reader::poppler, out, 1, 18, 1);
            ASSERT_EQ(page.width, 100) << page.error;
            EXPECT_NEAR(page.pixels[3 * 100 + 50], c.top, 40);
        }
    }
}

// GNU option forms give the same document; pages keep their order; "--"
// ends the options.
TEST(Shell, GetoptForms) {
    ovintest::tempdir dir;
    writeimages(dir);
    struct formcase {
        std::string args;
        int pages;
    };
    for (const formcase& c : std::vector<formcase>{
             {"-o out.pdf black.jpg", 1},
             {"-oout.pdf black.jpg", 1},
             {"--output=out.pdf black.jpg", 1},
             {"--out out.pdf black.jpg", 1},
             {"-qo out.pdf black.jpg", 1},
             {"-q0oout.pdf black.jpg", 1},
             {"black.jpg -o out.pdf -- -dash.jpg -o", 0},
             {"--text=-x --text -- black.jpg --bookmark=-x Start -o out.pdf -- -dash.jpg", 4},
         }) {
        SCOPED_TRACE(c.args);
        std::filesystem::remove(dir.file("out.pdf"));
        ovintest::commandresult r = tool(dir, c.args);
        if (c.pages == 0) {
            // "-o" after "--" is an image name, and no such file exists.
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.output, "ovinpdf: cannot read '-o': No such file or directory\n");
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output.empty(), c.args.starts_with("-q")) << r.output;
        const std::string pdf = qdf(dir.file("out.pdf"));
        EXPECT_NE(pdf.find("/Count " + std::to_string(c.pages)), std::string::npos);
        if (c.pages == 4) {
            const std::string text = ovintest::pdftotext(dir.file("out.pdf"));
            EXPECT_LT(text.find("-x"), text.find("--")) << text;
            EXPECT_NE(pdf.find("/Title (Start)"), std::string::npos);
        }
    }
}

// Every message says what and why; usage errors name the option.
TEST(Shell, MessagesInWords) {
    ovintest::tempdir dir;
    writeimages(dir);
    ovintest::writebytes(dir.file("nul.txt"), std::string("black.jpg\nbl") + '\0' + "ack.jpg\n");
    ovintest::writebytes(dir.file("empty.txt"), "\n\n");
    ovintest::writebytes(dir.file("garbage"), "not an image");
    const std::string help = "\nTry 'ovinpdf --help' for more information.\n";
    struct messagecase {
        std::string args;
        int status;
        std::string message;
    };
    for (const messagecase& c : std::vector<messagecase>{
             {"--t x -o o.pdf", 2, "option --t is ambiguous: it could be --text, --temp, --title"},
             {"--quiet=yes", 2, "option --quiet takes no value"},
             {"-x", 2, "unknown option -x"},
             {"--bogus=1", 2, "unknown option --bogus"},
             {"black.jpg --output", 2, "option --output needs a value (FILE)"},
             {"--bookmark a", 2, "option --bookmark needs 2 values (PAGE TITLE)"},
             {"--fit=big", 2, "option --fit: 'big' is not into, fill, exact, shrink or enlarge"},
             {"--orientation up", 2, "option --orientation: 'up' is not portrait, landscape or"},
             {"--page-size=A9", 2, "option --page-size: 'A9' is not a page size"},
             {"--border 5", 2, "option --border: '5' is not one or two lengths"},
             {"--border 1mm,201in", 2, "option --border: '1mm,201in' is not"},
             {"--dpi 0", 2, "option --dpi: '0' is not a resolution from 1 to 65535"},
             {"--jpeg-quality 101", 2, "option --jpeg-quality: '101' is not a whole number"},
             {"--creation-date 2024-02-30", 2, "option --creation-date: '2024-02-30' is not a"},
             {"--creation-date 1969-12-31T23:59:59Z", 2, "is not a date from 1970 to 9999"},
             {"--modification-date=2024-05-01T24:00", 2, "is not a date"},
             {"--modification-date=-1", 2, "is not a date"},
             {"- - -o o.pdf", 2, "standard input can be read only once"},
             {"--text a", 2, "no output file given"},
             {"-o o.pdf", 2, "no pages given"},
             {"--text a -o /nonexistent/x.pdf", 1,
              "ovinpdf: cannot write '/nonexistent/x.pdf': No such file or directory\n"},
             {"--from-file=missing.txt -o o.pdf", 1,
              "ovinpdf: cannot read the list 'missing.txt': No such file or directory\n"},
             {"--from-file nul.txt -o o.pdf", 1,
              "ovinpdf: the list 'nul.txt' has a NUL byte in line 2; read lists of NUL-ended "
              "names with -0 (--null)\n"},
             {"--from-file empty.txt -o o.pdf", 2,
              "ovinpdf: no pages given: the lists and folders name no"},
             {"- -o o.pdf < garbage", 1, "ovinpdf: standard input is not a JPEG, TIFF"},
         }) {
        SCOPED_TRACE(c.args);
        ovintest::commandresult r = tool(dir, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_EQ(c.status == 2 && c.message.find("ovinpdf:") == std::string::npos,
                  r.output.ends_with(help))
            << r.output;
    }
}

// Failures name the file as coreutils quotes names (no PDF escapes, control
// characters written out) and the reason in words; a FIFO and a process
// substitution are read like standard input.
TEST(Shell, FailuresNameTheFileAndTheReason) {
    ovintest::tempdir dir;
    writeimages(dir);
    // Runs as another user reach the folder, not the unreadable file.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    // A bitmap whose file ends in its second row.
    ovintest::bmpoptions rows;
    rows.width = 300;
    rows.height = 2;
    std::vector<uint8_t> cut = ovintest::makebmp(rows);
    cut.resize(cut.size() - 300 * 3);
    ASSERT_TRUE(ovintest::savebmp(dir.file("scan (1).bmp"), cut));
    std::filesystem::create_directory(dir.file("folder"));
    ovintest::writebytes(dir.file("dirs.txt"), "folder\n");
    std::filesystem::copy_file(dir.file("black.jpg"), dir.file("secret.jpg"));
    std::filesystem::permissions(dir.file("secret.jpg"), std::filesystem::perms::owner_write);
    ovintest::writebytes(dir.file("red\x1b[31m.png"), "no picture");
    // Another user where the tests run as root, to whom permissions do not apply.
    const std::string other =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    struct failure {
        std::string args;
        std::string message;
    };
    for (const failure& f : std::vector<failure>{
             {"'scan (1).bmp'",
              "ovinpdf: cannot read 'scan (1).bmp': it ends inside its image data\n"},
             {"--from-file dirs.txt", "ovinpdf: cannot read 'folder': Is a directory\n"},
             {"secret.jpg", "ovinpdf: cannot read 'secret.jpg': Permission denied\n"},
             {"red*.png", "ovinpdf: 'red'$'\\033''[31m.png' is not a JPEG, TIFF, PNG, BMP, PNM, "
                          "JPEG 2000, WebP, GIF, HEIC, AVIF or JPEG XL image\n"},
         }) {
        SCOPED_TRACE(f.args);
        const std::string user = f.args == "secret.jpg" ? other : "";
        ovintest::commandresult r =
            ovintest::runcommand("(cd '" + dir.path().string() + "' && " + user + "'" + kTool +
                                 "' " + f.args + " -o /dev/null)");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, f.message);
    }
    // A FIFO and a process substitution are read to their end like a pipe.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ovintest::commandresult fed = ovintest::runcommand(
        "cd '" + dir.path().string() + "' && { cat black.jpg > fifo & } && bash -c \"'" + kTool +
        "' -q fifo <(cat black.jpg) -o piped.pdf\"");
    ASSERT_EQ(fed.status, 0) << fed.output;
    EXPECT_NE(qdf(dir.file("piped.pdf")).find("/Count 2"), std::string::npos);
}

// An image through a pipe in, the PDF through a pipe out; the same bytes
// as a file written with the same SOURCE_DATE_EPOCH, run after run; a
// closed pipe fails the run.
TEST(Shell, StandardInputAndOutput) {
    ovintest::tempdir dir;
    writeimages(dir);
    const std::string epoch = "SOURCE_DATE_EPOCH=1700000000 ";
    ovintest::commandresult piped =
        ovintest::runcommand("(cd '" + dir.path().string() + "' && cat black.jpg | " + epoch + "'" +
                             kTool + "' --text x - --bookmark - Scan -o - > piped.pdf)");
    ASSERT_EQ(piped.status, 0) << piped.output;
    EXPECT_EQ(piped.output, "standard input: low resolution (100 dpi), taken as it is\n"
                            "standard output written: 2 pages\n");
    EXPECT_TRUE(ovintest::qpdfcheck(dir.file("piped.pdf")));
    EXPECT_NE(qdf(dir.file("piped.pdf")).find("/Title (Scan)"), std::string::npos);

    for (const char* name : {"1.pdf", "2.pdf"}) {
        ASSERT_EQ(tool(dir, std::string("--text x black.jpg -qo ") + name, epoch).status, 0);
    }
    ASSERT_EQ(tool(dir, "--text x black.jpg -qo - > 3.pdf", epoch).status, 0);
    const std::string first = ovintest::readbytes(dir.file("1.pdf"));
    EXPECT_EQ(ovintest::readbytes(dir.file("2.pdf")), first);
    EXPECT_EQ(ovintest::readbytes(dir.file("3.pdf")), first);

    ovintest::savejpeg(dir.file("big.jpg"),
                       ovintest::makejpeg(1200, 900, ovintest::jpegpattern(1200, 900, 3)));
    ovintest::commandresult closed =
        ovintest::runcommand("(cd '" + dir.path().string() + "' && { '" + kTool + "' " +
                             "big.jpg big.jpg big.jpg big.jpg -o -; echo $? > status; } | true)");
    EXPECT_EQ(ovintest::readbytes(dir.file("status")), "1\n");
    EXPECT_NE(closed.output.find("ovinpdf: cannot write standard output: Broken pipe"),
              std::string::npos)
        << closed.output;
}

// Names from lists, one a line or NUL-ended, taken as they are, in their
// place among the other pages.
TEST(Shell, FromFile) {
    ovintest::tempdir dir;
    writeimages(dir);
    std::filesystem::copy_file(dir.file("black.jpg"), dir.file(" two  spaces .jpg"));
    ovintest::writebytes(dir.file("lines.txt"), "nodpi.jpg\n\n two  spaces .jpg\n-dash.jpg");
    ovintest::writebytes(dir.file("crlf.txt"), "nodpi.jpg\r\n\r\n-dash.jpg\r\n");
    // A folder: its images in natural order, not its other files, hidden
    // ones or subfolders.
    std::filesystem::create_directories(dir.file("album/sub"));
    std::filesystem::copy_file(dir.file("nodpi.jpg"), dir.file("album/scan2.jpg"));
    std::filesystem::copy_file(dir.file("black.jpg"), dir.file("album/scan10.jpg"));
    std::filesystem::copy_file(dir.file("black.jpg"), dir.file("album/.hidden.jpg"));
    ovintest::writebytes(dir.file("album/Thumbs.db"), "not an image");
    ovintest::writebytes(dir.file("nul.txt"),
                         std::string("nodpi.jpg") + '\0' + '\0' + " two  spaces .jpg" + '\0');
    struct listcase {
        std::string args;
        std::string sizes; // the page widths in order
    };
    for (const listcase& c : std::vector<listcase>{
             {"--from-file lines.txt --dpi 100", "216 216 216 "},
             {"black.jpg --from-file=nul.txt -0 ./-dash.jpg --default-dpi 50", "216 432 216 216 "},
             {"--null --from-file - < nul.txt --default-dpi 50", "432 216 "},
             {"--from-file - --default-dpi 50 < lines.txt", "432 216 216 "},
             {"--from-file crlf.txt --default-dpi 50 --border=0", "432 216 "},
             {"--default-dpi 50 album", "432 216 "},
             {"--sort=natural --default-dpi 50 album/scan10.jpg album/scan2.jpg", "432 216 "},
             {"--sort name --default-dpi 50 album/scan2.jpg album/scan10.jpg", "216 432 "},
             {"--from-file=nul.txt black.jpg --from-file lines.txt --null", ""},
         }) {
        SCOPED_TRACE(c.args);
        ovintest::commandresult r = tool(dir, "-q " + c.args + " -o out.pdf");
        if (c.sizes.empty()) {
            // lines.txt read as NUL-separated is one name with line ends in it.
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.output.find(
                          "cannot read 'nodpi.jpg'$'\\n\\n'' two  spaces .jpg'$'\\n''-dash.jpg': "
                          "No such file or directory"),
                      std::string::npos)
                << r.output;
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.output;
        std::string sizes;
        const std::string pdf = ovintest::readbytes(dir.file("out.pdf"));
        const std::regex box("/MediaBox\\[0 0 ([0-9.]+) ");
        for (auto m = std::sregex_iterator(pdf.begin(), pdf.end(), box);
             m != std::sregex_iterator(); ++m) {
            sizes += (*m)[1].str() + " ";
        }
        EXPECT_EQ(sizes, c.sizes);
    }
    // A stray file among the images: skipped and named with --keep-going.
    ovintest::writebytes(dir.file("Thumbs.db"), "not an image");
    ovintest::commandresult r = tool(dir, "--keep-going Thumbs.db black.jpg -o out.pdf");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("ovinpdf: 'Thumbs.db' is not a JPEG, TIFF, PNG, BMP, PNM, JPEG 2000, "
                            "WebP, GIF, HEIC, AVIF or JPEG XL image; skipped\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("written: 1 page, 1 image skipped\n"), std::string::npos) << r.output;
    EXPECT_EQ(tool(dir, "--keep-going -q Thumbs.db -o out.pdf").status, 1);
}

struct terminalrun {
    std::string terminal; // what the tool wrote to the terminal
    std::string log;      // its other output
    int status = -1;
};

// Runs the tool in `dir` with the descriptors `fds` on a new terminal
// `columns` wide (0: one that tells no width).
terminalrun onterminal(const ovintest::tempdir& dir, const std::vector<std::string>& args,
                       const std::vector<int>& fds, unsigned short columns) {
    int master = -1;
    int slave = -1;
    winsize size{};
    size.ws_row = columns > 0 ? 24 : 0;
    size.ws_col = columns;
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
        ADD_FAILURE() << "openpty failed";
        return {};
    }
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), args.begin(), args.end());
    ovintest::childsetup setup;
    setup.cwd = dir.path();
    setup.log = dir.file("log");
    setup.beforeexec = [&] {
        for (int fd : fds) {
            ::dup2(slave, fd);
        }
        ::close(master);
        ::close(slave);
    };
    ovintest::childprocess child(argv, setup);
    ::close(slave);
    terminalrun run;
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(master, buffer.data(), buffer.size());
        if (got > 0) {
            run.terminal.append(buffer.data(), static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break; // EIO: the tool has gone, and the terminal has no other user
        }
    }
    ::close(master);
    run.status = child.wait();
    run.log = ovintest::readbytes(dir.file("log"));
    return run;
}

// Binary data is refused where a person would see it.
TEST(Shell, TerminalsGetNoBinaryData) {
    ovintest::tempdir dir;
    writeimages(dir);
    const terminalrun out = onterminal(dir, {"black.jpg", "-o", "-"}, {STDOUT_FILENO}, 80);
    EXPECT_EQ(ovintest::describestatus(out.status), "exit 2");
    EXPECT_NE(out.log.find("ovinpdf: -o -: standard output is a terminal"), std::string::npos)
        << out.log;
    EXPECT_EQ(out.terminal, "");
    const terminalrun in = onterminal(dir, {"-", "-o", "x.pdf"}, {STDIN_FILENO}, 80);
    EXPECT_EQ(ovintest::describestatus(in.status), "exit 2");
    EXPECT_NE(in.log.find("ovinpdf: -: standard input is a terminal"), std::string::npos) << in.log;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdf")));
}

// Columns a line takes, with every character beyond ASCII (here: CJK
// ideographs) taken as two.
int columnsof(const std::string& line) {
    int n = 0;
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        n += b < 0x80 ? 1 : b >= 0xC0 ? 2 : 0;
    }
    return n;
}

// The progress line fits terminals of every width and never wraps; the
// name is cut at its start where it does not fit.
TEST(Shell, ProgressLineFitsTheTerminal) {
    ovintest::tempdir dir;
    writeimages(dir);
    const std::string name = std::string(116, 'p') + ".jpg";
    std::filesystem::copy_file(dir.file("black.jpg"), dir.file(name));
    std::string cjk;
    for (int i = 0; i < 40; ++i) {
        cjk += "\xE6\xBC\xA2"; // U+6F22
    }
    for (const int columns : {0, 12, 20, 40, 200}) {
        SCOPED_TRACE(columns);
        const terminalrun run = onterminal(dir, {name, "--text", cjk, name, "-o", "out.pdf"},
                                           {STDERR_FILENO}, static_cast<unsigned short>(columns));
        EXPECT_EQ(ovintest::describestatus(run.status), "exit 0") << run.log;
        const int width = columns > 0 ? columns : 80;
        std::string all;
        std::stringstream segments(run.terminal);
        std::string line;
        int drawn = 0;
        while (std::getline(segments, line, '\r')) {
            if (line.starts_with("\033[K")) {
                line.erase(0, 3);
            }
            if (line.find("/3") != std::string::npos) {
                EXPECT_LT(columnsof(line), width) << line;
                ++drawn;
            }
            all += line + "|";
        }
        EXPECT_EQ(drawn, 3) << all;
        EXPECT_NE(all.find(columns == 200 ? " " + name + "|" : ".jpg|"), std::string::npos) << all;
        EXPECT_EQ(all.find(columns == 200 ? "..." : " " + name), std::string::npos) << all;
        EXPECT_NE(all.find("\n'out.pdf' written: 3 pages"), std::string::npos) << all;
    }
}

// The manual pages render without warnings; the help, the manual page and
// the completion know the same options; the completion completes them and
// their values.
TEST(Shell, ManualPagesAndCompletion) {
    const std::string build = OVIN_BUILD_DIR;
    const std::string completion = std::string(OVIN_SOURCE_DIR) + "/cli/ovinpdf.bash";
    for (const std::string& page : {build + "/cli/ovinpdf.1", build + "/desktop/zentropdf.1"}) {
        SCOPED_TRACE(page);
        if (!std::filesystem::exists(page) && page.find("zentropdf") != std::string::npos) {
            continue; // built without the desktop program
        }
        ovintest::commandresult groff = ovintest::runcommand("groff -ww -man -z '" + page + "'");
        EXPECT_EQ(groff.status, 0);
        EXPECT_EQ(groff.output, "");
        ovintest::commandresult man =
            ovintest::runcommand("(MANWIDTH=80 man --warnings -l '" + page + "' > /dev/null)");
        EXPECT_EQ(man.status, 0);
        EXPECT_EQ(man.output, "");
    }

    auto options = [](const std::string& text, const std::string& dashes) {
        std::set<std::string> found;
        const std::regex option(dashes + "([a-z][a-z0-9]*(" + dashes.substr(0, dashes.size() / 2) +
                                "[a-z0-9]+)*)");
        for (auto m = std::sregex_iterator(text.begin(), text.end(), option);
             m != std::sregex_iterator(); ++m) {
            std::string name = (*m)[1].str();
            std::erase(name, '\\'); // roff writes page\-size
            found.insert(name);
        }
        return found;
    };
    const std::set<std::string> help =
        options(ovintest::runcommand("'" + kTool + "' --help").output, "--");
    const std::string script = ovintest::readbytes(completion);
    const size_t list = script.find("local options='") + 15;
    EXPECT_EQ(options(script.substr(list, script.find('\'', list) - list), "--"), help);
    // The manual page names more (shortened ones in examples), but every one.
    const std::set<std::string> manual =
        options(ovintest::readbytes(build + "/cli/ovinpdf.1"), "\\\\-\\\\-");
    std::vector<std::string> missing;
    std::set_difference(help.begin(), help.end(), manual.begin(), manual.end(),
                        std::back_inserter(missing));
    EXPECT_EQ(missing, std::vector<std::string>{});
    EXPECT_GT(help.size(), 25u);

    ovintest::tempdir dir;
    ovintest::writebytes(dir.file("scan one.jpg"), "");
    struct completioncase {
        std::vector<std::string> words;
        std::string expected;
    };
    for (const completioncase& c : std::vector<completioncase>{
             {{"--fi"}, "--fit|--first-frame"},
             {{"--t"}, "--text|--temp|--title"},
             {{"--fit", ""}, "into|fill|exact|shrink|enlarge"},
             {{"--fit", "=", "e"}, "exact|enlarge"},
             {{"--orient", "l"}, "landscape"},
             {{"--page-size", "L"}, "Letter|Legal"},
             {{"--page-size=L"}, "--page-size=Letter|--page-size=Legal"},
             {{"--author", "sc"}, ""},
             {{"sc"}, "scan one.jpg"},
             {{"--", "--"}, ""},
         }) {
        std::string words = "ovinpdf";
        for (const std::string& w : c.words) {
            words += " \"" + w + "\"";
        }
        SCOPED_TRACE(words);
        ovintest::commandresult r = ovintest::runcommand(
            "cd '" + dir.path().string() + "' && bash -c 'source \"$0\"; COMP_WORDS=(" + words +
            "); COMP_CWORD=" + std::to_string(c.words.size()) +
            "; _ovinpdf; IFS=\"|\"; echo \"${COMPREPLY[*]}\"' '" + completion + "'");
        EXPECT_EQ(r.output, c.expected + "\n");
    }
}

} // namespace
