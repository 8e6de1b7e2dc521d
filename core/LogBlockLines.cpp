#include "core/LogBlockLines.h"

#include "text/LineSplitting.h"
#include "text/Scan.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace qk {
namespace {

// Bit i set for each byte i of the sixty-four at `p` that is one of those
// sought, for each kind sought.
struct WordMasks {
    std::uint64_t ends = 0, separators = 0, dots = 0, bars = 0, blanks = 0;
};

WordMasks MaskWord(const unsigned char* p) {
    WordMasks m;
#if QK_SCAN_SSE2
    const __m128i feed = _mm_set1_epi8(0x0A), carriage = _mm_set1_epi8(0x0D),
                  zero = _mm_setzero_si128(), back = _mm_set1_epi8('\\'),
                  slash = _mm_set1_epi8('/'), dot = _mm_set1_epi8('.'), bar = _mm_set1_epi8('|'),
                  blank = _mm_set1_epi8(' ');
    for (int c = 0; c < 4; ++c) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + c * 16));
        const auto bits = [&](__m128i eq) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(eq)))
                   << (16 * c);
        };
        m.ends |=
            bits(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, feed), _mm_cmpeq_epi8(v, carriage)),
                              _mm_cmpeq_epi8(v, zero)));
        m.separators |= bits(_mm_or_si128(_mm_cmpeq_epi8(v, back), _mm_cmpeq_epi8(v, slash)));
        m.dots |= bits(_mm_cmpeq_epi8(v, dot));
        m.bars |= bits(_mm_cmpeq_epi8(v, bar));
        m.blanks |= bits(_mm_cmpeq_epi8(v, blank));
    }
#else
    for (int i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const unsigned char byte = p[i];
        if (EndsLine(byte)) m.ends |= bit;
        if (byte == '\\' || byte == '/') m.separators |= bit;
        if (byte == '.') m.dots |= bit;
        if (byte == '|') m.bars |= bit;
        if (byte == ' ') m.blanks |= bit;
    }
#endif
    return m;
}

// The 64 bits of `mask` from bit `from` on; the word after the last one
// read is there.
std::uint64_t BitsFrom(const std::uint64_t* mask, std::size_t from) {
    const std::size_t w = from / 64;
    const unsigned shift = from % 64;
    if (shift == 0) return mask[w];
    return (mask[w] >> shift) | (mask[w + 1] << (64 - shift));
}

} // namespace

void LogBlockLines::MaskStretch(std::size_t from) {
    stretch_ = from;
    masked_ = std::min(kStretchBytes, block_.size() - from);
    const auto* p = reinterpret_cast<const unsigned char*>(block_.data()) + from;
    const std::size_t whole = masked_ / 64;
    const std::size_t words = (masked_ + 63) / 64;
    for (std::size_t w = 0; w < words; ++w) {
        alignas(16) unsigned char padded[64];
        const unsigned char* bytes = p + w * 64;
        if (w == whole) { // the last bytes, from a copy padded with line ends
            std::memset(padded, 0x0A, sizeof padded);
            std::memcpy(padded, bytes, masked_ - whole * 64);
            bytes = padded;
        }
        const WordMasks m = MaskWord(bytes);
        ends_[w] = m.ends;
        separators_[w] = m.separators;
        dots_[w] = m.dots;
        bars_[w] = m.bars;
        blanks_[w] = m.blanks;
    }
    ends_[words] = separators_[words] = dots_[words] = bars_[words] = blanks_[words] = 0;
}

void LogBlockLines::LineMasksAt(std::size_t from, std::size_t length, LineMasks& masks) const {
    const std::size_t words = (length + 63) / 64;
    for (std::size_t k = 0; k < words; ++k) {
        const std::size_t at = from + 64 * k;
        const std::size_t left = length - 64 * k;
        const std::uint64_t keep = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        masks.separators[k] = BitsFrom(separators_, at) & keep;
        masks.dots[k] = BitsFrom(dots_, at) & keep;
        masks.bars[k] = BitsFrom(bars_, at) & keep;
        masks.blanks[k] = BitsFrom(blanks_, at) & keep;
    }
}

bool LogBlockLines::Next(std::string_view& line, ByteSplit& split, LogLineBytes& parts) {
    const std::size_t n = block_.size();
    if (next_ >= n) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(block_.data());
    const std::size_t from = next_;
    std::size_t end = 0;
    bool inStretch = true;
    for (;;) {
        if (from >= stretch_ + masked_ || masked_ == 0) MaskStretch(from);
        const std::size_t relative = from - stretch_;
        std::size_t e = relative;
        for (; e < masked_; e = (e / 64 + 1) * 64) {
            const std::uint64_t word = ends_[e / 64] & (~std::uint64_t{0} << (e % 64));
            if (word != 0) {
                e = e / 64 * 64 + static_cast<std::size_t>(std::countr_zero(word));
                break;
            }
        }
        if (e < masked_) {
            end = stretch_ + e;
            break;
        }
        if (stretch_ + masked_ == n) { // the last line, without an end
            end = n;
            break;
        }
        if (stretch_ < from) { // the line goes on past the stretch: mask from its start
            MaskStretch(from);
            continue;
        }
        end = FindLineEnd(p, stretch_ + masked_, n); // longer than a stretch
        inStretch = false;
        break;
    }
    next_ = end == n ? n : end + ((p[end] == 0x0D && end + 1 < n && p[end + 1] == 0x0A) ? 2 : 1);
    line = block_.substr(from, end - from);
    if (!inStretch || line.size() > kMaskedBytes) {
        split = SplitLogLineBytes(line, parts);
        return true;
    }
    LineMasks masks;
    LineMasksAt(from - stretch_, line.size(), masks);
    split = SplitMaskedLine(line, masks, parts);
    return true;
}

} // namespace qk
