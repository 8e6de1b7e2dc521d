// The file layer's writing calls and folder test on the real file system of
// the platform (POSIX, or Win32 under Wine), with names beyond ASCII.
#include "text/FileLayer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
// <windows.h> names ReplaceFileW so; the file layer has its own.
#undef ReplaceFile
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace qk {
namespace {

namespace fs = std::filesystem;

Text PathText(const fs::path& path) {
    return Text(path.u16string());
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileLayer : public ::testing::Test {
  protected:
    void SetUp() override {
        // A folder of this test's own: the tests of this fixture run side by
        // side as separate processes.
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder_ = fs::temp_directory_path() / (fs::path(u"qk-file-layer-\u00fc\u0141-") += test);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

// Written whole under a new name, then put in place of the old file.
TEST_F(FileLayer, WriteFinishAndReplace) {
    const fs::path target = folder_ / u"Pr\u00fcfung.csv";
    const fs::path temporary = folder_ / u"Pr\u00fcfung.csv.tmp";
    std::ofstream(target) << "old";
    const FileHandle file = CreateFileForWriting(PathText(temporary));
    ASSERT_NE(file, kNoFileHandle);
    const std::string bytes = "\xEF\xBB\xBFname;gr\xC3\xB6\xC3\x9F"
                              "e\r\n";
    EXPECT_TRUE(WriteToFile(file, bytes.data(), bytes.size()));
    EXPECT_TRUE(WriteToFile(file, bytes.data(), 0));
    EXPECT_TRUE(FinishWriting(file));
    EXPECT_TRUE(ReplaceFile(PathText(temporary), PathText(target)));
    EXPECT_EQ(Contents(target), bytes);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_TRUE(RemoveFile(PathText(target)));
    EXPECT_FALSE(fs::exists(target));
}

// Each failure is reported, described, and told apart from a name in use.
TEST_F(FileLayer, FailuresAreDescribed) {
    const fs::path existing = folder_ / "da.csv";
    std::ofstream(existing) << "x";
    const struct {
        const char* what;
        bool (*call)(const fs::path& folder);
        bool nameInUse;
    } cases[] = {
        {"create over an existing file",
         [](const fs::path& f) {
             return CreateFileForWriting(PathText(f / "da.csv")) != kNoFileHandle;
         },
         true},
        {"create in a missing folder",
         [](const fs::path& f) {
             return CreateFileForWriting(PathText(f / "fehlt" / "a.csv")) != kNoFileHandle;
         },
         false},
        {"create without a name",
         [](const fs::path&) { return CreateFileForWriting(Text()) != kNoFileHandle; }, false},
        {"remove a missing file",
         [](const fs::path& f) { return RemoveFile(PathText(f / "fehlt.csv")); }, false},
        {"replace from a missing file",
         [](const fs::path& f) {
             return ReplaceFile(PathText(f / "fehlt.csv"), PathText(f / "da.csv"));
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.call(folder_));
        EXPECT_EQ(FileErrorIsNameInUse(), c.nameInUse);
        const Text text = FileErrorText();
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.view().find_first_of(u"\r\n"), std::u16string_view::npos);
    }
    EXPECT_EQ(Contents(existing), "x");
}

TEST_F(FileLayer, FolderExists) {
    std::ofstream(folder_ / "datei.txt") << "x";
    EXPECT_TRUE(FolderExists(PathText(folder_)));
    EXPECT_FALSE(FolderExists(PathText(folder_ / "datei.txt")));
    EXPECT_FALSE(FolderExists(PathText(folder_ / "fehlt")));
    EXPECT_FALSE(FolderExists(Text()));
    // A server that does not answer (asked on a thread of its own on Windows).
    EXPECT_FALSE(FolderExists(u"\\\\qk-no-such-server\\share\\"));
}

// A folder named in a log is offered to a file manager only as an absolute
// local folder; a network path is judged by its form, never by asking.
TEST_F(FileLayer, FolderToOpenRefusesHostilePaths) {
    const Text here = PathText(folder_);
    const Text absent = PathText(folder_ / "fehlt");
    const struct {
        Text path;
        bool opens;
    } cases[] = {
        {here, true},
        {absent, false},
        {u"", false},
        {u"Werk/", false},
        {u"-rf/", false},
        {u"--help/", false},
        {u"~/", false},
        {u"http://127.0.0.1:8765/", false},
        {u"file:///etc/", false},
        {u"../", false},
#if defined(_WIN32)
        {u"\\\\qk-no-such-server\\share\\", true}, // not asked: the server does not exist
        {u"//qk-no-such-server/share/Werk/", true},
        {u"\\\\qk-no-such-server\\", false},
        {u"\\\\.\\pipe\\x\\", false},
        {u"\\\\?\\C:\\", false},
        {u"C:Windows\\", false},
        {u"\\Windows\\", false},
#else
        {u"\\\\qk-no-such-server\\share\\", false},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.ToUtf8());
        EXPECT_EQ(FolderToOpen(c.path), c.opens ? c.path : Text());
    }
}

#if !defined(_WIN32)
// A folder whose name is no UTF-8 shows in a log (and in a dialog) with
// U+FFFD or "?" for its bytes; it is found by the one name that shows alike.
TEST_F(FileLayer, FolderNamesThatAreNoUtf8AreFoundAsTheyShow) {
    const std::string root = folder_.string();
    for (const char* name : {"latin\xE4", "x\xB0y", "amb\xE4", "amb\xF6"})
        fs::create_directory(root + "/" + name);
    const std::u16string base(PathText(folder_).view());
    const struct {
        std::u16string shown;
        std::string found; // empty: not to be opened
    } cases[] = {
        {base + u"/latin\uFFFD/", root + "/latin\xE4/"},
        {base + u"/latin\uFFFD", root + "/latin\xE4"},
        {base + u"/x?y/", root + "/x\xB0y/"},
        {base + u"/amb\uFFFD/", ""}, // two fit: neither is guessed
        {base + u"/fehlt\uFFFD/", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Text(c.shown).ToUtf8());
        EXPECT_EQ(FolderToOpen(Text(c.shown)), c.found.empty() ? Text() : PathFromSystem(c.found));
    }
    const std::string latin = root + "/latin\xE4/";
    std::string bytes;
    EXPECT_TRUE(PathBytes(PathFromSystem(latin), bytes));
    EXPECT_EQ(bytes, latin);
}
#endif

// Replacing a file through a link replaces the file it points at, with the
// permissions that file had (on Windows its attributes); the link stays.
TEST_F(FileLayer, ReplacingWritesThroughLinksAndKeepsPermissions) {
    const fs::path target = folder_ / u"ziel\u00fc.csv";
    std::ofstream(target) << "old";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
#if defined(_WIN32)
    // Wine keeps attributes only where the file system has extended ones.
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const bool attributesHold = GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN;
#endif
    const fs::path link = folder_ / "link.csv";
    const fs::path chain = folder_ / "chain.csv";
    std::error_code linked;
    fs::create_symlink(target.filename(), link, linked);
    if (!linked) fs::create_symlink(link, chain, linked);
#if !defined(_WIN32)
    ASSERT_FALSE(linked) << linked.message();
#endif
    std::vector<fs::path> paths = {target};
    if (!linked) paths = {link, chain, target};
    for (const fs::path& path : paths) {
        SCOPED_TRACE(path.string());
        const Text behind = FileBehindLinks(PathText(path));
        EXPECT_TRUE(fs::equivalent(fs::path(behind.view()), target));
        const Text temporary(std::u16string(behind.view()) + u".part");
        const FileHandle file = CreateFileForWriting(temporary);
        ASSERT_NE(file, kNoFileHandle);
        const std::string bytes = "new " + path.filename().string();
        EXPECT_TRUE(WriteToFile(file, bytes.data(), bytes.size()));
        EXPECT_TRUE(FinishWriting(file));
        EXPECT_TRUE(ReplaceFile(temporary, behind));
        EXPECT_EQ(Contents(target), bytes);
        EXPECT_TRUE(linked || fs::is_symlink(link));
#if defined(_WIN32)
        EXPECT_TRUE(!attributesHold ||
                    (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN));
#else
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
#endif
    }
}

// Readers share a log; a program that holds it to write refuses them (and,
// on Windows, is refused while it is read), and that is told as "in use".
TEST_F(FileLayer, ReadersShareWritersHoldTheLog) {
    const fs::path log = folder_ / u"geteilt\u00fc.txt";
    std::ofstream(log) << "x";
    const FileHandle first = OpenFileForReading(PathText(log));
    const FileHandle second = OpenFileForReading(PathText(log));
    EXPECT_NE(first, kNoFileHandle);
    EXPECT_NE(second, kNoFileHandle);
#if defined(_WIN32)
    // Nobody may write while it is read.
    EXPECT_EQ(CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
#endif
    CloseFile(first);
    CloseFile(second);
#if defined(_WIN32)
    const HANDLE writer = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
#else
    const int writer = ::open(log.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
#endif
    EXPECT_EQ(OpenFileForReading(PathText(log)), kNoFileHandle);
    EXPECT_EQ(LastFileError(), FileError::InUse);
#if defined(_WIN32)
    CloseHandle(writer);
#else
    ::close(writer);
#endif
    const FileHandle later = OpenFileForReading(PathText(log)); // a later try works
    EXPECT_NE(later, kNoFileHandle);
    CloseFile(later);
}

// The reason of a failed open, from the error the system reported.
TEST_F(FileLayer, OpenFailuresTellTheReason) {
    std::ofstream(folder_ / "datei.txt") << "x";
    const struct {
        fs::path path;
        FileError reason;
    } cases[] = {
        {folder_ / "fehlt.txt", FileError::NotFound},
        {folder_ / "fehlt" / "a.txt", FileError::NotFound},
        {folder_ / "datei.txt" / "a.txt", FileError::NotFound},
        {folder_, FileError::IsFolder},
#if defined(_WIN32)
        {"NUL", FileError::NotRegularFile},
#else
        {"/dev/null", FileError::NotRegularFile},
        {folder_ / std::string(300, 'n'), FileError::NameTooLong},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        EXPECT_EQ(OpenFileForReading(PathText(c.path)), kNoFileHandle);
        EXPECT_EQ(LastFileError(), c.reason);
    }
#if !defined(_WIN32)
    if (::geteuid() != 0) { // the superuser reads anything
        fs::permissions(folder_ / "datei.txt", fs::perms::none);
        EXPECT_EQ(OpenFileForReading(PathText(folder_ / "datei.txt")), kNoFileHandle);
        EXPECT_EQ(LastFileError(), FileError::NoPermission);
    }
#endif
}

// A stamp tells a file that was written to from one that was not.
TEST_F(FileLayer, StampMovesWithWriting) {
    const fs::path log = folder_ / "log.txt";
    std::ofstream(log) << "abc";
    const FileHandle file = OpenFileForReading(PathText(log));
    ASSERT_NE(file, kNoFileHandle);
    FileStamp before, unchanged, after;
    ASSERT_TRUE(ReadFileStamp(file, before));
    ASSERT_TRUE(ReadFileStamp(file, unchanged));
    EXPECT_EQ(before, unchanged);
    EXPECT_EQ(before.size, 3u);
#if !defined(_WIN32) // on Windows nobody writes to it while it is open
    std::ofstream(log, std::ios::app) << "d";
    ASSERT_TRUE(ReadFileStamp(file, after));
    EXPECT_NE(before, after);
    EXPECT_EQ(after.size, 4u);
#endif
    CloseFile(file);
}

TEST_F(FileLayer, ProgressOfReading) {
    const fs::path log = folder_ / "log.txt";
    std::ofstream(log) << std::string(100, 'x');
    const FileHandle file = OpenFileForReading(PathText(log));
    ASSERT_NE(file, kNoFileHandle);
    char buffer[30];
    ASSERT_EQ(ReadFromFile(file, buffer, sizeof buffer), sizeof buffer);
    std::uint64_t position = 0, size = 0;
    EXPECT_TRUE(FileProgress(file, position, size));
    EXPECT_EQ(position, 30u);
    EXPECT_EQ(size, 100u);
    CloseFile(file);
}

} // namespace
} // namespace qk
