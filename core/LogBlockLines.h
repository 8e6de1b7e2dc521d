// The lines of a block of a log's bytes, each taken apart on its bytes, in
// one pass: the bytes that end lines and those that decide where a line
// splits (separators, dots, bars, blanks) are found together, sixty-four at
// a time, for a stretch of lines at once, and each line's split reads its
// share of them.
#pragma once

#include "core/LogLineParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qk {

class LogBlockLines {
  public:
    explicit LogBlockLines(std::string_view block) : block_(block) {}

    // The next line (its end excluded) and what SplitLogLineBytes makes of
    // it, `parts` filled for a Record; false when no line is left. The lines
    // are those ForEachLine gives, in order.
    bool Next(std::string_view& line, ByteSplit& split, LogLineBytes& parts);

  private:
    static constexpr std::size_t kStretchBytes = 8192;
    static constexpr std::size_t kStretchWords = kStretchBytes / 64 + 1; // and a word of zeros

    // Finds the bytes that decide in the stretch of bytes from `from` on.
    void MaskStretch(std::size_t from);
    // The masks of the line at [from, from + length) of the stretch.
    void LineMasksAt(std::size_t from, std::size_t length, LineMasks& masks) const;

    std::string_view block_;
    std::size_t next_ = 0;    // where the next line starts
    std::size_t stretch_ = 0; // where the masked stretch starts
    std::size_t masked_ = 0;  // how many of its bytes are masked (0: none yet)
    std::uint64_t ends_[kStretchWords];
    std::uint64_t separators_[kStretchWords];
    std::uint64_t dots_[kStretchWords];
    std::uint64_t bars_[kStretchWords];
    std::uint64_t blanks_[kStretchWords];
};

} // namespace qk
