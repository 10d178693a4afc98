#include "core/AtomicFile.h"
#include "extraction/CropWriter.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix {
namespace crop_hardening {

using namespace ombrix::testing;
namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(CropHardening, ACropIsAsPrivateAsItsDocumentAndNoScratchCopyIsShared) {
    TempDir dir, shared, data;
    ScopedEnv tmpdir("TMPDIR", shared.path().c_str());
    ScopedEnv dataHome("XDG_DATA_HOME", data.path().c_str());
    const mode_t umaskWas = ::umask(022);

    FixtureDocument doc;
    doc.pages.resize(1);
    doc.pages[0].runs = {TextRun{"Salary figures", 100, 500, 18}};
    const fs::path file = writePdf(doc, dir / "Private.pdf");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, shared.path().c_str(), IN_CREATE | IN_MOVED_TO), 0);

    for (mode_t mode : {0600, 0640, 0644}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        auto document = pdfkit::Document::open(file);
        ASSERT_TRUE(document);
        const fs::path crop = crop::cropToFile(*document->page(0), Rect{90, 490, 200, 40}, file, 1);
        EXPECT_EQ(modeOf(crop), mode);
    }
    // Nothing, not even for a moment, in the shared temporary folder.
    char events[4096];
    EXPECT_LE(::read(watch, events, sizeof events), 0);
    ::close(watch);
    EXPECT_TRUE(fs::is_empty(shared.path()));
    EXPECT_TRUE(fs::is_empty(data / "OmbrixPdf" / "Scratch"));
    EXPECT_EQ(modeOf(data / "OmbrixPdf" / "Scratch"), 0700u);
    ::umask(umaskWas);
}

TEST(CropHardening, AnEncryptedPrivateDocumentsCropIsPrivateToo) {
    TempDir dir, data;
    ScopedEnv dataHome("XDG_DATA_HOME", data.path().c_str());
    FixtureDocument doc;
    doc.pages.resize(1);
    doc.pages[0].runs = {TextRun{"Sealed", 100, 500, 18}};
    doc.userPassword = "secret";
    const fs::path file = writePdf(doc, dir / "sealed.pdf");
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    auto opened = pdfkit::Document::openFile(file);
    ASSERT_TRUE(opened.document && opened.document->authenticate("secret"));
    const fs::path crop =
        crop::cropToFile(*opened.document->page(0), Rect{90, 490, 200, 40}, file, 1);
    EXPECT_EQ(modeOf(crop), 0600u);
}

} // namespace crop_hardening
} // namespace ombrix
