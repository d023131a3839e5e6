#include "packaging/help_pages.h"

#include <algorithm>
#include <cctype>

namespace nocturo::help {

namespace {

bool IsUpper(char c) {
    return std::isupper(static_cast<unsigned char>(c)) != 0;
}
bool IsLower(char c) {
    return std::islower(static_cast<unsigned char>(c)) != 0;
}
bool IsAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

size_t Indent(std::string_view line) {
    const size_t first = line.find_first_not_of(' ');
    return first == std::string_view::npos ? line.size() : first;
}

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = text.find_first_not_of(' ', i);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(text.find(' ', start), text.size());
        words.emplace_back(text.substr(start, end - start));
        i = end;
    }
    return words;
}

bool IsHeading(std::string_view line) {
    return !line.empty() && line.back() == ':' && line.size() < 40 &&
           line.find(". ") == std::string_view::npos;
}

// "--op" or "-o": a dash, an optional second one, then a letter or digit.
bool IsOptionName(std::string_view word) {
    if (word.size() < 2 || word[0] != '-') {
        return false;
    }
    const size_t start = word[1] == '-' ? 2 : 1;
    if (start >= word.size() || !IsAlnum(word[start])) {
        return false;
    }
    return std::all_of(word.begin() + static_cast<std::ptrdiff_t>(start), word.end(),
                       [](char c) { return IsAlnum(c) || c == '-'; });
}

// Characters after which a dash starts a token (an option, a minus sign).
bool StartsToken(char previous) {
    return previous == ' ' || previous == '[' || previous == '(' || previous == '"' ||
           previous == '|' || previous == '\'';
}

// One line of roff text: backslashes and the dashes of options and minus
// signs escaped (hyphens inside words stay hyphens), and a leading '.' or
// '\'' kept from reading as a request.
std::string Escape(std::string_view text) {
    std::string out;
    bool inToken = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-' && (i == 0 || StartsToken(text[i - 1]))) {
            inToken = true;
        } else if (!(IsAlnum(c) || c == '-')) {
            inToken = false;
        }
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-' && inToken) {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

// An entry's term: option names bold, values (words with capitals) italic.
std::string FormatTerm(std::string_view term) {
    std::string out;
    for (const std::string& word : Words(term)) {
        if (!out.empty()) {
            out += ' ';
        }
        std::string core = word;
        std::string tail;
        while (!core.empty() && (core.back() == ',' || core.back() == ';')) {
            tail.insert(tail.begin(), core.back());
            core.pop_back();
        }
        const bool value =
            std::any_of(core.begin(), core.end(), IsUpper) && core.find('/') == std::string::npos;
        if (IsOptionName(core)) {
            out += "\\fB" + Escape(core) + "\\fR";
        } else if (value && core[0] != '[') {
            out += "\\fI" + Escape(core) + "\\fR";
        } else {
            out += Escape(core);
        }
        out += tail;
    }
    return out;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// The values an entry's text starts with: "a (default), b or c" before the
// first ':', ';' or '.'; none unless every piece is one lowercase word.
std::vector<std::string> Choices(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : " ") + line;
    }
    text = text.substr(0, text.find_first_of(":;."));
    for (size_t at; (at = text.find(" (default)")) != std::string::npos;) {
        text.erase(at, 10);
    }
    for (size_t at; (at = text.find(" or ")) != std::string::npos;) {
        text.replace(at, 4, ", ");
    }
    std::vector<std::string> choices;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(", ", start), text.size());
        const std::string piece = text.substr(start, end - start);
        if (piece.empty() || !IsLower(piece[0]) ||
            !std::all_of(piece.begin(), piece.end(),
                         [](char c) { return IsLower(c) || c == '-'; })) {
            return {};
        }
        choices.push_back(piece);
        start = end + 2;
    }
    return choices.size() >= 2 ? choices : std::vector<std::string>();
}

// Adds an option unless one of its names is known already.
void AddOption(std::vector<HelpOption>& options, HelpOption option) {
    for (const std::string& name : option.names) {
        for (const HelpOption& known : options) {
            if (std::find(known.names.begin(), known.names.end(), name) != known.names.end()) {
                return;
            }
        }
    }
    if (!option.names.empty()) {
        options.push_back(std::move(option));
    }
}

// An entry's term: "-o, --output OUTPUT", "--overwrite".
HelpOption TermOption(const std::vector<std::string>& words) {
    HelpOption option;
    for (std::string name : words) {
        while (!name.empty() && name.back() == ',') {
            name.pop_back();
        }
        if (!IsOptionName(name)) {
            if (std::any_of(name.begin(), name.end(), IsUpper)) {
                option.value = name;
            }
            break;
        }
        option.names.push_back(name);
    }
    return option;
}

std::string Unbracketed(std::string word) {
    word.erase(0, std::min(word.find_first_not_of("[|"), word.size()));
    while (!word.empty() && word.back() == ']') {
        word.pop_back();
    }
    return word;
}

// Options named in a synopsis line: "[--min-level N]", "--mark | --crop WxH",
// "[--stats] FILE...". A value belongs to the option inside its brackets.
void AddSynopsisOptions(std::vector<HelpOption>& options, std::string_view line) {
    const std::vector<std::string> words = Words(line);
    for (size_t i = 0; i < words.size(); ++i) {
        HelpOption option;
        const std::string name = Unbracketed(words[i]);
        if (!IsOptionName(name)) {
            continue;
        }
        option.names.push_back(name);
        if (words[i].back() != ']' && i + 1 < words.size()) {
            const std::string& next = words[i + 1];
            const std::string value = Unbracketed(next);
            if (next[0] != '[' && next[0] != '-' && value.find("...") == std::string::npos &&
                std::any_of(value.begin(), value.end(), IsUpper)) {
                option.value = value;
            }
        }
        AddOption(options, std::move(option));
    }
}

enum class ValueKind { Choices, Folder, Nothing, File, Flag };

ValueKind KindOf(const HelpOption& option) {
    if (!option.choices.empty()) {
        return ValueKind::Choices;
    }
    const std::string& value = option.value;
    if (value.empty()) {
        return ValueKind::Flag;
    }
    if (value.find("FOLDER") != std::string::npos || value.find("DIR") != std::string::npos) {
        return ValueKind::Folder;
    }
    if (value[0] == '.') {
        return ValueKind::Nothing;
    }
    // N, X,Y, WxH, L,R,T,B: single capitals between separators.
    bool single = true;
    for (size_t i = 0; i < value.size(); ++i) {
        if (IsUpper(value[i]) && i + 1 < value.size() && IsUpper(value[i + 1])) {
            single = false;
        }
    }
    return single ? ValueKind::Nothing : ValueKind::File;
}

std::string Join(const std::vector<std::string>& names, const char* separator) {
    std::string out;
    for (const std::string& name : names) {
        out += (out.empty() ? "" : separator) + name;
    }
    return out;
}

}  // namespace

HelpDocument ParseHelp(std::string_view text) {
    HelpDocument doc;
    doc.sections.push_back(HelpSection{});
    HelpBlock* open = nullptr;
    bool inUsage = false;
    size_t usageIndent = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        HelpSection& section = doc.sections.back();
        const size_t indent = Indent(line);
        if (line.empty()) {
            open = nullptr;
            inUsage = false;
        } else if (doc.usage.empty() && line.substr(0, 6) == "Usage:") {
            const std::string_view rest = line.substr(6);
            usageIndent = 6 + Indent(rest);
            doc.usage.push_back(Trim(rest));
            const std::vector<std::string> words = Words(rest);
            doc.program = words.empty() ? std::string() : words[0];
            inUsage = true;
        } else if (inUsage && indent > 0) {
            doc.usage.emplace_back(line.substr(std::min(indent, usageIndent)));
        } else if (indent == 0 && open == nullptr && IsHeading(line)) {
            inUsage = false;
            open = nullptr;
            HelpSection next;
            next.title = std::string(line.substr(0, line.size() - 1));
            doc.sections.push_back(std::move(next));
        } else if (indent == 2) {
            inUsage = false;
            const std::string_view content = line.substr(2);
            HelpBlock block;
            const std::vector<std::string> words = Words(content);
            if (!doc.program.empty() && words[0] == doc.program) {
                // Synopsis lines in a row make one block.
                if (open != nullptr && open->kind == HelpBlock::Synopsis) {
                    open->lines.emplace_back(content);
                    continue;
                }
                block.kind = HelpBlock::Synopsis;
                block.lines.emplace_back(content);
            } else {
                block.kind = HelpBlock::Entry;
                const size_t gap = content.find("  ");
                block.term = Trim(content.substr(0, gap));
                if (gap != std::string_view::npos) {
                    block.lines.push_back(Trim(content.substr(gap)));
                }
            }
            section.blocks.push_back(std::move(block));
            open = &section.blocks.back();
        } else if (indent > 2 && open != nullptr && open->kind != HelpBlock::Paragraph) {
            if (open->kind == HelpBlock::Synopsis) {
                open->lines.emplace_back(line.substr(2));
            } else if (open->lines.empty() && line[indent] == '[') {
                open->term += " " + Trim(line);
            } else {
                open->lines.push_back(Trim(line));
            }
        } else {
            inUsage = false;
            if (open == nullptr || open->kind != HelpBlock::Paragraph) {
                section.blocks.push_back(HelpBlock{});
                open = &section.blocks.back();
            }
            open->lines.push_back(Trim(line));
        }
    }
    return doc;
}

std::string ManPage(const HelpDocument& help, const ManPageInfo& info) {
    std::string page;
    page += ".\\\" Made from \"" + help.program +
            " --help\" at build time: change the help text, not this page.\n";
    page += ".TH " + Upper(help.program) + " 1 \"\" \"" + Escape(info.version) +
            "\" \"User Commands\"\n";
    // No hyphenation: options and file names are copied from the page.
    page += ".nh\n";
    page += ".SH NAME\n" + Escape(help.program) + " \\- " + Escape(info.summary) + "\n";
    if (!help.usage.empty()) {
        page += ".SH SYNOPSIS\n.nf\n";
        for (const std::string& line : help.usage) {
            const size_t name = line.find(help.program);
            if (name != std::string::npos && Trim(line.substr(0, name)).empty()) {
                page += line.substr(0, name) + "\\fB" + Escape(help.program) + "\\fR" +
                        Escape(line.substr(name + help.program.size())) + "\n";
            } else {
                page += Escape(line) + "\n";
            }
        }
        page += ".fi\n";
    }
    for (const HelpSection& section : help.sections) {
        if (section.blocks.empty()) {
            continue;
        }
        page +=
            ".SH " + Escape(Upper(section.title.empty() ? "Description" : section.title)) + "\n";
        for (const HelpBlock& block : section.blocks) {
            switch (block.kind) {
                case HelpBlock::Paragraph:
                    page += ".PP\n";
                    break;
                case HelpBlock::Entry:
                    page += ".TP\n" + FormatTerm(block.term) + "\n";
                    break;
                case HelpBlock::Synopsis:
                    page += ".PP\n.nf\n";
                    break;
            }
            for (const std::string& line : block.lines) {
                page += Escape(line) + "\n";
            }
            if (block.kind == HelpBlock::Synopsis) {
                page += ".fi\n";
            }
        }
    }
    if (!info.seeAlso.empty()) {
        page += ".SH SEE ALSO\n";
        std::vector<std::string> refs;
        for (const std::string& name : info.seeAlso) {
            refs.push_back("\\fB" + Escape(name) + "\\fR(1)");
        }
        page += Join(refs, ",\n") + "\n";
    }
    return page;
}

std::vector<HelpOption> HelpOptions(const HelpDocument& help) {
    std::vector<HelpOption> options;
    for (const HelpSection& section : help.sections) {
        for (const HelpBlock& block : section.blocks) {
            const std::vector<std::string> words = Words(block.term);
            if (block.kind == HelpBlock::Entry && !words.empty() &&
                IsOptionName(words[0].substr(0, words[0].find(',')))) {
                HelpOption option = TermOption(words);
                option.choices = Choices(block.lines);
                AddOption(options, std::move(option));
            }
        }
    }
    for (const std::string& line : help.usage) {
        AddSynopsisOptions(options, line);
    }
    for (const HelpSection& section : help.sections) {
        for (const HelpBlock& block : section.blocks) {
            if (block.kind == HelpBlock::Synopsis) {
                for (const std::string& line : block.lines) {
                    AddSynopsisOptions(options, line);
                }
            }
        }
    }
    return options;
}

std::string BashCompletion(const HelpDocument& help) {
    std::string function = "_";
    for (const char c : help.program) {
        function += IsAlnum(c) ? c : '_';
    }
    const std::vector<HelpOption> options = HelpOptions(help);
    std::vector<std::string> all;
    std::vector<std::string> nothing;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    std::string choices;
    for (const HelpOption& option : options) {
        all.insert(all.end(), option.names.begin(), option.names.end());
        switch (KindOf(option)) {
            case ValueKind::Choices:
                choices += "        " + Join(option.names, "|") +
                           ")\n            COMPREPLY=($(compgen -W '" + Join(option.choices, " ") +
                           "' -- \"$cur\"))\n            return\n            ;;\n";
                break;
            case ValueKind::Folder:
                folders.insert(folders.end(), option.names.begin(), option.names.end());
                break;
            case ValueKind::Nothing:
                nothing.insert(nothing.end(), option.names.begin(), option.names.end());
                break;
            case ValueKind::File:
                files.insert(files.end(), option.names.begin(), option.names.end());
                break;
            case ValueKind::Flag:
                break;
        }
    }
    std::string script;
    script += "# bash completion for " + help.program + "\n";
    script += "# Made from \"" + help.program +
              " --help\" at build time: change the help text, not this file.\n\n";
    script += function + "()\n{\n";
    script += "    local cur prev words cword split\n";
    script += "    _init_completion -s || return\n\n";
    script += "    case $prev in\n";
    script += choices;
    if (!folders.empty()) {
        script += "        " + Join(folders, "|") +
                  ")\n            _filedir -d\n            return\n"
                  "            ;;\n";
    }
    if (!nothing.empty()) {
        script += "        " + Join(nothing, "|") + ")\n            return\n            ;;\n";
    }
    if (!files.empty()) {
        script += "        " + Join(files, "|") +
                  ")\n            _filedir\n            return\n"
                  "            ;;\n";
    }
    script += "    esac\n";
    script += "    $split && return\n\n";
    script += "    if [[ $cur == -* ]]; then\n";
    script += "        COMPREPLY=($(compgen -W '" + Join(all, " ") + "' -- \"$cur\"))\n";
    script += "        return\n    fi\n";
    script += "    _filedir\n";
    script += "} &&\n    complete -F " + function + " " + help.program + "\n";
    return script;
}

}  // namespace nocturo::help
