#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/wait.h>

namespace {

struct Run {
    int status = -1;
    std::string output;
};

// Runs the built tool through the shell; redirections in `tail` pick what is captured.
Run runTool(const std::string& arguments, const std::string& tail = "") {
    std::string command = std::string("'") + OMBRIX_CLI_PATH + "' " + arguments + " " + tail;
    Run run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "popen failed for " << command;
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), n);
    }
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(ContractsCommandTest, PrintsTheEighteenContractsSortedById) {
    auto run = runTool("contracts", "2>/dev/null");
    ASSERT_EQ(run.status, 0);
    ASSERT_FALSE(run.output.empty());
    EXPECT_EQ(run.output.back(), '\n');
    EXPECT_EQ(run.output.rfind("[\n  {\n    \"", 0), 0u) << "expected a 2-space indent";

    auto list = nlohmann::json::parse(run.output);
    ASSERT_TRUE(list.is_array());
    ASSERT_EQ(list.size(), 18u);
    EXPECT_EQ(list.front()["id"], "app.about");
    EXPECT_EQ(list.back()["id"], "view.zoomOut");
    for (std::size_t i = 1; i < list.size(); ++i) {
        EXPECT_LT(list[i - 1]["id"].get<std::string>(), list[i]["id"].get<std::string>());
    }
    for (const auto& contract : list) {
        for (const char* key : {"id", "sources", "targets", "action"}) {
            EXPECT_TRUE(contract.contains(key)) << contract.dump();
        }
        bool isDocument = contract["targets"] == nlohmann::json::array({"document"});
        EXPECT_EQ(contract.contains("bridgeOp"), isDocument) << contract.dump();
    }
    auto open =
        std::find_if(list.begin(), list.end(), [](const auto& c) { return c["id"] == "doc.open"; });
    ASSERT_NE(open, list.end());
    EXPECT_EQ(*open, nlohmann::json::parse(R"({"id": "doc.open", "sources": ["Menu", "Toolbar",
        "Keyboard"], "targets": ["document"], "action": "open", "bridgeOp": "open"})"));
}

TEST(ContractsCommandTest, UnknownArgumentIsAUsageError) {
    auto stdoutOnly = runTool("contracts --bogus", "2>/dev/null");
    EXPECT_EQ(stdoutOnly.status, 2);
    EXPECT_TRUE(stdoutOnly.output.empty()) << stdoutOnly.output;

    auto stderrOnly = runTool("contracts extra", "2>&1 1>/dev/null");
    EXPECT_EQ(stderrOnly.status, 2);
    EXPECT_NE(stderrOnly.output.find("Usage: ombrix contracts"), std::string::npos)
        << stderrOnly.output;
}

TEST(ContractsCommandTest, HelpAndVersion) {
    auto help = runTool("--help", "2>/dev/null");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("\n  contracts "), std::string::npos) << help.output;

    auto commandHelp = runTool("contracts --help", "2>/dev/null");
    EXPECT_EQ(commandHelp.status, 0);
    EXPECT_EQ(commandHelp.output.rfind("Usage: ombrix contracts", 0), 0u) << commandHelp.output;

    auto version = runTool("--version", "2>/dev/null");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, std::string("ombrix ") + OMBRIX_VERSION + "\n");
}

} // namespace
