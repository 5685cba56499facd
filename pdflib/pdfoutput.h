// The PDF output stream: buffered, forward only, with the byte offset of
// every object recorded for the cross-reference table. The file is written
// under a temporary name beside the target and renamed over it only when the
// whole document is complete.
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

    // The bytes of s followed by CR LF.
    void writeline(std::string_view s);
    // Raw bytes (stream data), no line end.
    void write(const void* data, size_t size);

    // Records the offset of object `number` and writes its "N 0 obj" line.
    void beginobject(int64_t number);
    // Writes "endobj".
    void endobject() { writeline("endobj"); }
    // A stream's body: "stream", the bytes as they are, "endstream".
    void writestream(const void* data, size_t size) {
        writeline("stream");
        write(data, size);
        writeline("endstream");
    }
    void writestream(std::string_view bytes) { writestream(bytes.data(), bytes.size()); }

    // "N 0 R": a reference to object N.
    static std::string ref(int64_t number) { return std::to_string(number) + " 0 R"; }

    uint64_t position() const { return position_; }
    const std::vector<uint64_t>& offsets() const { return offsets_; }
    // errno of the first failed write, 0 while all went well.
    int error() const { return error_; }

    // Flushes, syncs and renames the file over the target. 0 or errno.
    int commit();
    // Closes and removes what was written. False when it could not be
    // removed; name() then tells what is left.
    bool discard();
    const std::string& name() const { return writename_; }

private:
    void flush();
    void writedirect(const char* data, size_t size);
    void closefd();

    int fd_ = -1;
    bool direct_ = false; // writing straight to a device, no temporary file
    std::string target_;
    std::string writename_;
    std::vector<char> buffer_;
    uint64_t position_ = 0;
    std::vector<uint64_t> offsets_;
    int error_ = 0;
};

} // namespace ovin
