// Timing whole programs for the benchmarks that set build/cli/ovinpdf
// against other tools: each run a fresh process with its output in a log,
// the best of several runs, cat (and cat followed by sync) of the same
// files as the floor, and every PDF checked with qpdf --check and its pages
// counted.
//
//     ovinbench::workplace w = *ovinbench::openworkplace("/tmp/corpus");
//     ovinbench::conversion c = ovinbench::convert(w, qpdf, {tool, "a.tif", "-o", pdf},
//                                                  pdf, 1, 5);
//     ovinbench::catfigures floor = ovinbench::timecat(w, cat, sync, {"a.tif"}, 5);
#pragma once

#include "childprocess.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace ovinbench {

// The program's path as the shell would find it on PATH; empty when none.
inline std::string onpath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::filesystem::path candidate =
            std::filesystem::path(dir.empty() ? "." : dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

inline std::string lastline(const std::string& file) {
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            last = line;
        }
    }
    return last;
}

inline std::string firstline(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// A whole number from 1 to `most` given on the command line.
inline std::optional<uint32_t> wholenumber(const char* text, uint32_t most) {
    const std::string s(text);
    uint32_t n = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (error != std::errc() || end != s.data() + s.size() || n == 0 || n > most) {
        return std::nullopt;
    }
    return n;
}

// One program run: argv, and the file that takes its standard output and
// error (empty: /dev/null).
struct command {
    std::vector<std::string> argv;
    std::string log;
};

struct timing {
    double seconds = 0;
    bool ok = false;
    bool crashed = false; // ended by a signal
    std::string message;  // why a run failed
};

struct workplace {
    std::filesystem::path dir;
    std::vector<std::string> env; // the children's temporary files go to dir too

    std::string file(const std::string& name) const { return (dir / name).string(); }
};

// The folder made where missing, named absolutely, with the children's
// temporary files sent there; nothing when it cannot be made.
inline std::optional<workplace> openworkplace(const std::filesystem::path& dir) {
    workplace w;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    w.dir = std::filesystem::absolute(dir, ec);
    if (ec || !std::filesystem::is_directory(w.dir)) {
        return std::nullopt;
    }
    w.env = {"TMPDIR=" + w.dir.string(), "XDG_RUNTIME_DIR=" + w.dir.string()};
    return w;
}

// Runs the commands one after the other, each in a fresh process, timed
// together. Data that earlier runs left unwritten is flushed first, outside
// the timing, so that no run pays for another's writes.
inline timing timeonce(const workplace& w, const std::vector<command>& commands) {
    ::sync();
    timing t;
    const auto start = std::chrono::steady_clock::now();
    for (const command& c : commands) {
        ovintest::childsetup setup;
        setup.env = w.env;
        setup.log = c.log;
        ovintest::childprocess child(c.argv, setup);
        const int status = child.wait();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            const std::string said = c.log.empty() ? std::string() : lastline(c.log);
            // A crash is named as such; an exit with a message gives the message.
            const std::string how = std::filesystem::path(c.argv[0]).filename().string() + " " +
                                    ovintest::describestatus(status);
            t.crashed = WIFSIGNALED(status);
            t.message = said.empty() ? how : t.crashed ? how + ": " + said : said;
            // The work folder's name adds nothing to the message.
            const std::string folder = w.dir.string() + "/";
            for (size_t at; (at = t.message.find(folder)) != std::string::npos;) {
                t.message.erase(at, folder.size());
            }
            return t;
        }
    }
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.ok = true;
    return t;
}

// The shortest of `runs` runs; `before` runs ahead of each, untimed. The
// first failure ends the measurement.
inline timing best(const workplace& w, const std::vector<command>& commands, int runs,
                   const std::function<void()>& before = {}) {
    timing b;
    for (int run = 0; run < runs; ++run) {
        if (before) {
            before();
        }
        const timing t = timeonce(w, commands);
        if (!t.ok) {
            return t;
        }
        b.seconds = run == 0 ? t.seconds : std::min(b.seconds, t.seconds);
        b.ok = true;
    }
    return b;
}

// A set's result for one converter: its best time, the PDF's size, and
// what was wrong when the run or the file failed.
struct conversion {
    timing time;
    uint64_t bytes = 0;
    std::string broken; // qpdf's complaint or a wrong page count
    bool usable() const { return time.ok && broken.empty(); }
};

// qpdf --check (clean: exit 0, no warnings) and the page count.
inline std::string checkpdf(const workplace& w, const std::string& qpdf, const std::string& pdf,
                            size_t pages) {
    const std::string log = w.file("qpdf.log");
    ovintest::childsetup setup;
    setup.log = log;
    ovintest::childprocess check({qpdf, "--check", pdf}, setup);
    const int status = check.wait();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "qpdf --check " + ovintest::describestatus(status) + ": " + firstline(log);
    }
    ovintest::childprocess count({qpdf, "--show-npages", pdf}, setup);
    const std::string counted = count.wait() == 0 ? firstline(log) : std::string();
    if (counted != std::to_string(pages)) {
        return "qpdf counts " + (counted.empty() ? std::string("no") : counted) + " pages, not " +
               std::to_string(pages);
    }
    return {};
}

// The best of `runs` runs of a converter writing `pdf` (removed before each
// and at the end), the PDF checked once.
inline conversion convert(const workplace& w, const std::string& qpdf,
                          std::vector<std::string> argv, const std::string& pdf, size_t pages,
                          int runs) {
    conversion c;
    c.time = best(w, {{std::move(argv), w.file("tool.log")}}, runs,
                  [&] { std::filesystem::remove(pdf); });
    if (c.time.ok) {
        c.bytes = std::filesystem::file_size(pdf);
        c.broken = checkpdf(w, qpdf, pdf, pages);
    }
    std::filesystem::remove(pdf);
    return c;
}

// The floor: cat of the files into one file, and cat followed by sync of
// that file (coreutils' sync FILE: one fsync, as a saved PDF gets).
struct catfigures {
    timing cat;
    timing catsync;
};

inline catfigures timecat(const workplace& w, const std::string& cat, const std::string& sync,
                          const std::vector<std::string>& files, int runs) {
    const std::string catout = w.file("cat.out");
    std::vector<std::string> catargv = {cat};
    catargv.insert(catargv.end(), files.begin(), files.end());
    const command catcommand{catargv, catout};
    const auto fresh = [&] { std::filesystem::remove(catout); };
    timeonce(w, {catcommand}); // brings the files into the page cache
    catfigures f;
    f.cat = best(w, {catcommand}, runs, fresh);
    f.catsync = best(w, {catcommand, {{sync, catout}, ""}}, runs, fresh);
    std::filesystem::remove(catout);
    return f;
}

// A ratio and whether it meets its target; "-" where it does not apply.
struct ratio {
    bool shown = false;
    double value = 0;
    bool met = false;
    int decimals = 2;
};

inline ratio against(double value, double target, int decimals = 2) {
    return {true, value, value <= target, decimals};
}

inline std::string cell(const ratio& r) {
    char text[32];
    if (!r.shown) {
        return "        -     ";
    }
    std::snprintf(text, sizeof text, "%9.*f %-4s", r.decimals, r.value, r.met ? "met" : "MISS");
    return text;
}

} // namespace ovinbench
