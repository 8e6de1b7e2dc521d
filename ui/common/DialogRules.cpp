#include "ui/common/DialogRules.h"

#include "ui/Dialogs.h"

#include <algorithm>

namespace qk {

bool IsValidFileName(const Text& name) {
    if (name.empty()) return false;
    constexpr std::u16string_view kReserved = u"\"*/:<>?\\|";
    for (const char16_t unit : name)
        if ((unit >= 1 && unit <= 31) || kReserved.find(unit) != std::u16string_view::npos)
            return false;
    return true;
}

namespace ui {

namespace {

// The last name of a path with either kind of separator.
std::u16string_view LastName(std::u16string_view path) {
    return path.substr(path.find_last_of(u"\\/") + 1); // npos + 1 == 0
}

} // namespace

std::vector<FilterPair> FilterPairs(const Text& pattern) {
    std::vector<FilterPair> pairs;
    std::u16string_view rest = pattern.view();
    while (!rest.empty()) {
        const std::size_t bar = rest.find(u'|');
        FilterPair pair{Text(rest.substr(0, bar)), Text(), false};
        if (bar == std::u16string_view::npos) {
            rest = {};
        } else {
            rest.remove_prefix(bar + 1);
            const std::size_t next = rest.find(u'|');
            pair.patterns = Text(rest.substr(0, next));
            pair.hasPatterns = true;
            rest =
                next == std::u16string_view::npos ? std::u16string_view() : rest.substr(next + 1);
        }
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

std::u16string FilterList(const Text& pattern) {
    std::u16string list(pattern.view());
    std::replace(list.begin(), list.end(), u'|', u'\0');
    list.append(2, u'\0');
    return list;
}

InitialFile SplitDefaultFile(const Text& defaultFile) {
    InitialFile initial;
    const std::u16string_view units = defaultFile.view();
    const std::size_t cut = units.find_last_of(u"\\/");
    std::u16string_view name = units;
    if (cut != std::u16string_view::npos && cut > 0) {
        initial.folder = Text(units.substr(0, cut));
        name = units.substr(cut + 1);
    }
    name = name.substr(0, kInitialNameLimit);
    if (IsValidFileName(Text(name))) initial.name = Text(name);
    return initial;
}

Text PatternExtension(const Text& pattern, std::size_t pair) {
    const std::vector<FilterPair> pairs = FilterPairs(pattern);
    if (pair < 1 || pair > pairs.size() || !pairs[pair - 1].hasPatterns) return {};
    std::u16string_view first = pairs[pair - 1].patterns.view();
    first = first.substr(0, first.find(u';'));
    while (!first.empty() && first.back() == u' ')
        first.remove_suffix(1);
    while (!first.empty() && first.front() == u' ')
        first.remove_prefix(1);
    if (first.size() < 3 || first.substr(0, 2) != u"*." ||
        first.find_first_of(u"*?", 2) != std::u16string_view::npos)
        return {};
    return Text(first.substr(2));
}

Text WithPatternExtension(const Text& file, const Text& pattern, std::size_t pair) {
    const std::u16string_view name = LastName(file.view());
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos && dot > 0 && dot + 1 < name.size()) return file;
    const Text extension = PatternExtension(pattern, pair);
    if (extension.empty()) return file;
    std::u16string extended(file.view());
    if (!extended.empty() && extended.back() != u'.') extended += u'.';
    extended += extension.view();
    return Text(extended);
}

bool IsWildcardName(std::u16string_view typed) {
    return LastName(typed).find_first_of(u"*?") != std::u16string_view::npos;
}

} // namespace ui
} // namespace qk
