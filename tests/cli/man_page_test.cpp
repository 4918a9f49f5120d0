// The manual page against `tarvik --help`: every command the help lists has a
// subsection under COMMANDS naming each option its help names, every option
// of the help is in the page, and both give the same exit statuses. (The page
// may describe a command before the program has it.)
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"

namespace bkf {
namespace {

using Options = std::set<std::string>;
using Commands = std::map<std::string, Options>;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "-o", "--match", ... as written in a text, each after a blank, "[", "(" or "|".
Options optionsIn(const std::string& text) {
    static const std::regex option(R"((?:^|[\s\[(|])(--?[a-z](?:[a-z-]*[a-z])?))");
    Options found;
    for (std::sregex_iterator m(text.begin(), text.end(), option), end; m != end; ++m) found.insert((*m)[1]);
    return found;
}

// The help's commands: after "Commands:", a line indented by two spaces that
// starts with a word names a command; the lines indented further belong to it.
Commands helpCommands(const std::string& help) {
    static const std::regex commandLine(R"(^  ([a-z][a-z0-9-]*)(?:\s.*)?$)");
    Commands commands;
    std::string current;
    bool inCommands = false;
    for (const std::string& line : linesOf(help)) {
        std::smatch m;
        if (line == "Commands:") {
            inCommands = true;
        } else if (inCommands && std::regex_match(line, m, commandLine)) {
            current = m[1];
            commands[current].merge(optionsIn(line.substr(2 + current.size())));
        } else if (!current.empty() && line.rfind("   ", 0) == 0) {
            commands[current].merge(optionsIn(line));
        } else {
            current.clear();
        }
    }
    return commands;
}

// Roff text as a reader sees it: "\-" is a dash, font changes and "\&" vanish.
std::string plainRoff(std::string line) {
    line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
    line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
    return std::regex_replace(line, std::regex(R"(\\&)"), "");
}

// The lines of the page's section `name` (".SH name" up to the next ".SH").
std::vector<std::string> manSection(const std::vector<std::string>& page, const std::string& name) {
    std::vector<std::string> section;
    bool inside = false;
    for (const std::string& line : page) {
        if (line.rfind(".SH ", 0) == 0) {
            std::string title = line.substr(4);
            if (title.size() >= 2 && title.front() == '"') title = title.substr(1, title.size() - 2);
            inside = title == name;
        } else if (inside) {
            section.push_back(plainRoff(line));
        }
    }
    return section;
}

// The page's commands: each ".SS name" under COMMANDS, with the options its text names.
Commands manCommands(const std::vector<std::string>& page) {
    Commands commands;
    std::string current;
    for (const std::string& line : manSection(page, "COMMANDS")) {
        if (line.rfind(".SS ", 0) == 0) {
            current = line.substr(4);
            commands[current];
        } else if (!current.empty()) {
            commands[current].merge(optionsIn(line));
        }
    }
    return commands;
}

// The help's "Exit status: 0 done; 1 nothing found; ..." as {"0", "1", ...}.
std::set<std::string> helpExitStatuses(const std::string& help) {
    std::string paragraph;
    bool inside = false;
    for (const std::string& line : linesOf(help)) {
        if (line.rfind("Exit status:", 0) == 0) {
            inside = true;
            paragraph = line.substr(12);
        } else if (inside && !line.empty()) {
            paragraph += " " + line;
        } else {
            inside = false;
        }
    }
    std::set<std::string> statuses;
    std::istringstream parts(paragraph);
    for (std::string part; std::getline(parts, part, ';');) {
        std::istringstream words(part);
        if (std::string first; words >> first) statuses.insert(first);
    }
    return statuses;
}

// The tags of the page's EXIT STATUS list (the line after each ".TP").
std::set<std::string> manExitStatuses(const std::vector<std::string>& page) {
    std::set<std::string> statuses;
    const std::vector<std::string> section = manSection(page, "EXIT STATUS");
    for (std::size_t i = 0; i + 1 < section.size(); ++i)
        if (section[i] == ".TP") statuses.insert(std::regex_replace(section[i + 1], std::regex(R"(^\.[BI]R? )"), ""));
    return statuses;
}

class ManPage : public ::testing::Test {
protected:
    void SetUp() override {
        const test::ToolRun run = test::runTool(TARVIK_PATH, {"--help"}, dir_.path());
        ASSERT_EQ(run.status, 0);
        help_ = run.out;
        std::ifstream in(BKF_MAN_PAGE, std::ios::binary);
        ASSERT_TRUE(in) << BKF_MAN_PAGE;
        std::ostringstream text;
        text << in.rdbuf();
        page_ = linesOf(text.str());
    }
    test::TempDir dir_;
    std::string help_;
    std::vector<std::string> page_;
};

TEST_F(ManPage, DescribesEveryCommandOfTheHelpWithItsOptions) {
    const Commands help = helpCommands(help_);
    ASSERT_TRUE(help.count("scan") && help.count("extract")) << "the help's command list was not read:\n" << help_;
    ASSERT_TRUE(help.at("scan").count("-o") && help.at("scan").count("--log")) << help_;
    const Commands man = manCommands(page_);
    for (const auto& [command, options] : help) {
        const auto documented = man.find(command);
        if (documented == man.end()) {
            ADD_FAILURE() << "the manual page has no section for `tarvik " << command << "`";
            continue;
        }
        for (const std::string& option : options)
            EXPECT_TRUE(documented->second.count(option))
                << "`tarvik " << command << " " << option << "` is not in its manual section";
    }
    // And no section for a command the program does not have.
    for (const auto& [command, options] : man)
        EXPECT_TRUE(help.count(command)) << "the manual page describes `tarvik " << command
                                         << "`, which the help lacks";
    // The options outside the commands (--aligned-only, --help, --version) too.
    Options everywhere;
    for (const std::string& line : page_) everywhere.merge(optionsIn(plainRoff(line)));
    for (const std::string& option : optionsIn(help_))
        EXPECT_TRUE(everywhere.count(option)) << option << " is not in the manual page";
}

TEST_F(ManPage, GivesTheExitStatusesOfTheHelp) {
    const std::set<std::string> help = helpExitStatuses(help_);
    ASSERT_TRUE(help.count("0") && help.count("64")) << help_;
    EXPECT_EQ(manExitStatuses(page_), help);
}

}  // namespace
}  // namespace bkf
