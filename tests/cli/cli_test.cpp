// The command-line tool as a shell user meets it: pages and bookmarks in
// the order given, exit statuses, messages, stop signals, an output that is
// one of the inputs, and the files it writes.
#include "childprocess.h"
#include "clitool.h"
#include "jpegfixtures.h"
#include "pdftools.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstddef>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clitest::kTool;
namespace fs = std::filesystem;

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
    EXPECT_NE(pdf.object(7).find("/Producer (Someone)\r\n/Title (The title)"), std::string::npos);
    EXPECT_NE(pdf.object(11).find("/Title(Start)"), std::string::npos);
    EXPECT_NE(pdf.object(12).find("/Title(Next)"), std::string::npos);
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

    // A failed run leaves nothing in the temporary folders.
    std::filesystem::create_directory(dir.file("run"));
    ovintest::commandresult missing =
        ovintest::runcommand("XDG_RUNTIME_DIR='" + dir.file("run") + "' '" + kTool + "' '" +
                             dir.file("nothere.jpg") + "' -o '" + out + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("run")));
    EXPECT_NE(missing.output.find("ovinpdf: cannot read '" + dir.file("nothere.jpg") + "'" +
                                  ": No such file or directory\n"),
              std::string::npos)
        << missing.output;
    ovintest::commandresult nopage = run("--text a --bookmark b T -o '" + out + "'");
    EXPECT_EQ(nopage.status, 1);
    EXPECT_NE(nopage.output.find("ovinpdf: no page named 'b'\n"), std::string::npos);
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
    // One line for the file, not one per direction and page.
    EXPECT_NE(r.output.find("'" + tif + "': low resolution (100 dpi), taken as it is\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("dpi", r.output.find("dpi") + 3), std::string::npos) << r.output;
    std::string info = ovintest::runcommand("pdfinfo '" + out + "'").output;
    std::erase(info, ' ');
    EXPECT_NE(info.find("Pages:2\n"), std::string::npos) << info;
    EXPECT_EQ(run("-q '" + tif + "' -o '" + out + "'").output, "");
}

// Ctrl-C, SIGTERM and SIGHUP while files are added or pages written: the
// run stops, says why, exits 128 + the signal number, and leaves nothing (a
// file there before stays as it was, the private temporary folder goes). A
// signal ignored by the caller (nohup) stays ignored.
TEST(Cli, StopSignalsEndTheRunCleanly) {
    ovintest::tempdir dir;
    const std::string book = dir.file("book.tif");
    ovintest::writetiff(book, clitest::stripedpages(60, 1700, 2200, 1));
    const std::string out = dir.file("out.pdf");
    fs::create_directory(dir.file("run"));

    struct stopcase {
        int sig;
        bool duringsave;
        bool ignored;
    };
    for (const stopcase& c : {stopcase{SIGINT, true, false}, stopcase{SIGTERM, true, false},
                              stopcase{SIGHUP, true, false}, stopcase{SIGINT, false, false},
                              stopcase{SIGTERM, false, false}, stopcase{SIGHUP, true, true}}) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) + (c.duringsave ? " saving" : " adding") +
                     (c.ignored ? " ignored" : ""));
        ovintest::writebytes(out, "older file");
        ovintest::childsetup setup;
        setup.env = {"XDG_RUNTIME_DIR=" + dir.file("run")};
        setup.log = dir.file("log");
        setup.beforeexec = [&] {
            if (c.ignored) {
                std::signal(c.sig, SIG_IGN);
            } else if (!c.duringsave) {
                // Blocked and pending at start: the tool lets it in at once
                // and stops before the first file, so the missing second
                // file is never reached.
                sigset_t set;
                sigemptyset(&set);
                sigaddset(&set, c.sig);
                ::sigprocmask(SIG_BLOCK, &set, nullptr);
                ::raise(c.sig);
            }
        };
        ovintest::childprocess child(
            c.duringsave ? std::vector<std::string>{kTool, book, "-o", out}
                         : std::vector<std::string>{kTool, book, dir.file("none.tif"), "-o", out},
            setup);
        if (c.duringsave) {
            ASSERT_TRUE(ovintest::waitfor([&] { return child.writtenfilesize(dir.path()) > 0; }));
            child.signal(c.sig);
        }
        const int status = child.wait();
        const std::string log = ovintest::readbytes(dir.file("log"));
        EXPECT_EQ(ovintest::folderlisting(dir.file("run")), std::vector<std::string>{});
        EXPECT_EQ(ovintest::folderlisting(dir.path()),
                  (std::vector<std::string>{"book.tif", "log", "out.pdf", "run"}));
        if (c.ignored) {
            EXPECT_EQ(ovintest::describestatus(status), "exit 0") << log;
            EXPECT_TRUE(ovintest::qpdfcheck(out));
            continue;
        }
        EXPECT_EQ(ovintest::describestatus(status), "exit " + std::to_string(128 + c.sig)) << log;
        EXPECT_NE(log.find(c.duringsave ? "ovinpdf: the save was cancelled; nothing written"
                                        : "before the save; no file written"),
                  std::string::npos)
            << log;
        EXPECT_EQ(ovintest::readbytes(out), "older file");
    }
}

// The output may be none of the input images, however it is named: the run
// is refused before anything is written and the scan stays as it was.
TEST(Cli, OutputThatIsAnInputIsRefused) {
    ovintest::tempdir dir;
    ovintest::savejpeg(dir.file("scan.jpg"),
                       ovintest::makejpeg(32, 24, ovintest::jpegpattern(32, 24, 3)));
    ovintest::writebytes(dir.file("other.jpg"), ovintest::readbytes(dir.file("scan.jpg")));
    const std::string scan = ovintest::readbytes(dir.file("scan.jpg"));
    fs::create_hard_link(dir.file("scan.jpg"), dir.file("hard.pdf"));
    fs::create_symlink("scan.jpg", dir.file("soft.pdf"));
    const std::vector<std::string> before = ovintest::folderlisting(dir.path());
    for (const char* output : {"scan.jpg", "./scan.jpg", "hard.pdf", "soft.pdf"}) {
        SCOPED_TRACE(output);
        ovintest::commandresult r = ovintest::runcommand(
            "cd '" + dir.path().string() + "' && '" + kTool + "' other.jpg scan.jpg -o " + output);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.output.find("the output '" + std::string(output) +
                                "' is one of the input files ('scan.jpg')"),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(ovintest::readbytes(dir.file("scan.jpg")), scan);
        EXPECT_EQ(ovintest::folderlisting(dir.path()), before);
    }
    // Standard input and lists of names, read or not yet read.
    ovintest::writebytes(dir.file("list.txt"), "other.jpg\n");
    const std::string list = ovintest::readbytes(dir.file("list.txt"));
    for (const auto& [args, input] : std::vector<std::pair<std::string, std::string>>{
             {"- -o scan.jpg < scan.jpg", "standard input"},
             {"- -o /dev/fd/3 < scan.jpg 3>>scan.jpg", "standard input"},
             {"--from-file list.txt -o list.txt", "the list 'list.txt'"},
             {"--from-file - -o list.txt < list.txt", "standard input"},
             {"--from-file list.txt -o other.jpg", "'other.jpg'"}}) {
        SCOPED_TRACE(args);
        ovintest::commandresult r =
            ovintest::runcommand("cd '" + dir.path().string() + "' && '" + kTool + "' " + args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.output.find("is one of the input files (" + input + "); nothing written"),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(ovintest::readbytes(dir.file("scan.jpg")), scan);
        EXPECT_EQ(ovintest::readbytes(dir.file("list.txt")), list);
    }
}

// Makes open() with O_TMPFILE fail with EOPNOTSUPP in this process and the
// programs it runs, as on a file system without unnamed files. Runs in a
// child before exec; exits 125 when the filter does not take.
void refuseunnamedfiles() {
    // The low half of a 64-bit system call argument.
    auto argument = [](int i) -> uint32_t {
        return static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * i +
                                     (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 0 : 4));
    };
#ifdef SYS_open
    constexpr uint32_t kOpen = SYS_open;
#else
    constexpr uint32_t kOpen = 0xFFFFFFFF;
#endif
    constexpr uint32_t kUnnamed = O_TMPFILE & ~O_DIRECTORY;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, argument(2)),
        BPF_STMT(BPF_JMP | BPF_JA | BPF_K, 2),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kOpen, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, argument(1)),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kUnnamed, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0 ||
        ::open(".", O_TMPFILE | O_WRONLY, 0600) >= 0 || errno != EOPNOTSUPP) {
        std::_Exit(125);
    }
}

// The PDF file itself, written unnamed and linked in, or (where unnamed
// files are missing) under a temporary name: a new file gets 0666 less the
// umask, a replaced one keeps its mode and owner, a symbolic link's target
// is replaced or made (a dangling link too), a target name of 255 bytes
// works, the partial files that killed runs left are removed (not those of
// a run still writing, nor other files), and nothing else is left.
TEST(Cli, OutputFileModesNamesAndLinks) {
    const std::string longname = std::string(251, 'n') + ".pdf";
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "O_TMPFILE" : "temporary name");
        ovintest::tempdir dir;
        ovintest::savejpeg(dir.file("scan.jpg"),
                           ovintest::makejpeg(32, 24, ovintest::jpegpattern(32, 24, 3)));
        ovintest::writebytes(dir.file("keep.pdf"), "old");
        ::chmod(dir.file("keep.pdf").c_str(), 0600);
        const bool root = ::geteuid() == 0;
        if (root) {
            ASSERT_EQ(::chown(dir.file("keep.pdf").c_str(), 1234, 5678), 0);
        }
        ovintest::writebytes(dir.file("target.pdf"), "old");
        ::chmod(dir.file("target.pdf").c_str(), 0640);
        fs::create_symlink("target.pdf", dir.file("link.pdf"));
        fs::create_symlink("made.pdf", dir.file("dangling.pdf"));
        // Partial files: a killed run's (untouched for two minutes, locked
        // by nobody), one just made, and one a running save holds locked.
        const std::string partial = ".keep.pdf.ovinpdf-part.";
        const auto make = [&](const std::string& name, bool old) {
            ovintest::writebytes(dir.file(name), "%PDF-1.4 partial");
            const timespec times[2] = {{::time(nullptr) - (old ? 120 : 0), 0},
                                       {::time(nullptr) - (old ? 120 : 0), 0}};
            ::utimensat(AT_FDCWD, dir.file(name).c_str(), times, 0);
        };
        make(partial + "killed", true);
        make(partial + "recent", false);
        make(partial + "locked", true);
        make(".keep.pdf.notour", true);
        const int held = ::open(dir.file(partial + "locked").c_str(), O_WRONLY | O_CLOEXEC);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        ASSERT_EQ(::fcntl(held, F_OFD_SETLK, &lock), 0);

        for (const std::string& output :
             {std::string("new.pdf"), std::string("keep.pdf"), std::string("link.pdf"),
              std::string("dangling.pdf"), longname, longname}) {
            ovintest::childsetup setup;
            setup.cwd = dir.path();
            setup.beforeexec = [unnamed] {
                ::umask(027);
                if (!unnamed) {
                    refuseunnamedfiles();
                }
            };
            ovintest::childprocess child({kTool, "-q", "scan.jpg", "-o", output}, setup);
            EXPECT_EQ(ovintest::describestatus(child.wait()), "exit 0") << output;
            EXPECT_EQ(ovintest::readbytes(dir.file(output)).substr(0, 8), "%PDF-1.4") << output;
        }
        auto mode = [&](const std::string& name) {
            struct stat st {};
            ::lstat(dir.file(name).c_str(), &st);
            return st;
        };
        EXPECT_EQ(mode("new.pdf").st_mode & 07777, 0640u);
        EXPECT_EQ(mode(longname).st_mode & 07777, 0640u);
        EXPECT_EQ(mode("keep.pdf").st_mode & 07777, 0600u);
        if (root) {
            EXPECT_EQ(mode("keep.pdf").st_uid, 1234u);
            EXPECT_EQ(mode("keep.pdf").st_gid, 5678u);
        }
        EXPECT_TRUE(S_ISLNK(mode("link.pdf").st_mode));
        EXPECT_TRUE(S_ISLNK(mode("dangling.pdf").st_mode));
        EXPECT_EQ(mode("target.pdf").st_mode & 07777, 0640u);
        EXPECT_EQ(ovintest::readbytes(dir.file("made.pdf")).substr(0, 8), "%PDF-1.4");
        ::close(held);
        EXPECT_EQ(
            ovintest::folderlisting(dir.path()),
            (std::vector<std::string>{".keep.pdf.notour", partial + "locked", partial + "recent",
                                      "dangling.pdf", "keep.pdf", "link.pdf", "made.pdf", "new.pdf",
                                      longname, "scan.jpg", "target.pdf"}));
    }
}

} // namespace
