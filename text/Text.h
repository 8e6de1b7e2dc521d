// Text: an immutable sequence of UTF-16 code units.
//
// A Text is one pointer wide. Copies share one reference-counted block; the
// null pointer is the empty text, which is also what an absent text reads as,
// so zero-filled memory holds valid empty texts. Lengths and positions count
// code units. Conversions from and to UTF-8 are for the program's edges
// (files, the window system, the command line).
//
// References are counted without atomic operations: a text and its copies
// stay on the thread that made them.
//
// Texts made by a TextArena live in large shared chunks: their references are
// counted per chunk, in the chunk's header, so copying and releasing such a
// text never touches the text's own memory. That keeps filling and clearing
// lists of a million records fast.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace qk {

class Text {
  public:
    Text() noexcept = default;
    Text(std::u16string_view units);
    // A null pointer is an absent text, which is the empty text.
    Text(const char16_t* zeroTerminated)
        : Text(zeroTerminated ? std::u16string_view(zeroTerminated) : std::u16string_view()) {}
    Text(const Text& other) noexcept : bits_(other.bits_) { Retain(); }
    Text(Text&& other) noexcept : bits_(other.bits_) { other.bits_ = 0; }
    ~Text() { Release(); }

    Text& operator=(const Text& other) noexcept {
        other.Retain();
        Release();
        bits_ = other.bits_;
        return *this;
    }
    Text& operator=(Text&& other) noexcept {
        if (this != &other) {
            Release();
            bits_ = other.bits_;
            other.bits_ = 0;
        }
        return *this;
    }

    // Makes a text of `length` units and hands out its storage for filling
    // through `units`. The storage must be filled before the text is copied.
    // Returns the empty text (and units = nullptr) for length 0 or when no
    // memory can be had.
    static Text Allocate(std::size_t length, char16_t*& units) noexcept;

    std::size_t size() const noexcept { return bits_ ? block()->length : 0; }
    bool empty() const noexcept { return bits_ == 0; }
    // Never null: the empty text points at a static zero unit.
    const char16_t* data() const noexcept { return bits_ ? block()->units : kNoUnits; }
    std::u16string_view view() const noexcept { return {data(), size()}; }
    operator std::u16string_view() const noexcept { return view(); }
    char16_t operator[](std::size_t index) const noexcept { return block()->units[index]; }
    const char16_t* begin() const noexcept { return data(); }
    const char16_t* end() const noexcept { return data() + size(); }

    // True when the text is known to hold no line feed (U+000A); false when
    // it holds one or was not looked at. Answered without reading the text.
    bool KnownWithoutLineFeed() const noexcept { return (bits_ & kNoLineFeedTag) != 0; }

    // Identity of the shared storage (for tests of sharing and interning).
    const void* Storage() const noexcept { return block(); }

    friend bool operator==(const Text& a, const Text& b) noexcept {
        return a.bits_ == b.bits_ || a.view() == b.view();
    }
    friend bool operator==(const Text& a, std::u16string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const Text& a, const char16_t* b) noexcept {
        return a.view() == (b ? std::u16string_view(b) : std::u16string_view());
    }

    // UTF-8 to UTF-16 by the rules of text/Utf8.h, the same as the text
    // file reader's; NUL bytes are kept as they are.
    static Text FromUtf8(std::string_view utf8);
    // UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
    std::string ToUtf8() const;

  private:
    friend class TextArena;
    struct Block {
        std::uint32_t references; // unused in arena texts
        std::uint32_t length;
        char16_t units[1]; // `length` units and a terminating zero
    };
    // The chunk of arena texts: its header counts the references of all the
    // texts in it, plus one of the arena while the arena still fills it.
    struct alignas(64) ArenaChunk {
        std::uint64_t references;
    };
    static constexpr std::size_t kArenaChunkSize = std::size_t{1} << 20;
    // The low bits of bits_ mark an arena text and a text known to hold no
    // line feed; blocks are aligned to 4 bytes at least.
    static constexpr std::uintptr_t kArenaTag = 1;
    static constexpr std::uintptr_t kNoLineFeedTag = 2;
    static constexpr std::uintptr_t kTagBits = kArenaTag | kNoLineFeedTag;
    static std::uintptr_t LineFeedTag(std::u16string_view units) noexcept {
        return units.find(u'\n') == std::u16string_view::npos ? kNoLineFeedTag : 0;
    }
    static constexpr char16_t kNoUnits[1] = {0};

    Block* block() const noexcept { return reinterpret_cast<Block*>(bits_ & ~kTagBits); }
    static ArenaChunk* ChunkOf(std::uintptr_t bits) noexcept {
        return reinterpret_cast<ArenaChunk*>(bits & ~(kArenaChunkSize - 1));
    }
    static void ReleaseChunk(ArenaChunk* chunk) noexcept;

    void Retain() const noexcept {
        if (bits_ & kArenaTag)
            ++ChunkOf(bits_)->references;
        else if (bits_)
            ++block()->references;
    }
    void Release() noexcept;

    std::uintptr_t bits_ = 0;
};

// Makes texts in large chunks, for the many small texts of a loaded log.
// The chunks live as long as any text in them; the arena itself can go at
// any time. A text too long for a chunk, or one made when no chunk can be
// had, is an ordinary text.
class TextArena {
  public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    ~TextArena();

    Text Make(std::u16string_view units);
    void Swap(TextArena& other) noexcept {
        std::swap(chunk_, other.chunk_);
        std::swap(used_, other.used_);
    }

  private:
    Text::ArenaChunk* chunk_ = nullptr;
    std::size_t used_ = 0; // bytes of the current chunk handed out
};

static_assert(sizeof(Text) == sizeof(void*), "a text is one pointer wide");

// Appends the UTF-8 form of UTF-16 units to `out`.
void AppendUtf8(std::string& out, std::u16string_view units);

} // namespace qk
