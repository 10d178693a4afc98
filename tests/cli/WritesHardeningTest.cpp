// What the commands write, on a machine where the output is a device, a FIFO or a socket,
// the file belongs to someone else or has several names, a file-size limit holds, or a
// link waits at the name of a file the program keeps for itself.

#include "core/AtomicFile.h"
#include "document/BrainFingerprint.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace writes_cli_hardening {

namespace fs = std::filesystem;
namespace fx = ombrix::testing;
using fx::readFifoDuring;
using fx::shellQuoted;

class WritesHardening : public ::testing::Test {
protected:
    std::string tool() const {
        return "XDG_DATA_HOME=" + shellQuoted(data.path().string()) + " " +
               shellQuoted(OMBRIX_CLI_PATH);
    }
    fx::ShellRun run(const std::string& arguments) {
        return fx::runShell(tool() + " " + arguments);
    }
    fs::path document(const std::string& name = "doc.pdf") {
        return fx::writePdf(fx::textDocument(2), dir / name);
    }
    std::string highlight(const fs::path& file) const {
        return "highlight " + shellQuoted(file.string()) + " --page 1 --rect 72,700,90,12";
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            out.push_back(entry.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    fx::TempDir dir;
    fx::TempDir data;
};

struct stat statOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::size_t annotationCount(const fs::path& path) {
    auto doc = ombrix::pdfkit::Document::open(path);
    return doc ? doc->page(0)->annotations().size() : std::size_t(-1);
}

TEST_F(WritesHardening, RenderAndHighlightWriteIntoADeviceAndLeaveItADevice) {
    const fs::path file = document();
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a device node needs root";
    }
    // A null device of the test's own first: should the command rename over it, nothing
    // of the machine's is harmed, and /dev/null is tried only once this one holds.
    const fs::path node = dir / "null";
    ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    auto rendered =
        run("render " + shellQuoted(file.string()) + " --page 1 -o " + shellQuoted(node.string()));
    EXPECT_EQ(rendered.status, 0) << rendered.err;
    ASSERT_TRUE(S_ISCHR(statOf(node).st_mode));
    auto marked = run(highlight(file) + " -o " + shellQuoted(node.string()));
    EXPECT_EQ(marked.status, 0) << marked.err;
    ASSERT_TRUE(S_ISCHR(statOf(node).st_mode));
    EXPECT_EQ(names(), (std::vector<std::string>{"doc.pdf", "null"}));
    EXPECT_EQ(annotationCount(file), 0u);

    auto devNull = run("render " + shellQuoted(file.string()) + " --page 1 -o /dev/null");
    EXPECT_EQ(devNull.status, 0) << devNull.err;
    EXPECT_TRUE(S_ISCHR(statOf("/dev/null").st_mode));
    EXPECT_TRUE(fs::is_empty(data / "OmbrixPdf" / "Scratch"));
}

TEST_F(WritesHardening, AFifoAsTheOutputReceivesThePngOrThePdf) {
    const fs::path file = document();
    const fs::path fifo = dir / "out";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fx::ShellRun rendered;
    const std::string png = readFifoDuring(fifo, [&] {
        rendered = run("render " + shellQuoted(file.string()) + " --page 1 -o " +
                       shellQuoted(fifo.string()));
    });
    EXPECT_EQ(rendered.status, 0) << rendered.err;
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));

    fx::ShellRun marked;
    const std::string pdf = readFifoDuring(
        fifo, [&] { marked = run(highlight(file) + " -o " + shellQuoted(fifo.string())); });
    EXPECT_EQ(marked.status, 0) << marked.err;
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
    const fs::path copy = dir / "copy.pdf";
    ombrix::writeFileAtomically(copy, pdf);
    EXPECT_EQ(annotationCount(copy), 1u);
    EXPECT_EQ(annotationCount(file), 0u);
}

TEST_F(WritesHardening, ASocketAsTheOutputIsRefusedWithAReason) {
    const fs::path file = document();
    const fs::path socketPath = dir / "sock";
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const std::string& command :
         {"render " + shellQuoted(file.string()) + " --page 1", highlight(file)}) {
        auto refused = run(command + " -o " + shellQuoted(socketPath.string()));
        EXPECT_EQ(refused.status, 1) << command;
        EXPECT_NE(refused.err.find(socketPath.string() + " is a socket"), std::string::npos)
            << refused.err;
        EXPECT_TRUE(S_ISSOCK(statOf(socketPath).st_mode));
    }
    ::close(sock);
    EXPECT_EQ(names(), (std::vector<std::string>{"doc.pdf", "sock"}));
}

TEST_F(WritesHardening, AnEditKeepsOwnerModeAttributesAndEveryName) {
    const fs::path file = document("theirs.pdf"), other = dir / "also-theirs.pdf";
    ASSERT_EQ(::link(file.c_str(), other.c_str()), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), 54321, 54321), 0);
    }
    const bool attributes = ::setxattr(file.c_str(), "user.origin", "scan", 4, 0) == 0;

    auto marked = run(highlight(file));
    ASSERT_EQ(marked.status, 0) << marked.err;
    const struct stat st = statOf(file);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(annotationCount(other), 1u);
    if (attributes) {
        char value[16] = {};
        EXPECT_EQ(::getxattr(other.c_str(), "user.origin", value, sizeof value), 4);
        EXPECT_STREQ(value, "scan");
    }
    EXPECT_EQ(names(), (std::vector<std::string>{"also-theirs.pdf", "theirs.pdf"}));
    if (!root) {
        GTEST_SKIP() << "keeping another user's ownership needs root";
    }
    EXPECT_EQ(st.st_uid, 54321u);
    EXPECT_EQ(st.st_gid, 54321u);
}

TEST_F(WritesHardening, ADocumentWithTheLongestNameSaves) {
    const fs::path file = document(std::string(251, 'L') + ".pdf");
    auto marked = run(highlight(file));
    EXPECT_EQ(marked.status, 0) << marked.err;
    EXPECT_EQ(annotationCount(file), 1u);
    EXPECT_EQ(names().size(), 1u);
}

TEST_F(WritesHardening, AFileSizeLimitFailsTheCommandWithAMessageAndNoTemporary) {
    const fs::path file = document();
    const auto before = ombrix::readFile(file);
    std::signal(SIGXFSZ, SIG_DFL); // as a user's shell has it
    // 16 blocks of 512 bytes (dash) or 1024 (bash): far below a page's PNG.
    auto limited =
        fx::runShell("ulimit -f 16; " + tool() + " render " + shellQuoted(file.string()) +
                     " --page 1 -o " + shellQuoted((dir / "page.png").string()));
    EXPECT_EQ(limited.status, 1) << "killed, or " << limited.err;
    EXPECT_NE(limited.err.find((dir / "page.png").string()), std::string::npos) << limited.err;
    EXPECT_NE(limited.err.find(std::strerror(EFBIG)), std::string::npos) << limited.err;
    EXPECT_EQ(names(), std::vector<std::string>{"doc.pdf"});
    EXPECT_EQ(ombrix::readFile(file), before);

    // A save that MuPDF writes: the document's own name and the reason, nothing left.
    auto save = fx::runShell("ulimit -f 2; " + tool() + " " + highlight(file));
    EXPECT_EQ(save.status, 1) << "killed, or " << save.err;
    EXPECT_NE(save.err.find("Could not write " + file.string() + ": " + std::strerror(EFBIG)),
              std::string::npos)
        << save.err;
    EXPECT_EQ(names(), std::vector<std::string>{"doc.pdf"});
    EXPECT_EQ(ombrix::readFile(file), before);
}

TEST_F(WritesHardening, InfoNeverWritesThroughALinkAtItsSidecarsName) {
    const fs::path file = document();
    const fs::path victim = dir / "thesis.tex";
    ombrix::writeFileAtomically(victim, "years of work");
    const auto fingerprint = ombrix::BrainFingerprint::compute(file);
    ASSERT_TRUE(fingerprint);
    const fs::path brains = data / "OmbrixPdf" / "Brains";
    fs::create_directories(brains);
    fs::create_symlink(victim, brains / (*fingerprint + ".json"));

    auto info = run("info " + shellQuoted(file.string()));
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(ombrix::readFile(victim), "years of work");
    EXPECT_FALSE(fs::is_symlink(brains / (*fingerprint + ".json")));
    EXPECT_EQ(statOf(brains).st_mode & 0777, 0700u);
}

} // namespace writes_cli_hardening
