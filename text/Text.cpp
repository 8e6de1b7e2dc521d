#include "text/Text.h"

#include "text/Utf8.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace qk {

namespace {

// Arena chunks are aligned to their size, so that a text finds its chunk by
// masking its address. The Windows runtime has no aligned_alloc: its aligned
// blocks come from _aligned_malloc and go back through _aligned_free.
void* AllocateAligned(std::size_t alignment, std::size_t bytes) noexcept {
#if defined(_WIN32)
    return _aligned_malloc(bytes, alignment);
#else
    return std::aligned_alloc(alignment, bytes);
#endif
}

void FreeAligned(void* memory) noexcept {
#if defined(_WIN32)
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

} // namespace

Text Text::Allocate(std::size_t length, char16_t*& units) noexcept {
    units = nullptr;
    if (length == 0 || length >= std::numeric_limits<std::uint32_t>::max()) return Text();
    const std::size_t bytes = offsetof(Block, units) + (length + 1) * sizeof(char16_t);
    void* memory = std::malloc(bytes);
    if (!memory) return Text();
    auto* block = static_cast<Block*>(memory);
    block->references = 1;
    block->length = static_cast<std::uint32_t>(length);
    block->units[length] = 0;
    units = block->units;
    Text text;
    text.bits_ = reinterpret_cast<std::uintptr_t>(block);
    return text;
}

Text::Text(std::u16string_view units) {
    char16_t* out = nullptr;
    *this = Allocate(units.size(), out);
    if (out) {
        std::memcpy(out, units.data(), units.size() * sizeof(char16_t));
        bits_ |= LineFeedTag(units);
    }
}

// Drops this text's reference but leaves bits_ as it is: every caller sets
// bits_ right afterwards (or is the destructor), and clearing it here would
// empty a text assigned to itself.
void Text::Release() noexcept {
    if (bits_ & kArenaTag) {
        ArenaChunk* chunk = ChunkOf(bits_);
        if (--chunk->references == 0) ReleaseChunk(chunk);
        return;
    }
    Block* const own = block();
    if (own && --own->references == 0) std::free(own);
}

void Text::ReleaseChunk(ArenaChunk* chunk) noexcept {
    chunk->~ArenaChunk();
    FreeAligned(chunk);
}

TextArena::~TextArena() {
    if (chunk_ && --chunk_->references == 0) Text::ReleaseChunk(chunk_);
}

Text TextArena::Make(std::u16string_view units) {
    if (units.empty()) return Text();
    constexpr std::size_t kAlignment = alignof(Text::Block);
    const std::size_t bytes =
        (offsetof(Text::Block, units) + (units.size() + 1) * sizeof(char16_t) + kAlignment - 1) &
        ~(kAlignment - 1);
    constexpr std::size_t kFirstByte = sizeof(Text::ArenaChunk);
    constexpr std::size_t kLongest = (Text::kArenaChunkSize - kFirstByte) / 16;
    if (bytes > kLongest) return Text(units);
    if (!chunk_ || used_ + bytes > Text::kArenaChunkSize) {
        void* memory = AllocateAligned(Text::kArenaChunkSize, Text::kArenaChunkSize);
        if (!memory) return Text(units);
        if (chunk_ && --chunk_->references == 0) Text::ReleaseChunk(chunk_);
        chunk_ = new (memory) Text::ArenaChunk{1};
        used_ = kFirstByte;
    }
    auto* block = reinterpret_cast<Text::Block*>(reinterpret_cast<char*>(chunk_) + used_);
    used_ += bytes;
    block->references = 0;
    block->length = static_cast<std::uint32_t>(units.size());
    std::memcpy(block->units, units.data(), units.size() * sizeof(char16_t));
    block->units[units.size()] = 0;
    ++chunk_->references;
    Text text;
    text.bits_ =
        reinterpret_cast<std::uintptr_t>(block) | Text::kArenaTag | Text::LineFeedTag(units);
    return text;
}

Text Text::FromUtf8(std::string_view utf8) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    // Fast path: pure ASCII converts unit for unit.
    std::size_t ascii = 0;
    while (ascii < n && s[ascii] < 0x80)
        ++ascii;
    char16_t* out = nullptr;
    if (ascii == n) {
        Text text = Allocate(n, out);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = s[i];
        return text;
    }
    // At most one unit per byte.
    std::u16string buffer;
    buffer.reserve(n);
    buffer.append(s, s + ascii);
    for (std::size_t i = ascii; i < n;) {
        const Utf8Decoded decoded = DecodeUtf8(s + i, n - i);
        i += decoded.length;
        AppendUtf16(decoded.codePoint, [&](char16_t unit) { buffer.push_back(unit); });
    }
    return Text(std::u16string_view(buffer));
}

void AppendUtf8(std::string& out, std::u16string_view units) {
    // Written through a pointer into room for the longest form (three bytes
    // per unit; a surrogate pair takes four for its two), then cut to size.
    const std::size_t start = out.size();
    out.resize(start + 3 * units.size());
    char* put = out.data() + start;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t cp = units[i];
        if (cp < 0x80) {
            *put++ = static_cast<char>(cp);
            continue;
        }
        put = PutUtf8(units, i, put);
    }
    out.resize(static_cast<std::size_t>(put - out.data()));
}

std::string Text::ToUtf8() const {
    std::string out;
    AppendUtf8(out, view());
    return out;
}

} // namespace qk
