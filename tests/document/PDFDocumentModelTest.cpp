#include "document/BridgeError.h"
#include "document/PDFDocument.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace ombrix;
using nlohmann::json;

TEST(PageGeometry, DisplaySizeSwapsOnlyForQuarterTurns) {
    struct Case {
        int rotation;
        double width, height;
    };
    for (Case c : {Case{0, 612, 792}, Case{90, 792, 612}, Case{180, 612, 792}, Case{270, 792, 612},
                   Case{-90, 792, 612}, Case{450, 792, 612}}) {
        PageGeometry g{612, 792, c.rotation};
        EXPECT_EQ(g.displayWidthPt(), c.width) << c.rotation;
        EXPECT_EQ(g.displayHeightPt(), c.height) << c.rotation;
        // The rectangle is the unrotated media box whatever the rotation.
        EXPECT_EQ(g.rect(), (Rect{0, 0, 612, 792})) << c.rotation;
    }
    EXPECT_EQ(PageGeometry::usLetter, (PageGeometry{612, 792, 0}));
    EXPECT_EQ(PageGeometry::a4, (PageGeometry{595, 842, 0}));
}

TEST(PageGeometry, JsonUsesTheFieldNamesAndRoundTrips) {
    PageGeometry g{595.5, 842.25, 270};
    json j = g;
    EXPECT_EQ(j, (json{{"widthPt", 595.5}, {"heightPt", 842.25}, {"rotationDeg", 270}}));
    EXPECT_EQ(j.get<PageGeometry>(), g);
    EXPECT_EQ(json::parse(j.dump()).get<PageGeometry>(), g);
}

TEST(PageGeometry, DecodingAcceptsWholeDegreesOnly) {
    auto decode = [](const char* text) { return json::parse(text).get<PageGeometry>(); };
    EXPECT_EQ(decode(R"({"widthPt":612,"heightPt":792,"rotationDeg":90.0})").rotationDeg, 90);
    EXPECT_EQ(decode(R"({"widthPt":1,"heightPt":2,"rotationDeg":-90,"extra":true})"),
              (PageGeometry{1, 2, -90}));
    for (const char* bad : {
             R"({"widthPt":612,"heightPt":792,"rotationDeg":90.5})",
             R"({"widthPt":612,"heightPt":792,"rotationDeg":"90"})",
             R"({"widthPt":612,"heightPt":792,"rotationDeg":1e12})",
             R"({"widthPt":612,"heightPt":792,"rotationDeg":18446744073709551615})",
             R"({"widthPt":"612","heightPt":792,"rotationDeg":0})",
             R"({"widthPt":612,"rotationDeg":0})",
             R"([612,792,0])",
         }) {
        EXPECT_THROW(decode(bad), json::exception) << bad;
    }
}

TEST(PDFMetadata, EmptyEncodesToAnObjectWithNoMembers) {
    json j = PDFMetadata::empty();
    EXPECT_TRUE(j.is_object());
    EXPECT_TRUE(j.empty());
    EXPECT_EQ(j.dump(), "{}");
    EXPECT_EQ(json::parse("{}").get<PDFMetadata>(), PDFMetadata::empty());
}

TEST(PDFMetadata, PresentFieldsAreWrittenAndReadBack) {
    PDFMetadata m;
    m.title = "Quarterly report";
    m.keywords = "";
    m.createdAt = fromSecondsSinceReferenceDate(3600);
    json j = m;
    EXPECT_EQ(j, (json{{"title", "Quarterly report"}, {"keywords", ""}, {"createdAt", 3600.0}}));

    PDFMetadata full{"T",
                     "A",
                     "S",
                     "K",
                     "1.7",
                     fromSecondsSinceReferenceDate(-86400.5),
                     fromSecondsSinceReferenceDate(7.25e8)};
    json fj = full;
    EXPECT_EQ(fj.size(), 7u);
    EXPECT_DOUBLE_EQ(fj["createdAt"].get<double>(), -86400.5);
    EXPECT_EQ(json::parse(fj.dump()).get<PDFMetadata>(), full);
}

TEST(PDFMetadata, NullOrMissingReadsAbsentAndWrongTypesFail) {
    auto m = json::parse(R"({"title":null,"author":"Ann","modifiedAt":null})").get<PDFMetadata>();
    EXPECT_FALSE(m.title);
    EXPECT_EQ(m.author, "Ann");
    EXPECT_FALSE(m.modifiedAt);

    EXPECT_THROW(json::parse(R"({"title":5})").get<PDFMetadata>(), json::exception);
    EXPECT_THROW(json::parse(R"({"createdAt":"2001-01-01"})").get<PDFMetadata>(), json::exception);
    EXPECT_THROW(json::parse(R"("title")").get<PDFMetadata>(), json::exception);
}

namespace {
PDFDocument makeDocument(std::vector<PageGeometry> sizes) {
    auto count = static_cast<std::int64_t>(sizes.size());
    return PDFDocument(Uuid::random(), "/tmp/report.pdf", "report", count, std::move(sizes),
                       PDFMetadata::empty(), false, "fp", nullptr);
}
} // namespace

TEST(PDFDocument, PageSizeAnswersOnlyForIndexesInRange) {
    auto doc = makeDocument({PageGeometry::usLetter, PageGeometry{612, 792, 90}});
    EXPECT_EQ(doc.pageSize(0), PageGeometry::usLetter);
    EXPECT_EQ(doc.pageSize(1), (PageGeometry{612, 792, 90}));
    EXPECT_FALSE(doc.pageSize(-1));
    EXPECT_FALSE(doc.pageSize(2));
    EXPECT_FALSE(doc.pageSize(INT64_MIN));
    EXPECT_FALSE(doc.pageSize(INT64_MAX));
}

TEST(DocumentName, DropsOnlyTheLastExtension) {
    EXPECT_EQ(documentName("/home/u/report.pdf"), "report");
    EXPECT_EQ(documentName("/home/u/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(documentName("/home/u/README"), "README");
    EXPECT_EQ(documentName("/home/u/.notes"), ".notes");
    EXPECT_EQ(documentName("/home/u/my file.v2.PDF"), "my file.v2");
    EXPECT_EQ(documentName("relative/Ünïcode.pdf"), "Ünïcode");
    EXPECT_EQ(documentName("/home/u/folder/"), "folder");
}

TEST(BridgeError, DescriptionsDomainAndCodes) {
    auto open = BridgeError::cannotOpen("/home/u/Scans/contract 2.pdf");
    EXPECT_EQ(open.description(), "Cannot open contract 2.pdf");
    EXPECT_EQ(open.kind(), BridgeError::Kind::cannotOpen);
    EXPECT_EQ(open.domain(), "BridgeError");
    EXPECT_EQ(open.code(), 0);
    EXPECT_STREQ(open.what(), "Cannot open contract 2.pdf");

    EXPECT_EQ(BridgeError::emptyDocument().description(), "PDF has zero pages");
    EXPECT_EQ(BridgeError::emptyDocument().code(), 1);
    EXPECT_EQ(BridgeError::pageOutOfRange().description(), "Page index out of range");
    EXPECT_EQ(BridgeError::pageOutOfRange().code(), 2);
    EXPECT_EQ(BridgeError::renderFailed().description(), "The page could not be drawn");
    EXPECT_EQ(BridgeError::renderFailed().code(), 3);

    EXPECT_EQ(BridgeError::cannotOpen("/a/x.pdf"), BridgeError::cannotOpen("/b/x.pdf"));
    EXPECT_FALSE(BridgeError::cannotOpen("/a/x.pdf") == BridgeError::cannotOpen("/a/y.pdf"));
    EXPECT_FALSE(BridgeError::pageOutOfRange() == BridgeError::renderFailed());

    // Thrown, it is caught as the general error of the program.
    try {
        throw BridgeError::emptyDocument();
    } catch (const Error& e) {
        EXPECT_EQ(describe(e), "PDF has zero pages");
    }
}
