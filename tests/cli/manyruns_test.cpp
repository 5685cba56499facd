// Many runs of the tool at once, as the README's "Many documents at once"
// has them: each run keeps to its own temporary file and its own output.
#include "childprocess.h"
#include "clitool.h"
#include "pdftools.h"
#include "render.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

namespace fs = std::filesystem;

int pagecount(const std::string& pdf) {
    std::string info = ovintest::runcommand("pdfinfo '" + pdf + "'").output;
    size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

// Sixteen runs at once, five times over, each with pages of its own that
// all go through the conversion's temporary file: every run succeeds, every
// PDF shows its own pages, and no file is left behind.
TEST(CliManyRuns, SixteenRunsAtOnceKeepTheirOwnPages) {
    constexpr int kRuns = 16;
    constexpr uint32_t kPages = 3;
    constexpr int kDpi = 50;
    constexpr int kScale = 4;
    ovintest::tempdir dir;
    fs::create_directory(dir.path() / "run");
    std::vector<std::vector<ovintest::tiffpage>> documents;
    std::vector<std::string> expected = {"run"};
    for (int r = 0; r < kRuns; ++r) {
        documents.push_back(clitest::stripedpages(kPages, 200, 150, 1 + kPages * r));
        for (ovintest::tiffpage& page : documents.back()) {
            page.xres = page.yres = kDpi;
        }
        ovintest::writetiff(dir.file(std::to_string(r) + ".tif"), documents.back());
        for (const char* suffix : {".log", ".pdf", ".tif"}) {
            expected.push_back(std::to_string(r) + suffix);
        }
    }
    std::sort(expected.begin(), expected.end());

    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::unique_ptr<ovintest::childprocess>> children;
        for (int r = 0; r < kRuns; ++r) {
            ovintest::childsetup setup;
            setup.env = {"XDG_RUNTIME_DIR=" + dir.file("run")};
            setup.log = dir.file(std::to_string(r) + ".log");
            const std::string name = dir.file(std::to_string(r));
            children.push_back(std::make_unique<ovintest::childprocess>(
                std::vector<std::string>{clitest::kTool, name + ".tif", "-o", name + ".pdf"},
                setup));
        }
        for (int r = 0; r < kRuns; ++r) {
            EXPECT_EQ(ovintest::describestatus(children[r]->wait()), "exit 0")
                << ovintest::readbytes(dir.file(std::to_string(r) + ".log"));
        }
        EXPECT_EQ(ovintest::folderlisting(dir.path()), expected);
        EXPECT_EQ(ovintest::folderlisting(dir.path() / "run"), std::vector<std::string>{});
        for (int r = 0; r < kRuns; ++r) {
            const std::string pdf = dir.file(std::to_string(r) + ".pdf");
            ASSERT_EQ(pagecount(pdf), static_cast<int>(kPages)) << pdf;
            for (uint32_t p = 0; p < kPages; ++p) {
                ovintest::raster want = ovintest::appearance(documents[r][p]);
                ovintest::raster seen = ovintest::sampled(
                    ovintest::renderpage(ovintest::reader::poppler, pdf, static_cast<int>(p + 1),
                                         kDpi * kScale, 1),
                    kScale);
                ovintest::difference d = ovintest::compare(seen, want);
                EXPECT_EQ(d.error, "") << pdf << " page " << p + 1;
                EXPECT_EQ(d.differing, 0) << pdf << " page " << p + 1;
            }
        }
    }
}

// The README's GNU parallel recipe, as printed there, on eight documents
// (one with a space in its name): a complete PDF for each, with its pages.
TEST(CliManyRuns, ReadmeParallelRecipe) {
    const std::string readme = ovintest::readbytes(std::string(OVIN_SOURCE_DIR) + "/README.md");
    size_t section = readme.find("## Many documents at once");
    ASSERT_NE(section, std::string::npos);
    size_t begin = readme.find("```sh\n", section);
    ASSERT_NE(begin, std::string::npos);
    begin += 6;
    const std::string recipe = readme.substr(begin, readme.find("```", begin) - begin);
    ASSERT_NE(recipe.find("parallel"), std::string::npos) << recipe;

    ovintest::tempdir dir;
    std::vector<std::string> names;
    for (uint32_t d = 0; d < 8; ++d) {
        names.push_back(d == 3 ? "doc three" : "doc" + std::to_string(d));
        fs::create_directories(dir.path() / "scans" / names.back());
        for (uint32_t p = 0; p <= d % 3; ++p) {
            ovintest::writetiff(
                dir.file("scans/" + names.back() + "/" + std::to_string(p) + ".tif"),
                clitest::stripedpages(1, 300, 200, 10 * d + p));
        }
    }
    ovintest::writebytes(dir.file("recipe.sh"), recipe);
    fs::create_directory(dir.path() / "run");
    const std::string tools = fs::path(clitest::kTool).parent_path().string();
    ovintest::commandresult r = ovintest::runcommand(
        "cd '" + dir.path().string() + "' && PATH='" + tools + "':\"$PATH\" XDG_RUNTIME_DIR='" +
        dir.file("run") + "' bash -euo pipefail recipe.sh");
    ASSERT_EQ(r.status, 0) << r.output;
    for (uint32_t d = 0; d < 8; ++d) {
        const std::string pdf = dir.file("pdf/" + names[d] + ".pdf");
        std::string check;
        EXPECT_TRUE(ovintest::qpdfcheck(pdf, &check)) << pdf << check;
        EXPECT_EQ(pagecount(pdf), static_cast<int>(d % 3 + 1)) << pdf;
    }
    EXPECT_EQ(ovintest::folderlisting(dir.path() / "pdf").size(), 8u);
    EXPECT_TRUE(fs::is_empty(dir.path() / "run"));
}

} // namespace
