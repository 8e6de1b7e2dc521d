// The rules of the file dialogs, without a display: one table per rule.
#include "ui/Dialogs.h"
#include "ui/common/DialogRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qk::ui {
namespace {

TEST(DialogRules, ValidFileNames) {
    const struct {
        std::u16string name;
        bool valid;
    } cases[] = {
        {u"dubletten.txt", true},
        {u"Sätze & mehr (1).txt", true},
        {u" ", true},
        {u"a\x7f", true},
        {u"a\x20ac.+", true},
        {u"", false},
        {u"a\"b", false},
        {u"*.txt", false},
        {u"a/b", false},
        {u"a:b", false},
        {u"a<b", false},
        {u"a>b", false},
        {u"a?", false},
        {u"a\\b", false},
        {u"a|b", false},
        {u"a\x01", false},
        {u"a\x1f", false},
        {u"\t", false},
        {std::u16string(u"a\0b", 3), true}, // a zero ends nothing here: only 1 to 31 count
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidFileName(Text(c.name)), c.valid)
            << std::string(c.name.begin(), c.name.end());
}

TEST(DialogRules, FilterPairsAndTheFilterList) {
    const struct {
        const char16_t* pattern;
        std::vector<std::pair<std::u16string, std::u16string>> pairs; // display, patterns
        std::vector<bool> hasPatterns;
    } cases[] = {
        // The program's call: one display text and no file pattern.
        {u"*.txt", {{u"*.txt", u""}}, {false}},
        {u"", {}, {}},
        {u"Texte|*.txt;*.log", {{u"Texte", u"*.txt;*.log"}}, {true}},
        {u"A|*.a|B|*.b|C", {{u"A", u"*.a"}, {u"B", u"*.b"}, {u"C", u""}}, {true, true, false}},
        {u"A|", {{u"A", u""}}, {true}},
        {u"|*.a", {{u"", u"*.a"}}, {true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            std::string(c.pattern, c.pattern + std::char_traits<char16_t>::length(c.pattern)));
        const std::vector<FilterPair> pairs = FilterPairs(Text(c.pattern));
        ASSERT_EQ(pairs.size(), c.pairs.size());
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            EXPECT_EQ(pairs[i].display, Text(c.pairs[i].first)) << i;
            EXPECT_EQ(pairs[i].patterns, Text(c.pairs[i].second)) << i;
            EXPECT_EQ(pairs[i].hasPatterns, c.hasPatterns[i]) << i;
        }
    }
    const struct {
        const char16_t* pattern;
        std::u16string list;
    } lists[] = {
        {u"*.txt", std::u16string(u"*.txt\0\0", 7)},
        {u"", std::u16string(u"\0\0", 2)},
        {u"A|*.a|B|*.b", std::u16string(u"A\0*.a\0B\0*.b\0\0", 13)},
    };
    for (const auto& l : lists)
        EXPECT_EQ(FilterList(Text(l.pattern)), l.list);
}

// The initial folder and name: cut at the last separator of either kind
// unless it is the first character; a name that is no valid file name, or
// only a folder, leaves the name field empty.
TEST(DialogRules, SplitOfTheDefaultFile) {
    const std::u16string longName(300, u'n');
    const struct {
        std::u16string defaultFile, folder, name;
    } cases[] = {
        {u"*.txt", u"", u""},
        {u"dubletten.txt", u"", u"dubletten.txt"},
        {u"C:\\logs\\dubletten.txt", u"C:\\logs", u"dubletten.txt"},
        {u"/home/u/logs/dubletten.txt", u"/home/u/logs", u"dubletten.txt"},
        {u"C:\\logs/mixed\\a.txt", u"C:\\logs/mixed", u"a.txt"},
        {u"C:\\logs\\*.txt", u"C:\\logs", u""},
        {u"C:\\logs\\", u"C:\\logs", u""},
        {u"\\a.txt", u"", u""}, // the only separator first: the whole is the name, invalid
        {u"/a.txt", u"", u""},
        {u"", u"", u""},
        {u"C:\\" + longName, u"C:", longName.substr(0, kInitialNameLimit)},
    };
    for (const auto& c : cases) {
        const InitialFile initial = SplitDefaultFile(Text(c.defaultFile));
        const std::string label(c.defaultFile.begin(), c.defaultFile.end());
        EXPECT_EQ(initial.folder, Text(c.folder)) << label;
        EXPECT_EQ(initial.name, Text(c.name)) << label;
    }
}

// The save dialog gives a name without an extension that of the chosen pair.
TEST(DialogRules, SaveDialogExtension) {
    constexpr char16_t kExport[] = u"CSV (*.csv)|*.csv|JSON Lines (*.jsonl)|*.jsonl";
    const struct {
        const char16_t* file;
        const char16_t* pattern;
        std::size_t pair;
        const char16_t* saved;
    } cases[] = {
        {u"C:\\out\\liste", kExport, 1, u"C:\\out\\liste.csv"},
        {u"/out/liste", kExport, 2, u"/out/liste.jsonl"},
        {u"liste.txt", kExport, 1, u"liste.txt"},
        {u"liste.", kExport, 1, u"liste.csv"},
        {u".profil", kExport, 1, u".profil.csv"},
        {u"a.b\\liste", kExport, 1, u"a.b\\liste.csv"},
        {u"liste", kExport, 0, u"liste"},
        {u"liste", kExport, 3, u"liste"},
        {u"liste", u"Alle|*", 1, u"liste"},
        {u"liste", u"Alle|*.*", 1, u"liste"},
        {u"liste", u"C|*.c?", 1, u"liste"},
        {u"liste", u"T| *.txt ;*.log", 1, u"liste.txt"},
        {u"liste", u"*.txt", 1, u"liste"}, // no pattern at all
    };
    for (const auto& c : cases) {
        const std::u16string file(c.file);
        EXPECT_EQ(WithPatternExtension(Text(c.file), Text(c.pattern), c.pair), Text(c.saved))
            << std::string(file.begin(), file.end()) << " " << c.pair;
    }
}

// A name typed into a file dialog that lists files instead of choosing one.
TEST(DialogRules, TypedWildcards) {
    const struct {
        std::u16string typed;
        bool wildcard;
    } cases[] = {
        {u"*", true},
        {u"*.log", true},
        {u"a?.txt", true},
        {u"logs/*.txt", true},
        {u"C:\\logs\\*", true},
        {u"*.txt;*.log", true},
        {u"a.log", false},
        {u"", false},
        {u"C:\\a*b\\x.log", false},
        {u"dir?/a.txt", false},
        {u"/home/u/a.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsWildcardName(c.typed), c.wildcard)
            << std::string(c.typed.begin(), c.typed.end());
}

} // namespace
} // namespace qk::ui
