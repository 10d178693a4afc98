// Markup on a document opened with its password: the annotation is made, saved encrypted
// as the file was (same method, same passwords), and a refusal says why.
#include "PdfkitTestSupport.h"
#include "core/Error.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Page.h"
#include "support/RawPdf.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

const std::string kPassword = "secret";

// How MuPDF reads a saved file without and with the user password.
fx::StoredEncryption encryptionOf(const std::filesystem::path& file) {
    return fx::readEncryption(file, kPassword);
}

std::shared_ptr<Document> unlocked(const std::filesystem::path& file) {
    auto result = Document::openFile(file);
    EXPECT_EQ(result.status, OpenStatus::needsPassword);
    if (!result.document || !result.document->authenticate(kPassword)) {
        return nullptr;
    }
    return result.document;
}

class EncryptedMarkupTrustTest : public ::testing::TestWithParam<std::string> {
protected:
    fx::TempDir dir_;

    std::filesystem::path encrypted(bool allowsAnnotating = true) {
        fx::FixtureDocument document = fx::textDocument(2);
        document.userPassword = kPassword;
        document.encryption = GetParam();
        document.allowsAnnotating = allowsAnnotating;
        return fx::writePdf(document, dir_ / "locked.pdf");
    }
};

TEST_P(EncryptedMarkupTrustTest, HighlightIsSavedEncryptedAsTheFileWas) {
    const auto file = encrypted();
    const fx::StoredEncryption before = encryptionOf(file);
    ASSERT_TRUE(before.needsPassword);

    auto document = unlocked(file);
    ASSERT_TRUE(document);
    auto page = document->page(1);
    EXPECT_EQ(document->markupRefusal(), std::nullopt);
    const Rect region = Rect::fromEdges(70, 676, 300, 712);
    auto annotation = Annotation::create(region, "Highlight");
    annotation->setColor(Color::rgb(255, 208, 0, 0.5));
    annotation->setRegion(true);
    page->addAnnotation(annotation);
    ASSERT_EQ(page->annotations().size(), 1u) << "the page did not take the annotation";
    ASSERT_NO_THROW(document->write(file));

    const fx::StoredEncryption after = encryptionOf(file);
    EXPECT_TRUE(after.needsPassword) << "saved without its password";
    EXPECT_TRUE(after.opensWithPassword);
    EXPECT_EQ(after.method, before.method);
    EXPECT_EQ(after.revision, before.revision);
    EXPECT_EQ(after.permissions, before.permissions);

    EXPECT_EQ(Document::openFile(file).status, OpenStatus::needsPassword);
    auto reopened = unlocked(file);
    ASSERT_TRUE(reopened);
    const auto annotations = reopened->page(1)->annotations();
    ASSERT_EQ(annotations.size(), 1u);
    EXPECT_EQ(annotations[0]->type(), "Highlight");
    EXPECT_TRUE(annotations[0]->isRegion());
    EXPECT_NEAR(annotations[0]->bounds().minX(), 70, 0.01);
    EXPECT_FALSE(reopened->page(1)->string().empty()) << "the text no longer decrypts";
}

TEST_P(EncryptedMarkupTrustTest, DocumentForbiddingAnnotationsSaysSo) {
    auto document = unlocked(encrypted(false));
    ASSERT_TRUE(document);
    const auto refusal = document->markupRefusal();
    ASSERT_TRUE(refusal);
    EXPECT_THAT(*refusal, ::testing::HasSubstr("annotations"));
}

INSTANTIATE_TEST_SUITE_P(Methods, EncryptedMarkupTrustTest,
                         ::testing::Values("rc4-40", "rc4-128", "aes-128", "aes-256"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

} // namespace
} // namespace ombrix::pdfkit::test
