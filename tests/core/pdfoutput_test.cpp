// Stored image bytes copied from their file into the PDF: by the kernel into
// a file, by reads and writes into a descriptor, and never silently short.
#include "pdf/pdfoutput.h"
#include "pdftools.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

struct openfile {
    int fd;
    explicit openfile(const std::string& name, int flags) : fd(::open(name.c_str(), flags, 0600)) {}
    ~openfile() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

TEST(PdfOutput, CopiesAFileRangeIntoFilesAndDescriptorsAndRefusesAShortFile) {
    ovintest::tempdir dir;
    // More than the output's buffer and its write-back step, in bytes that
    // show any shifted or repeated block.
    std::string source(5'000'003, '\0');
    for (size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<char>((i * 7919) >> 3);
    }
    ovintest::writebytes(dir.file("image.bin"), source);
    const openfile in(dir.file("image.bin"), O_RDONLY);
    ASSERT_GE(in.fd, 0);
    const std::string expected = "head\r\n" + source.substr(11) + "tail";

    // A named target: the kernel copies. A descriptor: read and written.
    const auto copied = [&](ovin::pdfoutput& out) {
        out.writeline("head");
        out.copy(in.fd, 11, source.size() - 11);
        out.write("tail", 4);
        EXPECT_EQ(out.position(), expected.size());
        return out.error();
    };
    {
        ovin::pdfoutput out;
        ASSERT_EQ(out.open(dir.file("named.pdf"), 1), 0);
        ASSERT_EQ(copied(out), 0);
        ASSERT_EQ(out.commit(), 0);
    }
    EXPECT_EQ(ovintest::readbytes(dir.file("named.pdf")), expected);
    {
        const openfile target(dir.file("fd.pdf"), O_WRONLY | O_CREAT | O_TRUNC);
        ovin::pdfoutput out;
        ASSERT_EQ(out.openfd(target.fd, "fd.pdf", 1), 0);
        ASSERT_EQ(copied(out), 0);
        ASSERT_EQ(out.commit(), 0);
    }
    EXPECT_EQ(ovintest::readbytes(dir.file("fd.pdf")), expected);

    // A file that has become shorter than the length already written fails
    // the output, through either way of copying; nothing is left behind.
    {
        ovin::pdfoutput out;
        ASSERT_EQ(out.open(dir.file("short.pdf"), 1), 0);
        out.copy(in.fd, source.size() - 10, 20);
        EXPECT_EQ(out.error(), EIO);
        EXPECT_TRUE(out.discard());
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("short.pdf")));
    {
        const openfile target(dir.file("shortfd.pdf"), O_WRONLY | O_CREAT | O_TRUNC);
        ovin::pdfoutput out;
        ASSERT_EQ(out.openfd(target.fd, "shortfd.pdf", 1), 0);
        out.copy(in.fd, source.size() - 10, 20);
        EXPECT_EQ(out.error(), EIO);
    }
}

} // namespace
