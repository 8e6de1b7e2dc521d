// Text: an immutable sequence of UTF-16 code units.
//
// A Text is one pointer wide. Copies share one reference-counted block; the
// null pointer is the empty text, which is also what an absent text reads as,
// so zero-filled memory holds valid empty texts. Lengths and positions count
// code units. Conversions from and to UTF-8 are for the program's edges
// (files, the window system, the command line).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qk {

class Text {
  public:
    Text() noexcept = default;
    Text(std::u16string_view units);
    // A null pointer is an absent text, which is the empty text.
    Text(const char16_t* zeroTerminated)
        : Text(zeroTerminated ? std::u16string_view(zeroTerminated) : std::u16string_view()) {}
    Text(const Text& other) noexcept : block_(other.block_) { Retain(); }
    Text(Text&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    ~Text() { Release(); }

    Text& operator=(const Text& other) noexcept {
        other.Retain();
        Release();
        block_ = other.block_;
        return *this;
    }
    Text& operator=(Text&& other) noexcept {
        if (this != &other) {
            Release();
            block_ = other.block_;
            other.block_ = nullptr;
        }
        return *this;
    }

    // Makes a text of `length` units and hands out its storage for filling
    // through `units`. The storage must be filled before the text is copied.
    // Returns the empty text (and units = nullptr) for length 0 or when no
    // memory can be had.
    static Text Allocate(std::size_t length, char16_t*& units) noexcept;

    std::size_t size() const noexcept { return block_ ? block_->length : 0; }
    bool empty() const noexcept { return block_ == nullptr; }
    // Never null: the empty text points at a static zero unit.
    const char16_t* data() const noexcept { return block_ ? block_->units : kNoUnits; }
    std::u16string_view view() const noexcept { return {data(), size()}; }
    operator std::u16string_view() const noexcept { return view(); }
    char16_t operator[](std::size_t index) const noexcept { return block_->units[index]; }
    const char16_t* begin() const noexcept { return data(); }
    const char16_t* end() const noexcept { return data() + size(); }

    // Identity of the shared storage (for tests of sharing and interning).
    const void* Storage() const noexcept { return block_; }

    friend bool operator==(const Text& a, const Text& b) noexcept {
        return a.block_ == b.block_ || a.view() == b.view();
    }
    friend bool operator==(const Text& a, std::u16string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const Text& a, const char16_t* b) noexcept {
        return a.view() == (b ? std::u16string_view(b) : std::u16string_view());
    }

    // UTF-8 to UTF-16. Malformed sequences become U+FFFD, one for each
    // maximal ill-formed subsequence; NUL bytes are kept as they are.
    static Text FromUtf8(std::string_view utf8);
    // UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
    std::string ToUtf8() const;

  private:
    struct Block {
        std::atomic<std::uint32_t> references;
        std::uint32_t length;
        char16_t units[1]; // `length` units and a terminating zero
    };
    static constexpr char16_t kNoUnits[1] = {0};

    void Retain() const noexcept {
        if (block_) block_->references.fetch_add(1, std::memory_order_relaxed);
    }
    void Release() noexcept;

    Block* block_ = nullptr;
};

static_assert(sizeof(Text) == sizeof(void*), "a text is one pointer wide");

// Appends the UTF-8 form of UTF-16 units to `out`.
void AppendUtf8(std::string& out, std::u16string_view units);

} // namespace qk
