// What the fuzz targets share: a check that stops the run with a message, so
// libFuzzer keeps the input that broke it, and printing of UTF-16 texts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

namespace qk::fuzz {

// The units of a text as C-style escapes of printable ASCII and \uXXXX.
inline std::string Escaped(std::u16string_view units) {
    std::string out;
    for (const char16_t unit : units) {
        if (unit >= 0x20 && unit < 0x7F && unit != u'\\') {
            out.push_back(static_cast<char>(unit));
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(unit));
            out += code;
        }
    }
    return out;
}

[[noreturn]] inline void Fail(const char* condition, const char* file, int line,
                              const std::string& detail) {
    std::fprintf(stderr, "%s:%d: broken: %s\n%s\n", file, line, condition, detail.c_str());
    std::abort();
}

// The one file a target writes every input to, rewritten in place; removed
// when the process ends.
class ScratchFile {
  public:
    explicit ScratchFile(const char* name) {
        const char* directory = std::getenv("TMPDIR");
        path = std::string(directory && *directory ? directory : "/tmp") + "/quellkamp-fuzz-" +
               name + "-XXXXXX";
        handle_ = ::mkstemp(path.data());
        if (handle_ < 0) {
            std::perror("fuzz: cannot make a temporary file");
            std::abort();
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() {
        ::close(handle_);
        ::unlink(path.c_str());
    }

    void Write(const std::uint8_t* data, std::size_t size) {
        std::size_t written = 0;
        bool ok = ::ftruncate(handle_, 0) == 0;
        while (ok && written < size) {
            const ssize_t n =
                ::pwrite(handle_, data + written, size - written, static_cast<off_t>(written));
            ok = n > 0;
            if (ok) written += static_cast<std::size_t>(n);
        }
        if (!ok) {
            std::perror("fuzz: cannot write the temporary file");
            std::abort();
        }
    }

    std::string path;

  private:
    int handle_ = -1;
};

} // namespace qk::fuzz

// Stops the run when `condition` does not hold; `detail` is built only then.
#define QK_REQUIRE(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) ::qk::fuzz::Fail(#condition, __FILE__, __LINE__, (detail));              \
    } while (false)
