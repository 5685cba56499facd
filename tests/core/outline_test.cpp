// Bookmarks: the tree built by the adding calls and the outline objects
// written for it, object by object in write order.
#include "core/library.h"
#include "pdftools.h"

#include <gtest/gtest.h>

namespace {

struct outlinefixture : ::testing::Test {
    ovintest::tempdir dir;
    ovin::Library lib;

    void SetUp() override { lib.pdfinit(0, dir.file("OVINPDF.TMP")); }

    ovintest::pdffile save() {
        std::string path = dir.file("outline.pdf");
        EXPECT_EQ(lib.pdfsave(path), 0);
        std::string check;
        EXPECT_TRUE(ovintest::qpdfcheck(path, &check)) << check;
        ovintest::pdffile pdf = ovintest::parsepdf(path);
        EXPECT_EQ(pdf.error, "");
        return pdf;
    }
};

std::string obj(int n, std::initializer_list<std::string> lines) {
    std::string s = std::to_string(n) + " 0 obj\r\n";
    for (const std::string& l : lines) {
        s += l + "\r\n";
    }
    return s + "endobj\r\n";
}

TEST_F(outlinefixture, OnePageOneBookmark) {
    lib.pdfaddtext("Intro page");
    ASSERT_EQ(lib.pdfaddindex("Intro page", "Intro"), 0);
    ovintest::pdffile pdf = save();
    EXPECT_EQ(pdf.objects.size(), 10U);
    EXPECT_NE(pdf.object(7).find("/PageMode /UseOutlines\r\n/Outlines 8 0 R\r\n"),
              std::string::npos);
    EXPECT_EQ(pdf.object(8),
              obj(8, {"<<", "/Type /Outlines", "/Count 1", "/First 9 0 R", "/Last 9 0 R", ">>"}));
    EXPECT_EQ(pdf.object(9), obj(9, {"<<", "/Title(Intro)", "/Parent 8 0 R", "/A 10 0 R", ">>"}));
    EXPECT_EQ(pdf.object(10), obj(10, {"<<", "/D[4 0 R/XYZ null null null]/S/GoTo", ">>"}));
    EXPECT_NE(pdf.trailer.find("/Size 11\r\n"), std::string::npos);
}

TEST_F(outlinefixture, TwoLevelsInPreorder) {
    lib.pdfaddtext("p1");
    lib.pdfaddtext("p2");
    ASSERT_EQ(lib.pdfaddindex("p1", "A"), 0);
    ASSERT_EQ(lib.pdfaddindex("p2", "B"), 0);
    ASSERT_EQ(lib.pdfaddsubindex("p2", "p2", "B1"), 0);
    ASSERT_EQ(lib.pdfaddsubindex("p2", "p2", "B2"), 0);
    ovintest::pdffile pdf = save();

    std::vector<int32_t> order = pdf.writeorder();
    std::vector<int32_t> tail(order.begin() + 11, order.end());
    EXPECT_EQ(tail, (std::vector<int32_t>{12, 13, 17, 14, 18, 15, 19, 16, 20}));
    EXPECT_EQ(pdf.object(12), obj(12, {"<<", "/Type /Outlines", "/Count 2", "/First 13 0 R",
                                       "/Last 14 0 R", ">>"}));
    EXPECT_EQ(pdf.object(13),
              obj(13, {"<<", "/Title(A)", "/Parent 12 0 R", "/Next 14 0 R", "/A 17 0 R", ">>"}));
    EXPECT_EQ(pdf.object(14),
              obj(14, {"<<", "/Count -2", "/First 15 0 R", "/Last 16 0 R", "/Title(B)",
                       "/Parent 12 0 R", "/Prev 13 0 R", "/A 18 0 R", ">>"}));
    EXPECT_EQ(pdf.object(15),
              obj(15, {"<<", "/Title(B1)", "/Parent 14 0 R", "/Next 16 0 R", "/A 19 0 R", ">>"}));
    EXPECT_EQ(pdf.object(16),
              obj(16, {"<<", "/Title(B2)", "/Parent 14 0 R", "/Prev 15 0 R", "/A 20 0 R", ">>"}));
    EXPECT_EQ(pdf.object(17), obj(17, {"<<", "/D[4 0 R/XYZ null null null]/S/GoTo", ">>"}));
    for (int action : {18, 19, 20}) {
        EXPECT_EQ(pdf.object(action),
                  obj(action, {"<<", "/D[8 0 R/XYZ null null null]/S/GoTo", ">>"}));
    }
    EXPECT_NE(pdf.trailer.find("/Size 21\r\n"), std::string::npos);
    // poppler sees the tree.
    EXPECT_EQ(ovintest::runcommand("qpdf --json --json-key=outlines '" + dir.file("outline.pdf") +
                                   "' | grep -c '\"title\"'")
                  .output,
              "4\n");
}

TEST_F(outlinefixture, LookupTakesTheLastPageOfAName) {
    lib.pdfaddtext("same");
    lib.pdfaddtext("other");
    lib.pdfaddtext("same");
    ASSERT_EQ(lib.pdfaddindex("same", "S"), 0);
    ovintest::pdffile pdf = save();
    EXPECT_NE(pdf.bytes.find("/D[12 0 R/XYZ"), std::string::npos);
}

TEST_F(outlinefixture, FailuresAndEscapedTitles) {
    lib.pdfaddtext("p");
    EXPECT_EQ(lib.pdfaddindex("nope", "x"), -7);
    EXPECT_EQ(lib.geterror(-7), "ERROR : Page Not Found (nope)");
    EXPECT_EQ(lib.pdfaddsubindex("nokey", "p", "x"), -9);
    EXPECT_EQ(lib.geterror(-9), "ERROR : Cannot find index parent (nokey)");
    EXPECT_EQ(lib.pdfaddsubindex("nokey", "nopage", "x"), -7);
    EXPECT_EQ(lib.state().errorarg, "nopage");
    ASSERT_EQ(lib.pdfaddindex("p", "open ( and \\ back"), 0);
    ASSERT_EQ(lib.pdfaddsubindex("p", "p", "sub ("), 0);
    const ovin::outlinetree& tree = lib.state().outline;
    EXPECT_EQ(tree.nodes[0].title, "open \\( and \\\\ back");
    EXPECT_EQ(tree.nodes[1].title, "sub \\(");
    ovintest::pdffile pdf = save();
    EXPECT_NE(pdf.object(9).find("/Title(open \\( and \\\\ back)"), std::string::npos);
}

TEST_F(outlinefixture, SubBookmarksGoBelowEveryMatchButNotBelowAMatch) {
    lib.pdfaddtext("a");
    lib.pdfaddtext("b");
    ASSERT_EQ(lib.pdfaddindex("a", "A1"), 0);
    ASSERT_EQ(lib.pdfaddindex("a", "A2"), 0);
    // Both top-level entries keyed "a" get a child keyed "a".
    ASSERT_EQ(lib.pdfaddsubindex("a", "a", "child"), 0);
    // Now four entries carry the key "a"; only the two top-level ones get
    // the new child, the search does not descend below a match.
    ASSERT_EQ(lib.pdfaddsubindex("a", "b", "grandchild?"), 0);
    const ovin::outlinetree& tree = lib.state().outline;
    ASSERT_EQ(tree.top.size(), 2U);
    for (int32_t top : tree.top) {
        const ovin::bookmark& t = tree.nodes[static_cast<size_t>(top)];
        ASSERT_EQ(t.children.size(), 2U);
        EXPECT_TRUE(tree.nodes[static_cast<size_t>(t.children[0])].children.empty());
        EXPECT_EQ(tree.nodes[static_cast<size_t>(t.children[1])].key, "b");
    }
    // Levels can be hung below a sub-entry by naming its page.
    ASSERT_EQ(lib.pdfaddsubindex("b", "a", "deeper"), 0);
    ovintest::pdffile pdf = save();
    EXPECT_EQ(pdf.objects.size(), 4U * 2 + 3 + 1 + 2 * 8);
}

TEST_F(outlinefixture, DeepChainNeedsNoRecursion) {
    lib.pdfaddtext("p0");
    ASSERT_EQ(lib.pdfaddindex("p0", "level 0"), 0);
    for (int k = 1; k <= 20000; ++k) {
        lib.pdfaddtext("p" + std::to_string(k));
        ASSERT_EQ(lib.pdfaddsubindex("p" + std::to_string(k - 1), "p" + std::to_string(k),
                                     "level " + std::to_string(k)),
                  0);
    }
    std::string path = dir.file("deep.pdf");
    ASSERT_EQ(lib.pdfsave(path), 0);
    ovintest::pdffile pdf = ovintest::parsepdf(path);
    EXPECT_EQ(pdf.error, "");
    EXPECT_EQ(pdf.objects.size(), 4U * 20001 + 3 + 1 + 2 * 20001);
}

} // namespace
