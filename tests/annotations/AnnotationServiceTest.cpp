#include "AnnotationTestSupport.h"
#include "core/Error.h"

#include <filesystem>
#include <set>

using namespace ombrix;
using namespace ombrix::annotations_test;

namespace {

class AnnotationServiceTest : public AnnotationFixture {};

std::shared_ptr<PDFDocument> documentWithoutEngine() {
    return std::make_shared<PDFDocument>(Uuid::random(), "/nowhere/x.pdf", "x", 1,
                                         std::vector<PageGeometry>{PageGeometry::usLetter},
                                         PDFMetadata{}, false, "fp", nullptr);
}

TEST_F(AnnotationServiceTest, LoadAllMirrorsThePagesAndMakesFreshIdsOnEveryLoad) {
    auto doc = bridge->open(fx::writePdf(fx::everyAnnotationDocument(), dir / "every.pdf"));
    auto onPage = PDFKitBridge::engineDocument(*doc)->page(0)->annotations();

    auto first = service->loadAll(*doc);
    auto second = service->loadAll(*doc);
    ASSERT_EQ(first.size(), onPage.size());
    ASSERT_EQ(second.size(), onPage.size());
    std::set<Uuid> ids;
    for (std::size_t i = 0; i < onPage.size(); ++i) {
        EXPECT_EQ(first[i].pdfAnnotationRef, onPage[i]) << i;
        EXPECT_EQ(second[i].pdfAnnotationRef, onPage[i]) << i;
        ids.insert(first[i].id);
        ids.insert(second[i].id);
    }
    EXPECT_EQ(ids.size(), 2 * onPage.size());
    EXPECT_FALSE(doc->isDirty);

    EXPECT_TRUE(service->loadAll(*documentWithoutEngine()).empty());
}

TEST_F(AnnotationServiceTest, AddHighlightRealisesAHalfTransparentYellowHighlightAndMarksDirty) {
    auto doc = bridge->open(fx::writePdf(fx::textDocument(2), dir / "text.pdf"));
    auto page1 = PDFKitBridge::engineDocument(*doc)->page(1);
    const auto before = page1->annotations().size();
    const Rect bounds{72, 690, 200, 20};

    auto record = service->addHighlight(*doc, 1, bounds);
    EXPECT_EQ(record.pageIndex, 1);
    EXPECT_EQ(record.type, AnnotationType::highlight);
    EXPECT_EQ(record.bounds, bounds);
    EXPECT_FALSE(record.content);
    EXPECT_EQ(record.appearance, AnnotationAppearance::defaultHighlight());
    ASSERT_TRUE(record.pdfAnnotationRef);
    EXPECT_TRUE(isOn(*page1, record.pdfAnnotationRef));
    EXPECT_EQ(page1->annotations().size(), before + 1);
    EXPECT_EQ(record.pdfAnnotationRef->type(), "Highlight");
    auto color = record.pdfAnnotationRef->color();
    ASSERT_TRUE(color);
    EXPECT_NEAR(color->red, SystemColors::yellow.red, 1e-3);
    EXPECT_NEAR(color->green, SystemColors::yellow.green, 1e-3);
    EXPECT_NEAR(color->blue, SystemColors::yellow.blue, 1e-3);
    EXPECT_NEAR(color->alpha, 0.5, 1e-3);
    EXPECT_TRUE(doc->isDirty);

    // Past the last page: no engine annotation, and still dirty.
    doc->markClean();
    auto missing = service->addHighlight(*doc, 2, bounds);
    EXPECT_FALSE(missing.pdfAnnotationRef);
    EXPECT_TRUE(doc->isDirty);
}

TEST_F(AnnotationServiceTest, SaveWritesTheAnnotationsIntoTheFileAndMarksClean) {
    const auto path = fx::writePdf(fx::textDocument(1), dir / "saved.pdf");
    auto doc = bridge->open(path);
    const Rect bounds{72, 695, 150, 18};
    service->addHighlight(*doc, 0, bounds);
    ASSERT_TRUE(doc->isDirty);

    service->save(*doc);
    EXPECT_FALSE(doc->isDirty);

    auto reopened = bridge->open(path);
    auto records = service->loadAll(*reopened);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].type, AnnotationType::highlight);
    EXPECT_NEAR(records[0].bounds.minX(), bounds.minX(), 0.01);
    EXPECT_NEAR(records[0].bounds.maxY(), bounds.maxY(), 0.01);
}

TEST_F(AnnotationServiceTest, FailedSavesPassTheErrorOnAndLeaveTheDocumentDirty) {
    auto orphan = documentWithoutEngine();
    orphan->markDirty();
    try {
        service->save(*orphan);
        ADD_FAILURE() << "saving without an engine document succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "PDFKitBridge");
        EXPECT_EQ(e.code(), -1);
        EXPECT_EQ(e.description(), "No underlying PDFKit document");
    }
    EXPECT_TRUE(orphan->isDirty);

    // The file's folder is gone: the write cannot land, so the save must not pass.
    const auto folder = dir / "gone";
    std::filesystem::create_directory(folder);
    auto doc = bridge->open(fx::writePdf(fx::textDocument(1), folder / "doc.pdf"));
    service->addHighlight(*doc, 0, Rect{72, 695, 150, 18});
    std::filesystem::remove_all(folder);
    EXPECT_THROW(service->save(*doc), Error);
    EXPECT_TRUE(doc->isDirty);
}

} // namespace
