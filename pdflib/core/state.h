// The library state that the calls share: settings, the document, the
// detail text of the latest failure and the warnings.
#pragma once

#include "core/document.h"
#include "core/options.h"
#include "status.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace ovin {

// Distinct warning lines in the order they were first raised. A warning
// that many files may share (601 phone photos of 72 dpi) is one line: the
// file's own while one file raised it, a count of the files after that.
class warninglist {
public:
    // Appends the line unless the same line is already listed.
    void add(const std::string& line) { raise(line, {}, {}); }
    // Raises the shared warning `many` ("{n}" stands for the number of
    // files) for `file`, which alone would be told `one`.
    void addshared(const std::string& many, const std::string& file, const std::string& one) {
        raise(many, file, one);
    }
    // Raises every warning of `other`, file by file.
    void merge(const warninglist& other) {
        for (const entry& e : other.entries_) {
            for (const auto& [file, one] : e.files) {
                raise(e.text, file, one);
            }
            if (e.files.empty()) {
                raise(e.text, {}, {});
            }
        }
    }
    void clear() {
        entries_.clear();
        index_.clear();
        ++version_;
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        out.reserve(entries_.size());
        for (const entry& e : entries_) {
            if (e.files.empty()) {
                out.push_back(e.text);
            } else if (e.files.size() == 1) {
                out.push_back(e.files.begin()->second);
            } else {
                std::string line = e.text;
                if (const size_t at = line.find("{n}"); at != std::string::npos) {
                    line.replace(at, 3, std::to_string(e.files.size()));
                }
                out.push_back(std::move(line));
            }
        }
        return out;
    }
    size_t size() const { return entries_.size(); }
    // Changes whenever the lines may have changed.
    uint64_t version() const { return version_; }

private:
    struct entry {
        std::string text;
        std::map<std::string, std::string> files; // file -> its own line
    };
    void raise(const std::string& text, const std::string& file, const std::string& one) {
        ++version_;
        const std::string key = (file.empty() ? "=" : "+") + text;
        auto [at, fresh] = index_.try_emplace(key, entries_.size());
        if (fresh) {
            entries_.push_back({text, {}});
        }
        if (!file.empty()) {
            entries_[at->second].files.try_emplace(file, one);
        }
    }
    std::vector<entry> entries_;
    std::unordered_map<std::string, size_t> index_;
    uint64_t version_ = 0;
};

struct librarystate {
    std::string tempimgpath;
    std::string pdfmaker;
    std::string pdftitle;
    uintptr_t window = 0; // the caller's window from pdfinit, 0 for none

    std::vector<pageinfo> pages;
    // The last index of each page name, for the duplicate test and the
    // bookmark page lookup.
    std::unordered_map<std::string, int32_t> lastpage;
    outlinetree outline;

    std::string errorarg;
    // The latest failure of an adding or saving call, with its reason.
    status lastfailure;
    warninglist warnings;

    int32_t defaultxdpi = 0;
    int32_t defaultydpi = 0;

    documentoptions options;
    // A page needs PDF 1.5 (JPEG 2000 data, 16-bit samples).
    bool needspdf15 = false;
};

} // namespace ovin
