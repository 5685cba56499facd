#include "pdftools.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ovintest {

std::string readbytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writebytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

unopenablefile::unopenablefile(std::string path) : path_(std::move(path)) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (fd_ < 0 || path_.size() >= sizeof addr.sun_path) {
        return;
    }
    path_.copy(addr.sun_path, path_.size());
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

unopenablefile::~unopenablefile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (bound_) {
        ::unlink(path_.c_str());
    }
}

tempdir::tempdir() {
    std::string templ = (std::filesystem::temp_directory_path() / "ovintest.XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = templ;
}

tempdir::~tempdir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

const std::string& pdffile::object(int32_t number) const {
    static const std::string none;
    auto it = bynumber.find(number);
    return it == bynumber.end() ? none : objects[it->second].text;
}

std::string pdffile::stream(int32_t number) const {
    const std::string& text = object(number);
    const size_t from = text.find("stream\r\n");
    const size_t to = text.rfind("endstream");
    return from == std::string::npos || to == std::string::npos || to < from + 8
               ? std::string()
               : text.substr(from + 8, to - from - 8);
}

std::vector<int32_t> pdffile::writeorder() const {
    std::vector<int32_t> order;
    for (const pdfobject& o : objects) {
        order.push_back(o.number);
    }
    return order;
}

pdffile parsepdf(const std::filesystem::path& path) {
    pdffile pdf;
    pdf.bytes = readbytes(path);
    const std::string& b = pdf.bytes;
    auto fail = [&](std::string why) {
        if (pdf.error.empty()) {
            pdf.error = std::move(why);
        }
        return pdf;
    };
    size_t sx = b.rfind("startxref\r\n");
    if (sx == std::string::npos) {
        return fail("no startxref");
    }
    pdf.xrefoffset = std::stoull(b.substr(sx + 11));
    if (b.compare(pdf.xrefoffset, 6, "xref\r\n") != 0) {
        return fail("startxref does not point at xref");
    }
    size_t p = pdf.xrefoffset + 6;
    size_t eol = b.find("\r\n", p);
    std::istringstream head(b.substr(p, eol - p));
    int first = -1;
    int count = -1;
    head >> first >> count;
    if (first != 0 || count < 1) {
        return fail("bad xref subsection line");
    }
    p = eol + 2;
    std::vector<std::pair<int32_t, uint64_t>> entries;
    for (int k = 0; k < count; ++k, p += 20) {
        std::string entry = b.substr(p, 20);
        if (entry.size() != 20 || entry.compare(18, 2, "\r\n") != 0) {
            return fail("xref entry " + std::to_string(k) + " is not 20 bytes");
        }
        if (k == 0) {
            if (entry != "0000000000 65535 f\r\n") {
                return fail("bad free entry");
            }
            continue;
        }
        if (entry.compare(10, 8, " 00000 n") != 0) {
            return fail("bad in-use entry " + std::to_string(k));
        }
        entries.emplace_back(k, std::stoull(entry.substr(0, 10)));
    }
    pdf.trailer = b.substr(p);
    std::sort(entries.begin(), entries.end(),
              [](const auto& x, const auto& y) { return x.second < y.second; });
    for (const auto& [number, offset] : entries) {
        std::string header = std::to_string(number) + " 0 obj\r\n";
        if (b.compare(offset, header.size(), header) != 0) {
            return fail("object " + std::to_string(number) + " is not at its offset");
        }
        size_t end = b.find("endobj\r\n", offset);
        if (end == std::string::npos) {
            return fail("object " + std::to_string(number) + " has no endobj");
        }
        pdf.bynumber[number] = pdf.objects.size();
        pdf.objects.push_back({number, offset, b.substr(offset, end + 8 - offset)});
    }
    return pdf;
}

commandresult runcommand(const std::string& command) {
    commandresult r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    std::array<char, 4096> buf{};
    size_t got = 0;
    while ((got = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) {
        r.output.append(buf.data(), got);
    }
    int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

namespace {
std::string quoted(const std::filesystem::path& path) {
    std::string q = "'";
    for (char c : path.string()) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}
} // namespace

bool qpdfcheck(const std::filesystem::path& path, std::string* output) {
    commandresult r = runcommand("qpdf --check " + quoted(path));
    if (output != nullptr) {
        *output = r.output;
    }
    return r.status == 0 &&
           r.output.find("No syntax or stream encoding errors") != std::string::npos;
}

std::string pdftotext(const std::filesystem::path& path) {
    return runcommand("pdftotext -layout " + quoted(path) + " -").output;
}

} // namespace ovintest
