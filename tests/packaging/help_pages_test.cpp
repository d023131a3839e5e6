// The converter from a --help text to a manual page and a bash completion.

#include "packaging/help_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nocturo::help {
namespace {

const char kHelp[] =
    "Usage: tool [OPTION]... -o OUT FILE...\n"
    "       tool --list\n"
    "\n"
    "Merges FILEs. A line may start with a dot:\n"
    ".hidden stays text, and a back\\slash too.\n"
    "\n"
    "Options:\n"
    "  --op OP         max (default), min or sum\n"
    "  -o, --output OUT\n"
    "                  the picture to write; -255 is a\n"
    "                  minus, well-known a hyphen\n"
    "  --kind K        dark, flat or cube: the kind\n"
    "  --save-to FOLDER  where copies go\n"
    "  --size WxH      0 to 10 (default 1), or more\n"
    "  --ext .EXT      the extension\n"
    "\n"
    "Other work:\n"
    "  tool --scan [--level N]\n"
    "              [--quiet] FILE...\n"
    "  tool --peak X,Y FILE...\n"
    "\n"
    "Exit status:\n"
    "  0    fine\n";

TEST(HelpPages, ParsesUsageSectionsEntriesAndSynopsisBlocks) {
    const HelpDocument doc = ParseHelp(kHelp);
    EXPECT_EQ(doc.program, "tool");
    EXPECT_EQ(doc.usage,
              (std::vector<std::string>{"tool [OPTION]... -o OUT FILE...", "tool --list"}));
    ASSERT_EQ(doc.sections.size(), 4u);
    EXPECT_EQ(doc.sections[0].title, "");
    EXPECT_EQ(doc.sections[0].blocks.size(), 1u);
    const HelpSection& options = doc.sections[1];
    EXPECT_EQ(options.title, "Options");
    ASSERT_EQ(options.blocks.size(), 6u);
    EXPECT_EQ(options.blocks[1].term, "-o, --output OUT");
    EXPECT_EQ(options.blocks[1].lines, (std::vector<std::string>{"the picture to write; -255 is a",
                                                                 "minus, well-known a hyphen"}));
    const HelpSection& other = doc.sections[2];
    ASSERT_EQ(other.blocks.size(), 1u);  // the synopsis lines in a row are one block
    EXPECT_EQ(other.blocks[0].kind, HelpBlock::Synopsis);
    EXPECT_EQ(other.blocks[0].lines.size(), 3u);
    EXPECT_EQ(doc.sections[3].title, "Exit status");
    EXPECT_EQ(doc.sections[3].blocks[0].term, "0");
}

TEST(HelpPages, ManPageEscapesAndFormats) {
    const std::string page =
        ManPage(ParseHelp(kHelp), {"merges things", "tool 1.2", {"other", "third"}});
    for (const char* expected : {
             ".TH TOOL 1 \"\" \"tool 1.2\" \"User Commands\"\n",
             ".SH NAME\ntool \\- merges things\n",
             "\\fBtool\\fR [OPTION]... \\-o OUT FILE...\n",
             ".SH DESCRIPTION\n.PP\nMerges FILEs.",
             "\n\\&.hidden stays text, and a back\\eslash too.\n",
             ".SH OPTIONS\n.TP\n\\fB\\-\\-op\\fR \\fIOP\\fR\nmax (default), min or sum\n",
             ".TP\n\\fB\\-o\\fR, \\fB\\-\\-output\\fR \\fIOUT\\fR\n",
             "write; \\-255 is a\nminus, well-known a hyphen\n",
             ".SH OTHER WORK\n.PP\n.nf\ntool \\-\\-scan [\\-\\-level N]\n",
             ".SH EXIT STATUS\n.TP\n0\nfine\n",
             ".SH SEE ALSO\n\\fBother\\fR(1),\n\\fBthird\\fR(1)\n",
         }) {
        EXPECT_NE(page.find(expected), std::string::npos) << expected << "\nin:\n" << page;
    }
}

TEST(HelpPages, OptionsCarryTheirValuesAndChoices) {
    const std::vector<HelpOption> options = HelpOptions(ParseHelp(kHelp));
    const struct {
        std::vector<std::string> names;
        std::string value;
        std::vector<std::string> choices;
    } expected[] = {
        {{"--op"}, "OP", {"max", "min", "sum"}},
        {{"-o", "--output"}, "OUT", {}},
        {{"--kind"}, "K", {"dark", "flat", "cube"}},
        {{"--save-to"}, "FOLDER", {}},
        {{"--size"}, "WxH", {}},
        {{"--ext"}, ".EXT", {}},
        {{"--list"}, "", {}},
        {{"--scan"}, "", {}},
        {{"--level"}, "N", {}},
        {{"--quiet"}, "", {}},
        {{"--peak"}, "X,Y", {}},
    };
    ASSERT_EQ(options.size(), std::size(expected));
    for (size_t i = 0; i < options.size(); ++i) {
        EXPECT_EQ(options[i].names, expected[i].names) << i;
        EXPECT_EQ(options[i].value, expected[i].value) << i;
        EXPECT_EQ(options[i].choices, expected[i].choices) << i;
    }
}

TEST(HelpPages, CompletionCompletesEachKindOfValue) {
    const std::string script = BashCompletion(ParseHelp(kHelp));
    for (const char* expected : {
             "_tool()\n",
             "        --op)\n            COMPREPLY=($(compgen -W 'max min sum' -- \"$cur\"))\n",
             "        --save-to)\n            _filedir -d\n",
             "        --kind)\n            COMPREPLY=($(compgen -W 'dark flat cube' ",
             "        --size|--ext|--level|--peak)\n            return\n",
             "        -o|--output)\n            _filedir\n",
             "compgen -W '--op -o --output --kind --save-to --size --ext --list --scan --level "
             "--quiet --peak' -- \"$cur\"",
             "complete -F _tool tool\n",
         }) {
        EXPECT_NE(script.find(expected), std::string::npos) << expected << "\nin:\n" << script;
    }
}

}  // namespace
}  // namespace nocturo::help
