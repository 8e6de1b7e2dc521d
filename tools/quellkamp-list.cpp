// quellkamp-list: the viewer's lists on the command line, for scripts and
// exports.
//
//   quellkamp-list [--csv] [--count] [--sort COLUMN | --find TEXT | --same-name TEXT]... LOG
//   quellkamp-list --help | --version
//
// Loads LOG as the viewer does, runs the actions in order as the viewer's
// commands would, and prints the upper list (the records the find lets
// through, in the list's order) or, when the last action is --same-name, the
// lower list: one JSON object per line, or CSV with --csv. --count prints the
// viewer's count label instead.
#include "core/DuplicateRecord.h"
#include "core/LogLoading.h"
#include "core/RecordCommands.h"
#include "records/RecordList.h"
#include "text/Text.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace qk {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitCannotOpen = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: quellkamp-list [--csv] [--count] [--sort COLUMN | --find TEXT | --same-name TEXT]... "
    "LOG\n"
    "       quellkamp-list --help | --version\n"
    "  COLUMN: path, name, size, date, time, user (or Pfad, Name, Byte, Datum, Zeit, User)\n";

enum class ActionKind { Sort, Find, SameName };
struct Action {
    ActionKind kind;
    RecordField field = RecordField::Path;
    Text text;
};

struct Options {
    bool csv = false;
    bool count = false;
    std::vector<Action> actions;
    std::string log;
};

// A column by the lister's name for it or by the viewer's option text.
std::optional<RecordField> ColumnNamed(std::string_view name) {
    for (const RecordFieldSpec& column : kRecordFields)
        if (name == column.key || Text::FromUtf8(name) == column.heading) return column.field;
    return std::nullopt;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "quellkamp-list: %s\n%s", problem, kUsage);
    return kExitUsage;
}

// The usage or the version on standard output, for --help and --version.
int PrintInfo(const char* text) {
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n", std::strerror(errno));
        return kExitCannotOpen;
    }
    return kExitSuccess;
}

// Returns the exit status for bad arguments, or nothing when they are fine.
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
    bool onlyOperands = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!onlyOperands && arg == "--") {
            onlyOperands = true;
        } else if (!onlyOperands && arg == "--csv") {
            options.csv = true;
        } else if (!onlyOperands && arg == "--count") {
            options.count = true;
        } else if (!onlyOperands && (arg == "--help" || arg == "-h")) {
            return PrintInfo(kUsage);
        } else if (!onlyOperands && arg == "--version") {
            return PrintInfo("quellkamp-list " QK_VERSION "\n");
        } else if (!onlyOperands && (arg == "--sort" || arg == "--find" || arg == "--same-name")) {
            if (i + 1 >= argc) return Usage(("missing value after " + std::string(arg)).c_str());
            const std::string_view value = argv[++i];
            if (arg == "--sort") {
                const auto field = ColumnNamed(value);
                if (!field) return Usage(("unknown column '" + std::string(value) + "'").c_str());
                options.actions.push_back({ActionKind::Sort, *field, Text()});
            } else {
                options.actions.push_back(
                    {arg == "--find" ? ActionKind::Find : ActionKind::SameName, RecordField::Path,
                     Text::FromUtf8(value)});
            }
        } else if (!onlyOperands && arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option '" + std::string(arg) + "'").c_str());
        } else if (options.log.empty() && !arg.empty()) {
            options.log = arg;
        } else {
            return Usage(arg.empty() ? "empty LOG path" : "more than one LOG given");
        }
    }
    if (options.log.empty()) return Usage("no LOG given");
    return std::nullopt;
}

// Why a log could not be opened, in a few words.
std::string OpenFailureReason(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return std::strerror(errno);
    if (S_ISDIR(status.st_mode)) return "is a directory";
    if (!S_ISREG(status.st_mode)) return "not a regular file";
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return "in use by another program";
    }
    return std::strerror(errno);
}

int CannotOpen(const std::string& path) {
    std::fprintf(stderr, "quellkamp-list: cannot open '%s': %s\n", path.c_str(),
                 OpenFailureReason(path).c_str());
    return kExitCannotOpen;
}

void AppendJsonString(std::string& out, const Text& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    std::string utf8 = text.ToUtf8();
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\u00";
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 0xF]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

void AppendCsvField(std::string& out, const Text& text) {
    const std::string utf8 = text.ToUtf8();
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
        out += utf8;
        return;
    }
    out.push_back('"');
    for (const char c : utf8) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendRecordLine(std::string& out, const DuplicateRecord& record, bool csv) {
    if (csv) {
        for (const RecordFieldSpec& column : kRecordFields) {
            if (column.field != RecordField::Path) out.push_back(',');
            AppendCsvField(out, record.*column.member);
        }
        out += "\r\n";
        return;
    }
    out.push_back('{');
    for (const RecordFieldSpec& column : kRecordFields) {
        if (column.field != RecordField::Path) out.push_back(',');
        out.push_back('"');
        out += column.key;
        out += "\":";
        AppendJsonString(out, record.*column.member);
    }
    out += "}\n";
}

bool Flush(std::string& out) {
    const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
    out.clear();
    return written;
}

// Prints the records of `list` that pass `include`.
template <typename Include> bool PrintList(ListVariable& list, bool csv, Include include) {
    constexpr std::size_t kChunk = 1 << 16;
    std::string out;
    if (csv) {
        for (const RecordFieldSpec& column : kRecordFields) {
            if (column.field != RecordField::Path) out.push_back(',');
            out += Text(column.heading).ToUtf8();
        }
        out += "\r\n";
    }
    ResetCursor(list.list);
    while (NextRecord(list.list)) {
        const DuplicateRecord& record = *CurrentDuplicate(list);
        if (!include(record)) continue;
        AppendRecordLine(out, record, csv);
        if (out.size() >= kChunk && !Flush(out)) return false;
    }
    return Flush(out) && std::fflush(stdout) == 0;
}

int Run(int argc, char** argv) {
    Options options;
    if (const auto status = ParseArguments(argc, argv, options)) return *status;

    const Text log = Text::FromUtf8(options.log);
    if (options.count) {
        // Only the last find decides the count; sorts and name matches leave
        // it alone. Counting needs no records to be kept.
        Text findText;
        bool found = false;
        for (const Action& action : options.actions) {
            if (action.kind == ActionKind::Find) {
                findText = action.text;
                found = true;
            }
        }
        std::int64_t listed = 0, total = 0;
        if (!CountDuplicateLog(log, found ? findText.view() : std::u16string_view(), listed,
                               total)) {
            return CannotOpen(options.log);
        }
        const std::string text = CountLabelText(listed, total).ToUtf8() + "\n";
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n",
                         std::strerror(errno));
            return kExitCannotOpen;
        }
        return kExitSuccess;
    }

    if (!ReadDuplicateLog(log)) return CannotOpen(options.log);
    for (const Action& action : options.actions) {
        switch (action.kind) {
        case ActionKind::Sort:
            SortAllRecords(action.field);
            break;
        case ActionKind::Find:
            ClearRecords(NameMatches.list);
            MarkRecordsByFindText(action.text);
            break;
        case ActionKind::SameName:
            CollectNameMatches(action.text);
            break;
        }
    }

    bool written;
    if (!options.actions.empty() && options.actions.back().kind == ActionKind::SameName) {
        written = PrintList(NameMatches, options.csv, [](const DuplicateRecord&) { return true; });
    } else {
        written = PrintList(AllRecords, options.csv, IsShown);
    }
    if (!written) {
        std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n", std::strerror(errno));
        return kExitCannotOpen;
    }
    return kExitSuccess;
}

} // namespace
} // namespace qk

int main(int argc, char** argv) {
    return qk::Run(argc, argv);
}
