// Keeps docs/guide.md true to the program: every message the sources can show
// has an entry, the keyword tables match the words the readers look for, and
// every example the guide names converts with the real executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "collision/surface_types.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

const fs::path source_dir = TESSALOOM_SOURCE_DIR;

// ---- The sources, as tokens ---------------------------------------------------

struct Token {
    enum Kind { identifier, text, punct } kind;
    std::string value;  // identifier, decoded string literal, or the one character
    int line;
};

// Identifiers, string literals (escapes decoded) and single punctuation
// characters; comments, character literals and numbers are dropped.
std::vector<Token> tokenize(const std::string& s)
{
    std::vector<Token> tokens;
    int line = 1;
    size_t i = 0;
    auto at = [&](size_t k) { return k < s.size() ? s[k] : '\0'; };
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '/' && at(i + 1) == '/') {
            while (i < s.size() && s[i] != '\n')
                ++i;
        } else if (c == '/' && at(i + 1) == '*') {
            i += 2;
            while (i < s.size() && !(s[i] == '*' && at(i + 1) == '/'))
                line += s[i++] == '\n';
            i += 2;
        } else if (c == '"' || c == '\'') {
            std::string value;
            ++i;
            while (i < s.size() && s[i] != c) {
                char d = s[i++];
                if (d == '\\') {
                    const char e = s[i++];
                    d = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
                }
                value += d;
            }
            ++i;
            if (c == '"')
                tokens.push_back({Token::text, value, line});
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t j = i;
            while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_'))
                ++j;
            tokens.push_back({Token::identifier, s.substr(i, j - i), line});
            i = j;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.'))
                ++i;
        } else {
            if (!std::isspace(static_cast<unsigned char>(c)))
                tokens.push_back({Token::punct, std::string(1, c), line});
            ++i;
        }
    }
    return tokens;
}

// The top-level arguments of the call whose '(' is tokens[open], each as its tokens.
std::vector<std::vector<Token>> call_arguments(const std::vector<Token>& tokens, size_t open)
{
    std::vector<std::vector<Token>> args(1);
    int depth = 0;
    for (size_t k = open; k < tokens.size(); ++k) {
        const Token& t = tokens[k];
        if (t.kind == Token::punct && (t.value == "(" || t.value == "[" || t.value == "{")) {
            if (depth++ == 0)
                continue;
        } else if (t.kind == Token::punct && (t.value == ")" || t.value == "]" || t.value == "}")) {
            if (--depth == 0)
                break;
        } else if (depth == 1 && t.kind == Token::punct && t.value == ",") {
            args.emplace_back();
            continue;
        }
        args.back().push_back(t);
    }
    return args;
}

// Adjacent string literals joined, as the compiler joins them.
std::vector<std::string> literal_chains(const std::vector<Token>& tokens)
{
    std::vector<std::string> chains;
    bool in_chain = false;
    for (const Token& t : tokens) {
        if (t.kind != Token::text) {
            in_chain = false;
            continue;
        }
        if (!in_chain)
            chains.emplace_back();
        chains.back() += t.value;
        in_chain = true;
    }
    return chains;
}

std::vector<fs::path> source_files(const std::vector<std::string>& folders)
{
    std::vector<fs::path> files;
    for (const std::string& folder : folders)
        for (const auto& entry : fs::recursive_directory_iterator(source_dir / "src" / folder)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h"))
                files.push_back(entry.path());
        }
    std::sort(files.begin(), files.end());
    return files;
}

struct Found {
    std::string text;
    std::string where;  // file:line
};

// Every literal chain in the given arguments of calls to the given functions.
std::vector<Found> scan_calls(const std::vector<fs::path>& files,
                              const std::map<std::string, std::vector<size_t>>& functions)
{
    std::vector<Found> found;
    for (const fs::path& file : files) {
        const std::vector<Token> tokens = tokenize(read_file(file));
        for (size_t k = 0; k + 1 < tokens.size(); ++k) {
            const auto fn = functions.find(tokens[k].value);
            if (tokens[k].kind != Token::identifier || fn == functions.end() || tokens[k + 1].value != "(")
                continue;
            const std::vector<std::vector<Token>> args = call_arguments(tokens, k + 1);
            for (const size_t index : fn->second)
                if (index < args.size())
                    for (const std::string& chain : literal_chains(args[index]))
                        found.push_back({chain, fs::relative(file, source_dir).string() + ":" +
                                                    std::to_string(tokens[k].line)});
        }
    }
    return found;
}

// ---- Messages -----------------------------------------------------------------

// The functions that show a message, and which of their arguments hold its
// text (a format, or a part that the message is built from). A new way of
// showing a message is added here.
const std::map<std::string, std::vector<size_t>> message_functions = {
    {"fatal_error", {0}},            // fatal_error(format, ...)
    {"show_warning", {1}},           // show_warning(platform, format, ...)
    {"message_box", {1}},            // message_box(title, text, icon)
    {"owned_message_box", {2}},      // the Win32 face's owned_message_box(owner, title, text, icon)
    {"message", {1}},                // the main window's face.message(title, text, icon)
    {"object_fault", {2}},           // the viewer's object_fault(item, offset, format, ...)
    {"open_pending_file", {1}},      // open_pending_file(path, failure_format)
    {"position_out_of_range", {0, 4}},  // the subject and the relation of the range message
    {"fputs", {0}},                  // lines printed on standard output
    {"printf", {0, 1}},
};

std::string collapse_blanks(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// A message format as the guide writes it: every printf conversion becomes
// "…" (several in a row one), "%%" becomes "%", blank runs one blank.
std::string message_shape(const std::string& format)
{
    static const std::regex conversion(
        R"(%[-+ #0]*(\*|[0-9]+)?(\.(\*|[0-9]+))?(hh|h|ll|l|z|j|t|L)?[diouxXeEfFgGaAcsp])");
    std::string text = std::regex_replace(format, conversion, "\x01");
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (text[i] == '\x01') {
            if (out.size() < 3 || out.compare(out.size() - 3, 3, "…") != 0)
                out += "…";
        } else {
            out += text[i];
        }
    }
    return collapse_blanks(out);
}

// Every literal chain assigned to a variable or member called `name`.
std::vector<Found> scan_assignments(const std::vector<fs::path>& files, const std::string& name)
{
    std::vector<Found> found;
    for (const fs::path& file : files) {
        const std::vector<Token> tokens = tokenize(read_file(file));
        for (size_t k = 0; k + 2 < tokens.size(); ++k) {
            if (tokens[k].kind != Token::identifier || tokens[k].value != name || tokens[k + 1].value != "=" ||
                tokens[k + 2].kind != Token::text)
                continue;
            std::string chain;
            for (size_t j = k + 2; j < tokens.size() && tokens[j].kind == Token::text; ++j)
                chain += tokens[j].value;
            found.push_back({chain, fs::relative(file, source_dir).string() + ":" + std::to_string(tokens[k].line)});
        }
    }
    return found;
}

std::vector<Found> code_messages()
{
    std::vector<Found> messages;
    std::vector<Found> found = scan_calls(source_files({""}), message_functions);
    // The main window's checks hand their message back in `message`.
    for (Found& f : scan_assignments(source_files({""}), "message"))
        found.push_back(std::move(f));
    for (const Found& f : found) {
        const std::string shape = message_shape(f.text);
        if (std::any_of(shape.begin(), shape.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
            messages.push_back({shape, f.where});
    }
    return messages;
}

// ---- The guide ----------------------------------------------------------------

std::vector<std::string> guide_lines()
{
    std::vector<std::string> lines;
    std::istringstream in(read_file(source_dir / "docs" / "guide.md"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> code_spans(const std::string& text)
{
    std::vector<std::string> spans;
    size_t open = text.find('`');
    while (open != std::string::npos) {
        const size_t close = text.find('`', open + 1);
        if (close == std::string::npos)
            break;
        spans.push_back(text.substr(open + 1, close - open - 1));
        open = text.find('`', close + 1);
    }
    return spans;
}

// The messages of the section "When something goes wrong": the code spans
// of its level-four headings, and of list items that open with one (the
// parts of a message that a heading gives as "…").
std::set<std::string> guide_messages()
{
    std::set<std::string> messages;
    bool in_section = false;
    for (const std::string& line : guide_lines()) {
        if (line.starts_with("## "))
            in_section = line == "## When something goes wrong";
        else if (in_section && line.starts_with("#### "))
            for (const std::string& span : code_spans(line))
                messages.insert(collapse_blanks(span));
        else if (in_section && line.starts_with("- `"))
            messages.insert(collapse_blanks(code_spans(line).front()));
    }
    return messages;
}

// The first cell of a table row; "\|" is a bar inside the cell.
std::string first_cell(const std::string& row)
{
    size_t end = 1;
    while (end < row.size() && !(row[end] == '|' && row[end - 1] != '\\'))
        ++end;
    return row.substr(1, end - 1);
}

// The keyword tables: each table follows a line "<!-- keywords: NAME -->";
// every row holds the keywords it describes as code spans in its first cell.
std::map<std::string, std::vector<std::vector<std::string>>> guide_keyword_tables()
{
    std::map<std::string, std::vector<std::vector<std::string>>> tables;
    static const std::regex marker(R"(<!-- keywords: ([a-z-]+) -->)");
    std::string current;
    int row = 0;
    for (const std::string& line : guide_lines()) {
        std::smatch m;
        if (std::regex_search(line, m, marker)) {
            current = m[1];
            tables[current];
            row = 0;
        } else if (!current.empty() && line.starts_with("|")) {
            // The heading row and the separator row carry no keywords.
            if (row++ >= 2)
                tables[current].push_back(code_spans(first_cell(line)));
        } else if (!current.empty() && row > 0) {
            current.clear();
        }
    }
    return tables;
}

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(' ');
    const size_t b = s.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// A keyword of the guide names the code's word when it is the word, or
// begins with it and the code matches the word as a prefix (what follows is
// an argument, as in POS(x,y,z) or WARP_n).
bool names_word(const std::string& keyword, const std::string& word, bool prefix)
{
    return keyword == word || (prefix && keyword.starts_with(word));
}

// ---- Tests --------------------------------------------------------------------

TEST(Guide, EveryMessageOfTheSourcesHasAnEntry)
{
    const std::vector<Found> messages = code_messages();
    // The scan must see the messages at all: a change of the calls it looks
    // for should fail here, not pass with nothing found.
    ASSERT_GT(messages.size(), 60u);
    const std::set<std::string> entries = guide_messages();
    std::set<std::string> missing;
    for (const Found& m : messages)
        if (!entries.contains(m.text))
            missing.insert(m.text + "    (" + m.where + ")");
    std::string list;
    for (const std::string& m : missing)
        list += "\n  " + m;
    EXPECT_TRUE(missing.empty()) << "messages without an entry under \"When something goes wrong\" in "
                                    "docs/guide.md (add a heading '#### `TEXT`', with … for each printf "
                                    "conversion):"
                                 << list;
}

TEST(Guide, EveryMessageEntryIsAMessageOfTheSources)
{
    std::set<std::string> shown;
    for (const Found& m : code_messages())
        shown.insert(m.text);
    for (const std::string& entry : guide_messages())
        EXPECT_TRUE(shown.contains(entry)) << "docs/guide.md describes a message the program no longer shows: "
                                           << entry;
}

TEST(Guide, MessageShapes)
{
    EXPECT_EQ(message_shape("Couldn't open '%s'!"), "Couldn't open '…'!");
    EXPECT_EQ(message_shape("Bone %zu%s%s%s of the skeleton"), "Bone … of the skeleton");
    EXPECT_EQ(message_shape("0x%08X and %.0f, %-5.*s, 100%%\n\n"), "0x… and …, …, 100%");
}

// The words the readers and stages look for in names and lines: every string
// literal searched for with find / rfind / contains / starts_with / strstr in
// these folders. The windows and the driver search for nothing a modder writes.
const std::vector<std::string> keyword_folders = {"model", "prep", "dlist", "collision", "texture", "output", "image"};

std::vector<Found> code_words()
{
    std::vector<Found> words;
    const std::map<std::string, std::vector<size_t>> searches = {
        {"find", {0}}, {"rfind", {0}}, {"contains", {0}}, {"starts_with", {0}}, {"strstr", {1}}};
    for (const Found& f : scan_calls(source_files(keyword_folders), searches)) {
        const std::string word = trimmed(f.text);
        if (std::any_of(word.begin(), word.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            words.push_back({word, f.where});
    }
    return words;
}

TEST(Guide, EveryWordTheReadersLookForIsInAKeywordTable)
{
    const std::vector<Found> words = code_words();
    ASSERT_GT(words.size(), 40u);
    std::vector<std::string> keywords;
    for (const auto& [name, rows] : guide_keyword_tables())
        for (const std::vector<std::string>& row : rows)
            keywords.insert(keywords.end(), row.begin(), row.end());
    for (const Found& w : words)
        EXPECT_TRUE(std::any_of(keywords.begin(), keywords.end(),
                                [&](const std::string& k) { return names_word(k, w.text, true); }))
            << "'" << w.text << "' (" << w.where << ") is in no keyword table of docs/guide.md";
}

TEST(Guide, NameKeywordTablesHoldOnlyWordsTheCodeReads)
{
    const std::vector<Found> words = code_words();
    const auto tables = guide_keyword_tables();
    for (const char* name : {"group-names", "material-names", "texture-names", "library-lines"}) {
        ASSERT_TRUE(tables.contains(name)) << name;
        for (const std::vector<std::string>& row : tables.at(name))
            for (const std::string& keyword : row) {
                // The separators of play-as names are characters, not words.
                if (!std::any_of(keyword.begin(), keyword.end(),
                                 [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
                    continue;
                // A keyword may hold the word inside it, as uprop holds prop.
                EXPECT_TRUE(std::any_of(words.begin(), words.end(),
                                        [&](const Found& w) { return keyword.find(w.text) != std::string::npos; }))
                    << "table " << name << " of docs/guide.md names '" << keyword << "', which the code never reads";
            }
    }
}

TEST(Guide, SurfaceTypeTableIsTheCodesTable)
{
    const auto tables = guide_keyword_tables();
    ASSERT_TRUE(tables.contains("surface-types"));
    // The first code span of each row is the keyword; further ones are words inside it.
    std::vector<std::string> listed;
    for (const std::vector<std::string>& row : tables.at("surface-types"))
        if (!row.empty())
            listed.push_back(row.front());
    const std::vector<SurfaceKeywordWord> words = surface_keyword_words();
    for (const SurfaceKeywordWord& w : words) {
        const std::string text(w.text);
        EXPECT_EQ(std::count_if(listed.begin(), listed.end(),
                                [&](const std::string& k) { return names_word(k, text, w.prefix); }),
                  1)
            << text << " needs exactly one row in the surface type table of docs/guide.md";
    }
    for (const std::string& k : listed)
        EXPECT_TRUE(std::any_of(words.begin(), words.end(),
                                [&](const SurfaceKeywordWord& w) { return names_word(k, std::string(w.text), w.prefix); }))
            << "the surface type table of docs/guide.md lists '" << k << "', which the code does not know";
}

// Every command in the guide's code blocks that converts a bundled example.
struct ExampleRun {
    std::string input;
    std::string output;
    std::vector<std::string> switches;
};

std::vector<ExampleRun> guide_example_runs()
{
    std::vector<ExampleRun> runs;
    bool in_code = false;
    for (const std::string& line : guide_lines()) {
        if (line.starts_with("```")) {
            in_code = !in_code;
            continue;
        }
        const std::string text = trimmed(line);
        if (!(in_code || line.starts_with("    ")) || !text.starts_with("tessaloom object examples/"))
            continue;
        std::istringstream words(text);
        std::string program, mode;
        ExampleRun run;
        words >> program >> mode >> run.input >> run.output;
        for (std::string w; words >> w;)
            run.switches.push_back(w);
        runs.push_back(run);
    }
    return runs;
}

TEST(Guide, EveryExampleNamedConverts)
{
    const std::vector<ExampleRun> runs = guide_example_runs();
    ASSERT_GE(runs.size(), 5u);

    // Every example the text names has a command that converts it.
    static const std::regex named(R"(examples/[A-Za-z0-9_./-]+\.(objex|obj))");
    std::set<std::string> commanded;
    for (const ExampleRun& run : runs)
        commanded.insert(run.input);
    for (const std::string& line : guide_lines())
        for (std::sregex_iterator it(line.begin(), line.end(), named), end; it != end; ++it)
            EXPECT_TRUE(commanded.contains(it->str())) << it->str() << " is named but never converted in the guide";

    for (const ExampleRun& run : runs) {
        SCOPED_TRACE(run.input);
        ASSERT_TRUE(fs::exists(source_dir / run.input));
        TempDir dir;
        std::vector<std::string> args = {"object", (source_dir / run.input).string(), run.output};
        args.insert(args.end(), run.switches.begin(), run.switches.end());
        const ProcessResult r = run_tessaloom(args, dir.path());
        EXPECT_EQ(r.exit_code, 0) << r.err;
        // No warnings; a C array conversion ends with its success notice.
        const bool embed_c = std::find(run.switches.begin(), run.switches.end(), "-cz") != run.switches.end();
        EXPECT_EQ(r.err, embed_c ? "Information: Conversion successful!\n" : "");
        EXPECT_GT(fs::exists(dir / run.output) ? fs::file_size(dir / run.output) : 0, 0u);
        EXPECT_NE(r.out.find("ZOBJ compiled successfully!"), std::string::npos);
    }
}

}  // namespace
