// quellkamp-list end to end: small logs in, whole outputs compared.
#include "tests/tools/ListerProcess.h"

#include <gtest/gtest.h>

#include <unistd.h> // getpid

#if !defined(_WIN32)
#include <pty.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace lister = qk::lister;

class QuellkampList : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quellkamp-list-test-" + std::to_string(getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        log_ = (dir_ / "dubletten.txt").string();
        std::ofstream(log_, std::ios::binary)
            << "Doppelte Dateien im Archiv\r\n"
               "D:\\A\\halter.par   1.234,5KB  16.09.2018 07:36 cad01\r\n"
               "E:\\Werk\\baugruppe.asm 12MB 01.02.2017 13:05 cad02\r\n"
               "D:\\B\\halter.par 999 01.01.2019 08:00 \"quote\"\r\n"
               "D:\\C\\Halter.par 5 02.01.2019 09:00 x,y\r\n"
               "Summe: 4 Dateien\r\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    lister::Result Run(const std::vector<std::string>& args) {
        return lister::RunLister(dir_, args);
    }

    fs::path dir_;
    std::string log_;
};

const std::string kHalterA =
    R"({"path":"D:\\A\\","name":"halter.par ","size":"    1.263.616","date":"2018.09.16","time":"07:36","user":"cad01"})"
    "\n";
const std::string kBaugruppe =
    R"({"path":"E:\\Werk\\","name":"baugruppe.asm ","size":"   12.582.912","date":"2017.02.01","time":"13:05","user":"cad02"})"
    "\n";
const std::string kHalterB =
    R"({"path":"D:\\B\\","name":"halter.par ","size":"          999","date":"2019.01.01","time":"08:00","user":"\"quote\""})"
    "\n";
const std::string kHalterC =
    R"({"path":"D:\\C\\","name":"Halter.par ","size":"            5","date":"2019.01.02","time":"09:00","user":"x,y"})"
    "\n";

struct OutputCase {
    const char* label;
    std::vector<std::string> actions;
    std::string expected;
};

TEST_F(QuellkampList, PrintsWhatTheViewerWouldList) {
    const OutputCase cases[] = {
        {"file order", {}, kHalterA + kBaugruppe + kHalterB + kHalterC},
        {"count at start", {"--count"}, "4/4\n"},
        {"find is case-sensitive", {"--find", "halter"}, kHalterA + kHalterB},
        {"count after a find", {"--count", "--find", "halter"}, "2/4\n"},
        {"find in the stored date form", {"--find", "2019.01"}, kHalterB + kHalterC},
        {"find in the log's date form", {"--find", "01.01.2019"}, ""},
        {"find in the grouped size", {"--find", "1.263"}, kHalterA},
        {"sort by size orders by value",
         {"--sort", "size"},
         kHalterC + kHalterB + kHalterA + kBaugruppe},
        {"option text as column", {"--sort", "Byte"}, kHalterC + kHalterB + kHalterA + kBaugruppe},
        {"sort keeps the find", {"--find", "halter", "--sort", "Datum"}, kHalterA + kHalterB},
        {"sorts combine stably",
         {"--sort", "user", "--sort", "name"},
         kHalterC + kBaugruppe + kHalterB + kHalterA},
        {"count after a sort", {"--find", "a", "--sort", "path", "--count"}, "4/4\n"},
        {"same name lists hidden records too",
         {"--find", "999", "--same-name", "halter.par "},
         kHalterA + kHalterB},
        {"same name needs the character after the extension", {"--same-name", "halter.par"}, ""},
        {"a find after same-name lists the upper list",
         {"--same-name", "halter.par ", "--find", "x"},
         kHalterC},
        {"same name follows the sorted order",
         {"--sort", "date", "--same-name", "halter.par "},
         kHalterA + kHalterB},
        {"an empty find lists everything again",
         {"--find", "zzz", "--find", ""},
         kHalterA + kBaugruppe + kHalterB + kHalterC},
        {"count after an empty find", {"--find", "zzz", "--find", "", "--count"}, "4/4\n"},
        {"count after a find of nothing", {"--find", "zzz", "--count"}, "0/4\n"},
        {"csv",
         {"--csv", "--find", "D:"},
         "Pfad,Name,Byte,Datum,Zeit,User\r\n"
         "D:\\A\\,halter.par ,    1.263.616,2018.09.16,07:36,cad01\r\n"
         "D:\\B\\,halter.par ,          999,2019.01.01,08:00,\"\"\"quote\"\"\"\r\n"
         "D:\\C\\,Halter.par ,            5,2019.01.02,09:00,\"x,y\"\r\n"},
    };
    for (const OutputCase& c : cases) {
        std::vector<std::string> args = c.actions;
        args.push_back(log_);
        const lister::Result result = Run(args);
        EXPECT_EQ(result.status, 0) << c.label << ": " << result.err;
        EXPECT_EQ(result.out, c.expected) << c.label;
        EXPECT_EQ(result.err, "") << c.label;
    }
}

TEST_F(QuellkampList, EscapesControlCharactersAndKeepsUmlauts) {
    std::ofstream(log_, std::ios::binary)
        << "D:\\Geh\xC3\xA4use\\a.par\x01 5 01.02.2003 t j\xC3\xB6rg\x7F\n";
    const lister::Result result = Run({log_});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(
        result.out,
        R"({"path":"D:\\Geh)"
        "\xC3\xA4"
        R"(use\\","name":"a.par\u0001","size":"            5","date":"2003.02.01","time":"t","user":"j)"
        "\xC3\xB6"
        R"(rg\u007f"})"
        "\n");
}

// A find text decodes by the same rules as the log, so malformed bytes on the
// command line find the same bytes in a log line.
TEST_F(QuellkampList, FindWithMalformedBytesFindsTheSameBytesInTheLog) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows hands arguments over as UTF-16, which cannot carry malformed bytes";
#endif
    std::ofstream(log_, std::ios::binary | std::ios::trunc)
        << "D:\\a\\x\xFFy.par 5 01.02.2003 10:00 u\n"
           "D:\\a\\z\xC0\xAFw.par 6 01.02.2003 10:00 u\n"
           "D:\\a\\plain.par 7 01.02.2003 10:00 u\n";
    const std::vector<OutputCase> cases = {
        {"0xFF within a name", {"--find", "x\xFFy"}, "1/3\n"},
        {"0xFF alone", {"--find", "\xFF"}, "1/3\n"},
        {"0xC0 0xAF within a name", {"--find", "z\xC0\xAFw"}, "1/3\n"},
        {"0xC0 0xAF alone", {"--find", "\xC0\xAF"}, "1/3\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--count"};
        args.insert(args.end(), c.actions.begin(), c.actions.end());
        args.push_back(log_);
        const lister::Result result = Run(args);
        EXPECT_EQ(result.status, 0) << c.label << ": " << result.err;
        EXPECT_EQ(result.out, c.expected) << c.label;
    }
}

TEST_F(QuellkampList, EmptyAndHeaderOnlyLogsListNothing) {
    for (const char* content : {"", "Doppelte Dateien\r\n", "\r\n\r\n"}) {
        std::ofstream(log_, std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(Run({"--count", log_}).out, "0/0\n");
        const lister::Result result = Run({"--csv", log_});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "Pfad,Name,Byte,Datum,Zeit,User\r\n");
    }
}

TEST_F(QuellkampList, BadArgumentsGiveUsageAndStatusTwo) {
    const std::vector<std::string> cases[] = {
        {},
        {"--sort", "bogus", log_},
        {"--sort"},
        {"--find"},
        {"--frobnicate", log_},
        {log_, log_},
        {"--csv", "--spreadsheet-csv", log_},
        {"--spreadsheet-csv", "--count", "--csv", log_},
        {"--groups", "--folder-pairs", log_},
    };
    for (const auto& args : cases) {
        const lister::Result result = Run(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_NE(result.err.find("usage: quellkamp-list"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(QuellkampList, HelpAndVersionWinOverEverythingElse) {
    const std::string usage = "usage: quellkamp-list";
    const std::string version = "quellkamp-list " QK_VERSION "\n";
    const OutputCase cases[] = {
        {"version alone", {"--version"}, version},
        {"version with a log and actions", {"--csv", "--version", "--find", "x", log_}, version},
        {"version before a bad option", {"--version", "--frobnicate"}, version},
        {"help", {"--help"}, usage},
        {"short help", {"-h", log_}, usage},
    };
    for (const OutputCase& c : cases) {
        const lister::Result result = Run(c.actions);
        EXPECT_EQ(result.status, 0) << c.label;
        // The version is one whole line; the usage only starts as expected.
        const bool whole = c.expected == version;
        EXPECT_EQ(whole ? result.out : result.out.substr(0, c.expected.size()), c.expected)
            << c.label;
        EXPECT_EQ(result.err, "") << c.label;
    }
    // After "--" it is a log's name like any other.
    EXPECT_EQ(Run({"--", "--version"}).status, 1);
}

TEST_F(QuellkampList, UnopenableLogGivesStatusOneNamingTheFile) {
    const std::string missing = (dir_ / "fehlt.txt").string();
    const std::string cases[] = {missing, dir_.string()};
    for (const std::string& path : cases) {
        const lister::Result result = Run({path});
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_NE(result.err.find(path), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

// A log is opened by the bytes its name has, UTF-8 or not; a failure is
// told as the open itself failed.
TEST_F(QuellkampList, LogNamesThatAreNoUtf8) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows names are UTF-16";
#else
    const struct {
        const char* name;
        bool exists;
        std::string out, err;
    } cases[] = {
        {"latin\xE4.txt", true, "4/4\n", ""},
        {"\xFF\xFE", true, "4/4\n", ""},
        {"\xEF\xBF\xBD.txt", true, "4/4\n", ""}, // a real U+FFFD
        {"latin\xF6.txt", false, "", "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir_ / c.name).string();
        if (c.exists) fs::copy_file(log_, path, fs::copy_options::overwrite_existing);
        const lister::Result result = Run({"--count", path});
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.status, c.exists ? 0 : 1);
        EXPECT_EQ(result.err,
                  c.exists ? "" : "quellkamp-list: cannot open '" + path + "': " + c.err + "\n");
    }
#endif
}

// The spreadsheet CSV against the stored forms of --csv, line by line: the
// viewer's export writes these very bytes.
TEST_F(QuellkampList, SpreadsheetCsvComputesAndNeverRunsACell) {
    const struct {
        const char* line;
        const char* spreadsheet; // after the byte-order mark and the heading
        const char* stored;      // --csv
    } cases[] = {
        {"D:\\A\\halter.par   1.234,5KB  16.09.2018 07:36 cad01",
         "D:\\A\\,halter.par,1263616,2018-09-16,07:36,cad01",
         "D:\\A\\,halter.par ,    1.263.616,2018.09.16,07:36,cad01"},
        {"=1+1\\x.par 5 1.2.2019 08:00 @SUM(A1)",
         "\"'=1+1\\\",x.par,5,2019-02-01,08:00,\"'@SUM(A1)\"",
         "=1+1\\,x.par ,            5,2019.2.1,08:00,@SUM(A1)"},
        {"=HYPERLINK(\"http://h/\"&A1)\\y.asm 1 01.01.2019 a b",
         "\"'=HYPERLINK(\"\"http://h/\"\"&A1)\\\",y.asm,1,2019-01-01,a,b",
         "\"=HYPERLINK(\"\"http://h/\"\"&A1)\\\",y.asm ,            1,2019.01.01,a,b"},
        {"D:\\+a\\-b.dft 12345678901 16.09.18 -1 +x",
         "D:\\+a\\,\"'-b.dft\",12345678901,18.09.16,-1,\"'+x\"",
         "D:\\+a\\,-b.dft ,12.345.678.901,18.09.16,-1,+x"},
        {"D:\\t.psm 5 32.13.2019 08:00 \tb", "D:\\,t.psm,5,2019.13.32,08:00,\"'\tb\"",
         "D:\\,t.psm ,            5,2019.13.32,08:00,\tb"},
        {"D:\\e.asm", "D:\\,e.asm,0,..,,", "D:\\,e.asm,            0,..,,"},
        {" =1+1\\g5.par 5 1.2.2019 08:00 cad01", "\"' =1+1\\\",g5.par,5,2019-02-01,08:00,cad01",
         " =1+1\\,g5.par ,            5,2019.2.1,08:00,cad01"},
    };
    const std::string heading = "Pfad,Name,Byte,Datum,Zeit,User\r\n";
    for (const auto& c : cases) {
        std::ofstream(log_, std::ios::binary) << c.line << "\r\n";
        const lister::Result spreadsheet = Run({"--spreadsheet-csv", log_});
        EXPECT_EQ(spreadsheet.out, "\xEF\xBB\xBF" + heading + c.spreadsheet + "\r\n") << c.line;
        EXPECT_EQ(Run({"--csv", log_}).out, heading + c.stored + "\r\n") << c.line;
    }
}

// The names with copies and the folder pairs, in each format; a find lists
// the rows of the names of the records it lists.
TEST_F(QuellkampList, PrintsTheGroupsAndFolderPairs) {
    std::ofstream(log_, std::ios::binary) << "D:\\A\\halter.par 1 16.09.2018 07:36 cad01\r\n"
                                             "=1+1\\halter.par 1 17.09.2018 08:00 x\r\n"
                                             "D:\\A\\=x.par 5 01.01.2019 08:00 u\r\n"
                                             "=1+1\\=x.par 5 01.01.2019 09:00 u\r\n"
                                             "D:\\A\\alone.par 5 01.01.2019 09:00 u\r\n";
    const std::string groupX =
        R"({"name":"=x.par ","copies":2,"sizes":1,"bytes":10,"reclaimable":5,"newest":"2019.01.01 09:00"})"
        "\n";
    const std::string groupHalter =
        R"({"name":"halter.par ","copies":2,"sizes":1,"bytes":2,"reclaimable":1,"newest":"2018.09.17 08:00"})"
        "\n";
    const std::string groupHeading = "Name,Kopien,Gr\xC3\xB6\xC3\x9F"
                                     "en,Byte,Freigebbar,Neueste\r\n";
    const std::string pairHeading =
        "Ordner A,Ordner B,Gemeinsam,Gleich gro\xC3\x9F,Namen A,Namen B,Freigebbar\r\n";
    const OutputCase cases[] = {
        {"groups", {"--groups"}, groupX + groupHalter},
        {"pairs",
         {"--sort", "name", "--folder-pairs"},
         R"({"a":"=1+1\\","b":"D:\\A\\","shared":2,"same_size":2,"names_a":2,"names_b":3,"reclaimable":6})"
         "\n"},
        {"groups under a find", {"--find", "cad01", "--groups"}, groupHalter},
        {"count of groups", {"--groups", "--count"}, "2\n"},
        {"count of pairs under a find of nothing",
         {"--find", "zzz", "--folder-pairs", "--count"},
         "0\n"},
        {"spreadsheet groups",
         {"--spreadsheet-csv", "--groups"},
         "\xEF\xBB\xBF" + groupHeading +
             "\"'=x.par\",2,1,10,5,2019-01-01 09:00\r\nhalter.par,2,1,2,1,2018-09-17 08:00\r\n"},
        {"csv pairs", {"--csv", "--folder-pairs"}, pairHeading + "=1+1\\,D:\\A\\,2,2,2,3,6\r\n"},
        {"spreadsheet pairs",
         {"--folder-pairs", "--spreadsheet-csv"},
         "\xEF\xBB\xBF" + pairHeading + "\"'=1+1\\\",D:\\A\\,2,2,2,3,6\r\n"},
    };
    for (const OutputCase& c : cases) {
        std::vector<std::string> args = c.actions;
        args.push_back(log_);
        const lister::Result result = Run(args);
        EXPECT_EQ(result.status, 0) << c.label << ": " << result.err;
        EXPECT_EQ(result.out, c.expected) << c.label;
    }
}

#if !defined(_WIN32)
// What the lister writes to a terminal: no byte of a log drives it. To a
// file the same output keeps the bytes.
TEST_F(QuellkampList, ShowsControlCharactersOnATerminal) {
    std::ofstream(log_, std::ios::binary)
        << "D:\\a\x1B]0;T\x07\\b.par 5 01.02.2003 \x1B[2J \xC2\x9B"
           "1m\x7F\r\n";
    const std::vector<std::vector<std::string>> cases = {
        {"--csv"}, {"--spreadsheet-csv"}, {}, {"--same-name", "b.par "}};
    for (std::vector<std::string> args : cases) {
        args.push_back(log_);
        std::vector<char*> argv{const_cast<char*>(QK_LIST_PROGRAM)};
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int terminal = -1;
        const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(child, 0);
        if (child == 0) {
            execv(argv[0], argv.data());
            _exit(127);
        }
        std::string shown;
        char buffer[4096];
        for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, std::size_t(got));
        close(terminal);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0) << args[0];
        EXPECT_NE(shown.find("b.par"), std::string::npos) << args[0];
        EXPECT_EQ(shown.find_first_of("\x1B\x07\x7F"), std::string::npos) << args[0];
        EXPECT_EQ(shown.find("\xC2\x9B"), std::string::npos) << args[0];
        // JSON has escaped ESC already; the CSVs show it as U+241B.
        const bool csv = args[0].ends_with("csv");
        EXPECT_EQ(shown.find("\xE2\x90\x9B]0;T") != std::string::npos, csv) << args[0];
        if (args[0] == "--csv") {
            EXPECT_NE(Run(args).out.find("\x1B]0;T\x07"), std::string::npos);
        }
    }
}
#endif

} // namespace
