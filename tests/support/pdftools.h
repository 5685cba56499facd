// Test helpers around written PDF files: reading them back object by
// object, and running the real readers (qpdf, poppler, MuPDF) on them.
#pragma once

#include "core/ui.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ovintest {

std::string readbytes(const std::filesystem::path& path);
void writebytes(const std::filesystem::path& path, const std::string& bytes);

// A path that exists but that nobody can open, root included: a bound
// Unix socket, removed from the file system with the object.
class unopenablefile {
public:
    explicit unopenablefile(std::string path);
    ~unopenablefile();
    unopenablefile(const unopenablefile&) = delete;
    unopenablefile& operator=(const unopenablefile&) = delete;
    bool ok() const { return bound_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

// A fresh directory under the system's temporary folder, removed with its
// content when the object goes.
class tempdir {
public:
    tempdir();
    ~tempdir();
    tempdir(const tempdir&) = delete;
    tempdir& operator=(const tempdir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The objects of a PDF file as found through its cross-reference table:
// each object's text from "N 0 obj" to its "endobj" line, in file order.
struct pdfobject {
    int32_t number = 0;
    uint64_t offset = 0;
    std::string text;
};

struct pdffile {
    std::string bytes;
    std::vector<pdfobject> objects; // in the order they appear in the file
    std::map<int32_t, size_t> bynumber;
    uint64_t xrefoffset = 0;
    std::string trailer;
    std::string error; // empty when the structure was read cleanly

    const std::string& object(int32_t number) const;
    // The stream of object `number`: its bytes between "stream" and
    // "endstream", empty when it has none.
    std::string stream(int32_t number) const;
    std::vector<int32_t> writeorder() const;
};

// Reads the file and checks its skeleton: every xref entry 20 bytes and
// pointing at its "N 0 obj" line, startxref at "xref", every line ending
// in CR LF outside streams.
pdffile parsepdf(const std::filesystem::path& path);

struct commandresult {
    int status = -1;
    std::string output; // stdout and stderr together
};
commandresult runcommand(const std::string& command);

// `qpdf --check`; true when it reports no errors or warnings.
bool qpdfcheck(const std::filesystem::path& path, std::string* output = nullptr);
std::string pdftotext(const std::filesystem::path& path);

// A UI that records what the writer shows and can press Cancel while a
// given page (1-based) is being announced.
class fakeui final : public ovin::Ui {
public:
    int32_t cancelatpage = 0;
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    int32_t shows = 0, closes = 0, steps = 0, maximum = -1;
    std::string pdfname, finish;
    std::function<void()> onmessages; // runs inside processMessages

    void progressShow(const std::string& name, int32_t pagecount) override {
        ++shows;
        pdfname = name;
        maximum = pagecount;
        steps = 0;
        cancel_ = false;
    }
    void progressStatus(const std::string& text) override { statuses.push_back(text); }
    void progressStep() override { ++steps; }
    void progressFinish(const std::string& text) override { finish = text; }
    void progressClose() override { ++closes; }
    void processMessages() override {
        if (cancelatpage > 0 && steps == cancelatpage) {
            cancel_ = true;
        }
        if (onmessages) {
            onmessages();
        }
    }
    bool cancelled() const override { return cancel_; }
    void message(const std::string& text) override { messages.push_back(text); }

private:
    bool cancel_ = false;
};

} // namespace ovintest
