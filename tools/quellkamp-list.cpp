// quellkamp-list: the viewer's lists on the command line, for scripts and
// exports.
//
//   quellkamp-list [--csv | --spreadsheet-csv] [--count]
//                  [--sort COLUMN | --find TEXT | --same-name TEXT]...
//                  [--groups | --folder-pairs] LOG
//   quellkamp-list --help | --version
//
// Loads LOG as the viewer does, runs the actions in order as the viewer's
// commands would, and prints the upper list (the records the find lets
// through, in the list's order) or, when the last action is --same-name, the
// lower list: one JSON object per line, CSV of the stored texts with --csv,
// or with --spreadsheet-csv the very bytes of the viewer's CSV export.
// --count prints the viewer's count label instead. With --groups or
// --folder-pairs, the overview's names with copies or folder pairs are
// printed instead (those the find lets through), or with --count their
// number. On a terminal, control
// characters from the log are shown as visible stand-ins.
#include "core/BlockLoading.h"
#include "core/DuplicateRecord.h"
#include "core/ExportFormats.h"
#include "core/LogLoading.h"
#include "core/Overview.h"
#include "core/RecordCommands.h"
#include "core/RecordTable.h"
#include "records/RecordList.h"
#include "text/FileLayer.h"
#include "text/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h> // after windows.h
#endif

namespace qk {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitCannotOpen = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: quellkamp-list [--csv | --spreadsheet-csv] [--count]\n"
    "                      [--sort COLUMN | --find TEXT | --same-name TEXT]...\n"
    "                      [--groups | --folder-pairs] LOG\n"
    "       quellkamp-list --help | --version\n"
    "  Prints the records as JSON Lines, or as CSV of the stored texts (--csv),\n"
    "  or as the viewer's CSV export byte for byte (--spreadsheet-csv: a UTF-8\n"
    "  byte-order mark, plain integer sizes, year-month-day dates, file names\n"
    "  without the blank after the extension, formula cells made text).\n"
    "  COLUMN: path, name, size, date, time, user (or Pfad, Name, Byte, Datum, Zeit, User)\n"
    "  --groups: one row per name with two or more records, most space to free\n"
    "    first: name; copies (its records); sizes (distinct byte counts among\n"
    "    them, 1 when all are alike); bytes (their sum); reclaimable (what\n"
    "    deleting all but one copy of each size frees); newest (the greatest\n"
    "    date and time of the copies).\n"
    "  --folder-pairs: one row per two folders a, b holding a record of one\n"
    "    name, most names shared first: shared (distinct names in both);\n"
    "    same_size (shared names of which both hold a copy of one size);\n"
    "    names_a, names_b (distinct names in each folder over the whole log:\n"
    "    shared = names_a means b holds every name of a); reclaimable (for each\n"
    "    same-size shared name, the largest size both hold). A name in more than\n"
    "    64 folders makes no pairs.\n"
    "  A find lists the rows of the names it lists a record of; the figures\n"
    "  are over the whole log. --count prints the number of rows.\n";

enum class ActionKind { Sort, Find, SameName };
// What is printed: the records, the names with copies or the folder pairs.
enum class Listing { Records, Groups, FolderPairs };
struct Action {
    ActionKind kind;
    RecordField field = RecordField::Path;
    Text text;
};

struct Options {
    ExportFormat format = ExportFormat::JsonLines;
    bool count = false;
    Listing listing = Listing::Records;
    std::vector<Action> actions;
    std::string log;
};

// A column by the lister's name for it or by the viewer's option text.
std::optional<RecordField> ColumnNamed(std::string_view name) {
    for (const RecordFieldSpec& column : kRecordFields)
        if (name == column.key || Text::FromUtf8(name) == column.heading) return column.field;
    return std::nullopt;
}

// Writes UTF-8 bytes to `stream`: unchanged to a file or pipe, so that the
// output is the same bytes on every system; to a terminal with its control
// characters made visible, so that a log cannot drive it; as whole Unicode
// text to a Windows console, which would show the bytes in its own code page.
bool Write(std::FILE* stream, std::string_view raw) {
    static const bool outTerminal = StandardStreamIsTerminal(false);
    static const bool errTerminal = StandardStreamIsTerminal(true);
    std::string shown;
    if (stream == stderr ? errTerminal : outTerminal) shown = ForTerminal(raw);
    const std::string_view bytes = shown.empty() ? raw : std::string_view(shown);
#if defined(_WIN32)
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        if (bytes.empty()) return true;
        const int length =
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), nullptr, 0);
        std::wstring units(std::size_t(std::max(length, 0)), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), units.data(), length);
        for (std::size_t done = 0; done < units.size();) {
            DWORD written = 0;
            const DWORD part = DWORD(std::min<std::size_t>(units.size() - done, 8192));
            if (!WriteConsoleW(handle, units.data() + done, part, &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        return true;
    }
#endif
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

int Usage(const char* problem) {
    Write(stderr, std::string("quellkamp-list: ") + problem + "\n" + kUsage);
    return kExitUsage;
}

// The usage or the version on standard output, for --help and --version.
int PrintInfo(const char* text) {
    if (!Write(stdout, text) || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n", std::strerror(errno));
        return kExitCannotOpen;
    }
    return kExitSuccess;
}

// Returns the exit status for bad arguments, or nothing when they are fine.
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
    bool onlyOperands = false;
    std::optional<ExportFormat> format;
    // One output format: a second, different one is an error of use.
    const auto choose = [&](ExportFormat chosen) {
        if (format && *format != chosen) return false;
        format = options.format = chosen;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!onlyOperands && arg == "--") {
            onlyOperands = true;
        } else if (!onlyOperands && (arg == "--csv" || arg == "--spreadsheet-csv")) {
            if (!choose(arg == "--csv" ? ExportFormat::Csv : ExportFormat::SpreadsheetCsv))
                return Usage("--csv and --spreadsheet-csv are two output formats; give one");
        } else if (!onlyOperands && arg == "--count") {
            options.count = true;
        } else if (!onlyOperands && (arg == "--groups" || arg == "--folder-pairs")) {
            const Listing listing = arg == "--groups" ? Listing::Groups : Listing::FolderPairs;
            if (options.listing != Listing::Records && options.listing != listing)
                return Usage("--groups and --folder-pairs cannot be given together");
            options.listing = listing;
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

// Why the log could not be read, from the error the system reported, in the
// same words on every system.
std::string FailureReason(FileError error) {
    switch (error) {
    case FileError::NotFound:
        return "No such file or directory";
    case FileError::NoPermission:
        return "Permission denied";
    case FileError::IsFolder:
        return "is a directory";
    case FileError::NotRegularFile:
        return "not a regular file";
    case FileError::InUse:
        return "in use by another program (try again when it is done)";
    case FileError::NoMemory:
        return "not enough memory";
    case FileError::NameTooLong:
        return "file name too long";
    case FileError::TooManyOpen:
        return "too many open files";
    case FileError::DeviceFailed:
        return "input/output error";
    case FileError::Changed:
        return "changed while it was read (try again)";
    case FileError::ReadFailed:
        return "reading failed before its end";
    default:
        return FileErrorText().ToUtf8();
    }
}

int CannotOpen(const std::string& path) {
    Write(stderr,
          "quellkamp-list: cannot open '" + path + "': " + FailureReason(LastFileError()) + "\n");
    return kExitCannotOpen;
}

// A log not read whole as it was: nothing of it is printed.
int CannotRead(const std::string& path, FileError reason) {
    Write(stderr, "quellkamp-list: cannot load '" + path + "': " + FailureReason(reason) + "\n");
    return kExitCannotOpen;
}

// A log that could not be held (or counted) whole: nothing of it is printed.
int NoMemory(const std::string& path) {
    std::fprintf(stderr, "quellkamp-list: cannot load '%s': not enough memory for the whole log\n",
                 path.c_str());
    return kExitCannotOpen;
}

int LoadFailure(LoadResult result, const std::string& path) {
    switch (result) {
    case LoadResult::OutOfMemory:
        return NoMemory(path);
    case LoadResult::Changed:
        return CannotRead(path, FileError::Changed);
    case LoadResult::ReadFailed:
        return CannotRead(path, FileError::ReadFailed);
    default:
        return CannotOpen(path);
    }
}

// Prints the records that `each` hands to its callback, in order.
template <typename Each> bool PrintRecords(ExportFormat format, Each each) {
    const bool written =
        WriteRecords(format, each, [](std::string_view bytes) { return Write(stdout, bytes); });
    return written && std::fflush(stdout) == 0;
}

// Output held back until the log is read whole, so that a log that turns
// out to have changed while it was read prints nothing; past kHeldBytes it
// goes out as it comes, and a change seen later ends the output early (the
// status then says so).
class HeldOutput {
  public:
    bool Write(std::string_view bytes) {
        if (!streaming_) {
            try {
                if (held_.size() + bytes.size() <= kHeldBytes) {
                    held_ += bytes;
                    return true;
                }
            } catch (const std::bad_alloc&) {
            }
            streaming_ = true;
            if (!Flush()) return false;
        }
        return qk::Write(stdout, bytes);
    }
    // Writes what was held back; false when that failed.
    bool Flush() {
        const bool written = held_.empty() || qk::Write(stdout, held_);
        held_ = {};
        return written;
    }

  private:
    static constexpr std::size_t kHeldBytes = std::size_t{16} << 20;
    std::string held_;
    bool streaming_ = false;
};

// Finds alone list the records in file order, the last find deciding (each
// find marks every record afresh, an empty one lists all): they are printed
// while the log is read, and no record is kept.
int PrintFound(const Options& options, const Text& log) {
    const Text findText = options.actions.empty() ? Text() : options.actions.back().text;
    bool written = true;
    HeldOutput output;
    const LoadResult printed = PrintLogRecords(
        log, findText.view(), options.format,
        [&output](std::string_view bytes) { return output.Write(bytes); }, written);
    if (printed == LoadResult::Loaded && written) written = output.Flush();
    if (!written || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n", std::strerror(errno));
        return kExitCannotOpen;
    }
    if (printed != LoadResult::Loaded) return LoadFailure(printed, options.log);
    return kExitSuccess;
}

int CannotWrite() {
    std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n", std::strerror(errno));
    return kExitCannotOpen;
}

// Writes the heading and the line of each of `rows`, in chunks of whole
// lines.
template <typename Heading, typename Line>
bool WriteRows(const std::vector<std::uint32_t>& rows, Heading heading, Line line) {
    constexpr std::size_t kChunk = 1 << 16;
    std::string out;
    heading(out);
    for (const std::uint32_t row : rows) {
        line(out, row);
        if (out.size() >= kChunk) {
            if (!Write(stdout, out)) return false;
            out.clear();
        }
    }
    return (out.empty() || Write(stdout, out)) && std::fflush(stdout) == 0;
}

// The names with copies or the folder pairs that the last find lets through
// (sorts and name matches change neither).
int PrintOverview(const Options& options, const Text& log) {
    if (const LoadResult loaded = ReadDuplicateLog(log, nullptr); loaded != LoadResult::Loaded)
        return LoadFailure(loaded, options.log);
    for (auto action = options.actions.rbegin(); action != options.actions.rend(); ++action) {
        if (action->kind != ActionKind::Find) continue;
        MarkRecordsByFindText(action->text);
        break;
    }
    Overview overview;
    const bool groups = options.listing == Listing::Groups;
    const std::vector<std::uint32_t>& ranks = NameRanks(AllRecords);
    if (ComputeOverview(AllRecords, ranks, overview,
                        groups ? OverviewParts::GroupsOnly : OverviewParts::GroupsAndPairs) !=
        OverviewResult::Done)
        return NoMemory(options.log);
    std::vector<std::uint32_t> rows;
    if (groups)
        ListedGroups(AllRecords, overview, rows);
    else
        ListedPairs(AllRecords, overview, rows);
    if (options.count) {
        const std::string text = std::to_string(rows.size()) + "\n";
        return Write(stdout, text) && std::fflush(stdout) == 0 ? kExitSuccess : CannotWrite();
    }
    const ExportFormat format = options.format;
    const bool written = groups
                             ? WriteRows(
                                   rows, [&](std::string& out) { AppendGroupHeading(out, format); },
                                   [&](std::string& out, std::uint32_t g) {
                                       AppendGroupLine(out, AllRecords, overview.groups[g], format);
                                   })
                             : WriteRows(
                                   rows, [&](std::string& out) { AppendPairHeading(out, format); },
                                   [&](std::string& out, std::uint32_t p) {
                                       AppendPairLine(out, AllRecords, overview.pairs[p], format);
                                   });
    return written ? kExitSuccess : CannotWrite();
}

int RunActions(int argc, char** argv) {
    Options options;
    if (const auto status = ParseArguments(argc, argv, options)) return *status;

    // By the bytes given: a name that is no UTF-8 opens all the same.
    const Text log = PathFromSystem(options.log);
    if (options.listing != Listing::Records) return PrintOverview(options, log);
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
        const LoadResult counted =
            CountDuplicateLog(log, found ? findText.view() : std::u16string_view(), listed, total);
        if (counted != LoadResult::Loaded) return LoadFailure(counted, options.log);
        const std::string text = CountLabelText(listed, total).ToUtf8() + "\n";
        if (!Write(stdout, text) || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n",
                         std::strerror(errno));
            return kExitCannotOpen;
        }
        return kExitSuccess;
    }

    if (!options.actions.empty() &&
        std::all_of(options.actions.begin(), options.actions.end(),
                    [](const Action& action) { return action.kind == ActionKind::Find; }))
        return PrintFound(options, log);

    if (const LoadResult loaded = ReadDuplicateLog(log, nullptr); loaded != LoadResult::Loaded)
        return LoadFailure(loaded, options.log);
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
        written = PrintRecords(options.format, [](auto print) {
            ResetCursor(NameMatches.list);
            while (NextRecord(NameMatches.list))
                print(*CurrentDuplicate(NameMatches));
        });
    } else {
        std::vector<std::uint32_t> rows;
        ListedRecords(AllRecords, rows);
        written = WriteTableRecords(AllRecords, rows, options.format,
                                    [](std::string_view bytes) { return Write(stdout, bytes); }) &&
                  std::fflush(stdout) == 0;
    }
    if (!written) {
        std::fprintf(stderr, "quellkamp-list: cannot write the output: %s\n", std::strerror(errno));
        return kExitCannotOpen;
    }
    return kExitSuccess;
}

// Memory that runs out after loading (a sort, the output) ends the run with
// a word, not with a crash.
int Run(int argc, char** argv) {
    try {
        return RunActions(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("quellkamp-list: not enough memory to finish\n", stderr);
        return kExitCannotOpen;
    }
}

} // namespace
} // namespace qk

#if defined(_WIN32)
// The arguments as the system has them, in UTF-16, turned into UTF-8 like
// the arguments on every other system; the output in binary mode, so that a
// line ends in a line feed alone.
int main() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return qk::kExitUsage;
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        const std::u16string_view units(reinterpret_cast<const char16_t*>(wide[i]),
                                        std::char_traits<wchar_t>::length(wide[i]));
        arguments.push_back(qk::SystemArgumentBytes(units));
    }
    LocalFree(wide);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return qk::Run(count, argv.data());
}
#else
int main(int argc, char** argv) {
    return qk::Run(argc, argv);
}
#endif
