// The PDF output stream: buffered, forward only, with the byte offset of
// every object recorded for the cross-reference table.
//
// A file is written unnamed (O_TMPFILE) in the target's folder and linked
// into place only when the whole document is complete, so that a process
// killed half-way leaves nothing behind. A file that is already there is
// replaced in one rename and its permission bits (and group, and owner
// where allowed) carry over to the new one. Where the file system cannot
// make unnamed files, the document is written under a temporary name beside
// the target instead. Devices and pipes are written to directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovin {

class pdfoutput {
public:
    pdfoutput() = default;
    ~pdfoutput();
    pdfoutput(const pdfoutput&) = delete;
    pdfoutput& operator=(const pdfoutput&) = delete;

    // Creates the output for `target` with room for `objcount` object
    // offsets. 0 on success, else the errno value.
    int open(const std::string& target, int64_t objcount);
    // Writes to an open file descriptor instead (a pipe, standard output),
    // as it goes: nothing is renamed, and a failed save may leave part of
    // the document there. `name` names it in messages. The descriptor stays
    // the caller's.
    int openfd(int fd, const std::string& name, int64_t objcount);

    // The bytes of s followed by CR LF.
    void writeline(std::string_view s);
    // Raw bytes (stream data), no line end.
    void write(const void* data, size_t size);
    // `length` bytes of the open file `from` from `offset` on, copied by
    // the kernel where the two file systems allow it, else read and
    // written. A file that ends before them fails the output with EIO:
    // the stream's length is written already.
    void copy(int from, uint64_t offset, uint64_t length);

    // Records the offset of object `number` and writes its "N 0 obj" line.
    void beginobject(int64_t number);
    // Writes "endobj".
    void endobject() { writeline("endobj"); }
    // A stream's body: "stream", the bytes as they are, "endstream".
    void writestream(const void* data, size_t size) {
        writeline("stream");
        write(data, size);
        endstream();
    }
    void writestream(std::string_view bytes) { writestream(bytes.data(), bytes.size()); }
    // The same with the bytes copied from a file (copy() below).
    void copystream(int from, uint64_t offset, uint64_t length) {
        writeline("stream");
        copy(from, offset, length);
        endstream();
    }
    // Whether a line end comes between a stream's data and "endstream"
    // (PDF/A asks for one; it is not part of the stream's length).
    void setendstreamline(bool on) { endstreamline_ = on; }

    // "N 0 R": a reference to object N.
    static std::string ref(int64_t number) { return std::to_string(number) + " 0 R"; }

    uint64_t position() const { return position_; }
    const std::vector<uint64_t>& offsets() const { return offsets_; }
    // errno of the first failed write, 0 while all went well.
    int error() const { return error_; }

    // Flushes, syncs and puts the file in place of the target. 0 or errno.
    int commit();
    // Closes and removes what was written. False when it could not be
    // removed; name() then tells what is left.
    bool discard();
    const std::string& name() const { return writename_; }

private:
    enum class kind {
        none,
        direct,  // a device or pipe, written as it is
        unnamed, // an O_TMPFILE file, linked in by commit()
        named,   // a temporary name beside the target, renamed by commit()
    };

    int opennamed(const std::string& dir, const std::string& base);
    int linkintoplace();
    void flush();
    void writedirect(const char* data, size_t size);
    void startwriteback();
    bool kernelcopy(int from, uint64_t& offset, uint64_t& left);
    void closefd();

    void endstream() {
        if (endstreamline_) {
            writeline("");
        }
        writeline("endstream");
    }

    bool endstreamline_ = false;
    int fd_ = -1;
    kind kind_ = kind::none;
    bool replacing_ = false; // a regular file was at the target when opened
    std::string target_;
    std::string writename_;
    std::vector<char> buffer_;
    uint64_t position_ = 0;
    uint64_t writeback_ = 0; // the bytes before this are on their way to the disk
    std::vector<uint64_t> offsets_;
    int error_ = 0;
    bool kernelcopies_ = true; // false once copy_file_range was refused
};

} // namespace ovin
