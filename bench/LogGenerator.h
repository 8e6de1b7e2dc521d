// A deterministic generator of realistic duplicate logs: a header line, the
// records, and a total line, with CR LF line ends. The same line count and
// seed always give the same bytes.
#pragma once

#include <cstdint>
#include <string>

namespace qk {

// The shape of a log: folders shared by many records (Generated), or a
// document vault's, where nearly every record has an item folder of its
// own and each name is logged in two or three of them (Vault).
enum class LogShape { Generated, Vault };

// Appends the whole log of `lines` record lines (plus header and total) to
// `out` as UTF-8.
void GenerateLog(std::uint64_t lines, std::uint64_t seed, std::string& out,
                 LogShape shape = LogShape::Generated);

// Writes the log to `path`; false when the file cannot be written.
bool WriteLogFile(const std::string& path, std::uint64_t lines, std::uint64_t seed,
                  LogShape shape = LogShape::Generated);

} // namespace qk
