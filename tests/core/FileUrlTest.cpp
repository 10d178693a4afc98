#include "core/FileUrl.h"

#include <gtest/gtest.h>

using namespace ombrix;
using std::filesystem::path;

TEST(FileUrl, EncodesEverythingOutsideTheUnreservedSetAndSlash) {
    EXPECT_EQ(toFileUrl("/tmp/a b.pdf"), "file:///tmp/a%20b.pdf");
    EXPECT_EQ(toFileUrl("/tmp/Zürich.pdf"), "file:///tmp/Z%C3%BCrich.pdf");
    EXPECT_EQ(toFileUrl("/tmp/100%.pdf"), "file:///tmp/100%25.pdf");
    EXPECT_EQ(toFileUrl("/a-b._~/c?d#e&f+g"), "file:///a-b._~/c%3Fd%23e%26f%2Bg");
    EXPECT_EQ(toFileUrl("/"), "file:///");
}

TEST(FileUrl, RelativePathsAreMadeAbsolute) {
    EXPECT_EQ(toFileUrl("doc.pdf"), toFileUrl(std::filesystem::current_path() / "doc.pdf"));
}

TEST(FileUrl, DecodesLocalFileUrls) {
    EXPECT_EQ(fromFileUrl("file:///tmp/a%20b.pdf"), path("/tmp/a b.pdf"));
    EXPECT_EQ(fromFileUrl("file:///tmp/Z%c3%bcrich.pdf"), path("/tmp/Zürich.pdf"));
    EXPECT_EQ(fromFileUrl("file://localhost/tmp/x.pdf"), path("/tmp/x.pdf"));
    EXPECT_EQ(fromFileUrl("FILE://LocalHost/x"), path("/x"));
    EXPECT_EQ(fromFileUrl("file:///tmp/literal space.pdf"), path("/tmp/literal space.pdf"));
    EXPECT_EQ(fromFileUrl("file:///a.pdf#page=2"), path("/a.pdf"));
    EXPECT_EQ(fromFileUrl("file:///a.pdf?x=1"), path("/a.pdf"));
}

TEST(FileUrl, RejectsOtherUrlsAndMalformedEscapes) {
    for (std::string_view url :
         {"", "http://host/a.pdf", "file:", "file:/tmp/a.pdf", "file:relative.pdf", "file://",
          "file://localhost", "file://server/share/a.pdf", "files:///a", "file:///a%2",
          "file:///a%", "file:///a%zz", "file:///a%g0", "file:///a%00b"}) {
        EXPECT_EQ(fromFileUrl(url), std::nullopt) << url;
    }
    using namespace std::string_view_literals;
    EXPECT_EQ(fromFileUrl("file:///a\0b"sv), std::nullopt);
}

TEST(FileUrl, EveryPathByteSurvivesARoundTrip) {
    std::string allBytes = "/tmp/";
    for (int c = 1; c < 256; ++c) {
        if (c != '/') {
            allBytes += static_cast<char>(c);
        }
    }
    for (path p : {path("/tmp/a b/c.pdf"), path("/tmp/日本語 ファイル.pdf"),
                   path("/tmp/100%25 literally.pdf"), path("/tmp/./x/../y"), path(allBytes)}) {
        std::string url = toFileUrl(p);
        for (unsigned char c : url) {
            EXPECT_LT(c, 0x80) << url;
            EXPECT_NE(c, ' ');
        }
        EXPECT_EQ(fromFileUrl(url), p) << url;
    }
}
