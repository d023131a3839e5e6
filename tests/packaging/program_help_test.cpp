// The programs against their help: every option their parsers know is in
// --help, and so in the manual page and the completion made from it; and
// --version prints the project's version.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "nocturo_version.h"
#include "tests/cli/child_process.h"

namespace nocturo {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Options the parsers compare arguments with: string literals that are a
// whole option name ("--jobs", "-o", "--moving-max=").
std::set<std::string> ParserOptions(const std::vector<fs::path>& sources) {
    static const std::regex literal("\"(--?[A-Za-z][-A-Za-z0-9]*)=?\"");
    std::set<std::string> options;
    for (const fs::path& source : sources) {
        const std::string text = ReadFile(source);
        for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it) {
            options.insert((*it)[1]);
        }
    }
    return options;
}

bool HasWord(const std::string& text, const std::string& word) {
    const std::regex pattern("(^|[^-A-Za-z0-9])" + word + "([^-A-Za-z0-9]|$)");
    return std::regex_search(text, pattern);
}

// The text of a manual page without escapes and font changes.
std::string PlainRoff(std::string page) {
    for (const char* code : {"\\fB", "\\fI", "\\fR", "\\&"}) {
        for (size_t at; (at = page.find(code)) != std::string::npos;) {
            page.erase(at, 3 - (code[1] == '&'));
        }
    }
    for (size_t at; (at = page.find("\\-")) != std::string::npos;) {
        page.erase(at, 1);
    }
    return page;
}

TEST(ProgramHelp, EveryParsedOptionIsInTheHelpManPageAndCompletion) {
    std::vector<fs::path> cliSources;
    for (const auto& entry : fs::directory_iterator(fs::path(NOCTURO_SOURCE_DIR) / "cli")) {
        if (entry.path().extension() == ".cpp") {
            cliSources.push_back(entry.path());
        }
    }
    const struct {
        std::string program;
        std::string path;
        std::vector<fs::path> sources;
        bool completion;
    } programs[] = {
        {"nocturo-stack", NOCTURO_STACK_PATH, cliSources, true},
        {"nocturo", NOCTURO_PROGRAM_PATH, {fs::path(NOCTURO_SOURCE_DIR) / "app/main.cpp"}, false},
    };
    for (const auto& p : programs) {
        if (p.path.empty()) {
            continue;  // built without the windows
        }
        SCOPED_TRACE(p.program);
        const test::ChildResult help = test::RunChild(p.path, {"--help"});
        ASSERT_EQ(help.exitCode, 0);
        const test::ChildResult version = test::RunChild(p.path, {"--version"});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, p.program + " " + NOCTURO_VERSION + "\n");

        const std::string page =
            PlainRoff(ReadFile(fs::path(NOCTURO_PAGES_DIR) / (p.program + ".1")));
        const std::string completion =
            p.completion ? ReadFile(fs::path(NOCTURO_PAGES_DIR) / (p.program + ".bash")) : "";
        const std::set<std::string> options = ParserOptions(p.sources);
        EXPECT_GE(options.size(), 4u);
        for (const std::string& option : options) {
            EXPECT_TRUE(HasWord(help.out, option)) << option << " is not in --help";
            EXPECT_TRUE(HasWord(page, option)) << option << " is not in the manual page";
            if (p.completion) {
                EXPECT_TRUE(HasWord(completion, option)) << option << " is not completed";
            }
        }
    }
}

}  // namespace
}  // namespace nocturo
