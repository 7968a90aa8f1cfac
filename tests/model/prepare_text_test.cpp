#include <gtest/gtest.h>

#include <random>

#include "model/prepare_text.h"

namespace {

using namespace std::string_literals;

TEST(PrepareText, GivesTheCleanedBytes)
{
    // Input, whether all steps run, output.
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"v\t1  \r\n\r\nv 2\r\n", true, "v 1\0v 2\0"s},               // blank runs keep their last byte
        {"v 1 2 3\n   g arm\n", true, "v 1 2 3 g arm\0"s},              // leading blanks join the line before
        {"mtllib a//b\\\\c\\/d.mtl", true, "mtllib a/b/c//d.mtl"},    // slash runs shrink, then '\\' is '/'
        {"f 1//2 3\\\\4\nfx//", true, "f 1//2 3//4\0fx//"s},            // face lines keep their runs
        {"v 1\n f 1//2", true, "v 1 f 1/2"},                             // a joined face line is no face line
        {"v 1 # note\n#all\ng a#b", true, "v 1 \0\0\0\0\0\0\0\0\0\0\0\0g a\0\0"s},
        {"mtllib a#1.mtl\nmap_Kd t#.png\nskeleton s#\nanimations x#\nusemtl m#", true,
         "mtllib a#1.mtl\0map_Kd t#.png\0skeleton s#\0animations x#\0usemtl m\0"s},  // file names keep '#'
        {"a  b\\\\c\r\n\tx#y\n", false, "a  b\\\\c\0\0\tx\0\0\0"s}};  // line ends and comments only
    for (const auto& [in, all_steps, out] : cases) {
        std::string text = in;
        prepare_text(text, all_steps);
        EXPECT_EQ(text, out) << testing::PrintToString(in);
    }
}

// Each cleaned line is given the file line it starts on, whatever the line
// ends (LF, CR LF, a lone CR, NUL), empty lines, joined lines and comments
// did to the numbering.
TEST(PrepareText, NamesTheFileLineOfEveryCleanedLine)
{
    const std::pair<std::string, std::vector<std::pair<std::string, uint32_t>>> cases[] = {
        {"v 1\r\n\r\n  \nv 2\n  3\n#c\nf 1 2 3\rg x",
         {{"v 1", 1}, {"v 2 3", 4}, {"f 1 2 3", 7}, {"g x", 8}}},
        {"\n\nv 1\0v 2\nv 3\n"s, {{"v 1", 3}, {"v 2", 3}, {"v 3", 4}}},
        {"v 1 # a\nv 2\n\n\r\r\nv 3", {{"v 1 ", 1}, {"v 2", 2}, {"v 3", 6}}},
    };
    for (const auto& [in, expected] : cases) {
        std::string text = in;
        LineNumbers starts;
        prepare_text(text, true, &starts);
        std::vector<std::pair<std::string, uint32_t>> lines;
        for_each_line(text, [&](const char* line, size_t length) {
            lines.emplace_back(std::string(line, length),
                               line_number_at(starts, static_cast<size_t>(line - text.c_str())));
        });
        EXPECT_EQ(lines, expected) << testing::PrintToString(in);
    }
}

// The steps exactly as described, one pass each, to compare the fused pass with.
std::string reference_clean(std::string t, bool all_steps)
{
    auto blank = [](char c) { return c >= 1 && c <= 32; };
    if (all_steps) {
        std::string s1;
        for (size_t i = 0; i < t.size(); ++i)
            if (!(blank(t[i]) && i + 1 < t.size() && blank(t[i + 1])))
                s1 += t[i];
        std::string s2;
        bool face = false;
        for (size_t i = 0; i < s1.size(); ++i) {
            if (i == 0 || s1[i - 1] == '\n' || s1[i - 1] == '\r')
                face = s1[i] == 'f';
            const bool slash = s1[i] == '/' || s1[i] == '\\';
            if (!(slash && !face && i > 0 && s1[i - 1] == s1[i]))
                s2 += s1[i];
        }
        t = s2;
        for (char& c : t)
            c = c == '\t' ? ' ' : c == '\\' ? '/' : c;
    }
    for (char& c : t)
        if (c == '\r' || c == '\n')
            c = '\0';
    for (size_t start = 0; start < t.size();) {
        size_t end = t.find('\0', start);
        end = end == std::string::npos ? t.size() : end;
        const std::string line = t.substr(start, end - start);
        const bool keep = line.rfind("animations", 0) == 0 || line.rfind("skeleton", 0) == 0 ||
                          line.rfind("mtllib", 0) == 0 || line.rfind("map_Kd", 0) == 0;
        const size_t hash = line.find('#');
        if (!keep && hash != std::string::npos)
            std::fill(t.begin() + static_cast<long>(start + hash), t.begin() + static_cast<long>(end), '\0');
        start = end + 1;
    }
    return t;
}

TEST(PrepareText, MatchesTheStepsOneByOneOnRandomText)
{
    // Long pieces let runs cross the 16-byte blocks of the fast scan.
    const std::vector<std::string> pieces = {"f", "v 1", "g", "mtllib ", "map_Kd ", "skeleton", "animations",
                                             "#", "/", "//", "\\", "\\\\", " ", "  ", "\t", "\r\n", "\n",
                                             "\r", "\v", "\0"s, "x", "\xe9", "v 0.0625 -1.5 24.75",
                                             "f 12/7/3 4/15/9 6/2/11"};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 24);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % pieces.size()];
        for (bool all_steps : {true, false}) {
            std::string cleaned = text;
            prepare_text(cleaned, all_steps);
            ASSERT_EQ(cleaned, reference_clean(text, all_steps)) << testing::PrintToString(text);
        }
    }
}

}  // namespace

TEST(PrepareText, LineNumbersFollowTheFileThroughTheCleanUp)
{
    // Text, whether all steps run, the file line of each line the readers see.
    const std::tuple<std::string, bool, std::vector<uint32_t>> cases[] = {
        {"v 1\nv 2\nv 3", true, {1, 2, 3}},
        {"\r\n\r\nv 1\r\n   \r\nv\t2 # note\r\n#all\r\ng a\r\n", true, {3, 5, 7}},  // CR LF, empty lines, comments
        {"v 1\n   2\nv 3\n", true, {1, 3}},  // a joined line keeps the number of its start
        {"v 1\rv 2\r\rv 3", true, {1, 2, 4}},  // lone carriage returns end lines too
        {"a\r\nb\n\nc", false, {1, 2, 4}},
    };
    for (const auto& [in, all_steps, expected] : cases) {
        std::string text = in;
        LineNumbers lines;
        prepare_text(text, all_steps, &lines);
        std::vector<uint32_t> seen;
        for_each_line(text, [&](const char* line, size_t) {
            seen.push_back(line_number_at(lines, static_cast<size_t>(line - text.c_str())));
        });
        EXPECT_EQ(seen, expected) << testing::PrintToString(in);
        // The numbers change nothing of the text.
        std::string plain = in;
        prepare_text(plain, all_steps);
        EXPECT_EQ(text, plain);
    }
}

// The one-pass walk gives the same lines, with the same file lines, as the
// clean-up followed by the line walk, and each line stays in the text.
TEST(CleanLines, MatchTheCleanUpAndLineWalkOnRandomText)
{
    const std::vector<std::string> pieces = {"f", "v 1", "g", "mtllib ", "map_Kd ", "skeleton", "animations",
                                             "#", "/", "//", "\\", "\\\\", " ", "  ", "\t", "\r\n", "\n",
                                             "\r", "\v", std::string(1, '\0'), "x", "\xe9", "v 0.0625 -1.5 24.75",
                                             "f 12/7/3 4/15/9 6/2/11"};
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 24);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % pieces.size()];

        std::string prepared = text;
        LineNumbers numbers;
        prepare_text(prepared, true, &numbers);
        std::vector<std::pair<std::string, uint32_t>> expected;
        for_each_line(prepared, [&](const char* line, size_t length) {
            expected.emplace_back(std::string(line, length),
                                  line_number_at(numbers, static_cast<size_t>(line - prepared.c_str())));
        });

        std::string walked = text;
        LineCleaner cleaner = start_cleaning(walked);
        std::vector<CleanLine> lines;
        CleanLine line;
        while (next_clean_line(cleaner, line))
            lines.push_back(line);
        std::vector<std::pair<std::string, uint32_t>> seen;
        for (const CleanLine& l : lines) {
            ASSERT_EQ(l.text[l.length], '\0');
            seen.emplace_back(std::string(l.text, l.length), l.file_line);
        }
        ASSERT_EQ(seen, expected) << testing::PrintToString(text);
    }
}
