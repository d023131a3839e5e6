#pragma once
// The pages made from a program's --help text at build time: its manual page
// and its bash completion. The help text is the one source, so the three
// never disagree.
//
// The layout the help text keeps (plain text, as a terminal shows it):
//   Usage: PROGRAM ...        the synopsis; more lines indented below it
//   Heading:                  a short line at the left edge ending with ':',
//                             after a blank line
//     --opt VALUE  text       an entry: two blanks in, the term, two or more
//                             blanks, its text; deeper lines continue the text
//                             (a deeper line starting with '[' before any text
//                             continues the term)
//     PROGRAM --opt ...       two blanks in and starting with the program's
//                             name: a synopsis line inside a section
//   Any other line            prose; a blank line ends a paragraph or entry.
// An option entry whose text starts with a list of lowercase words, as in
// "addmax (default), addmin or add: ...", takes those words as its values.

#include <string>
#include <string_view>
#include <vector>

namespace nocturo::help {

struct HelpBlock {
    enum Kind { Paragraph, Entry, Synopsis };
    Kind kind = Paragraph;
    /// Entry: the term, continuation lines joined by a blank.
    std::string term;
    /// Paragraph and entry: the text lines without their indent. Synopsis:
    /// the lines less the section's two-blank indent.
    std::vector<std::string> lines;
};

struct HelpSection {
    /// The heading without its ':'; "" for the text before the first heading.
    std::string title;
    std::vector<HelpBlock> blocks;
};

struct HelpDocument {
    /// The program's name: the first word after "Usage:".
    std::string program;
    /// The synopsis lines, "Usage:" and the indent shared with it removed.
    std::vector<std::string> usage;
    std::vector<HelpSection> sections;
};

HelpDocument ParseHelp(std::string_view text);

struct ManPageInfo {
    std::string summary;               // the NAME line's part after the dash
    std::string version;               // shown in the page's footer
    std::vector<std::string> seeAlso;  // other pages of section 1
};

/// The manual page (section 1) in roff: NAME, SYNOPSIS, DESCRIPTION (the
/// text before the first heading), one section per heading, SEE ALSO.
std::string ManPage(const HelpDocument& help, const ManPageInfo& info);

struct HelpOption {
    std::vector<std::string> names;  // "-o", "--output"
    std::string value;               // "OUTPUT"; "" for a flag
    std::vector<std::string> choices;
};

/// Every option the help names, in order of first mention: the terms of the
/// entries first, then options named only in synopsis lines.
std::vector<HelpOption> HelpOptions(const HelpDocument& help);

/// A bash completion script for the program (it uses the bash-completion
/// package's helpers, as the scripts it loads do): option names, the values
/// of options with choices, folders for a FOLDER value, nothing for numbers
/// and point or size values (N, X,Y, WxH, L,R,T,B) and extensions (.EXT),
/// file names otherwise.
std::string BashCompletion(const HelpDocument& help);

}  // namespace nocturo::help
