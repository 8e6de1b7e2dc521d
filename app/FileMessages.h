// The viewer's messages about a log or an export file that failed: what
// failed, which file and why, in German.
#pragma once

#include "text/FileLayer.h"
#include "text/Text.h"

namespace qk {

// Why a file call failed, in a few German words ("nicht gefunden"); an error
// the program does not tell apart by the system's number ("Systemfehler 5").
Text GermanFileReason(FileError error, long errorNumber);

// "Konnte Datei nicht öffnen!" and, on a second line, the file and why.
Text CannotOpenMessage(const Text& path, FileError error, long errorNumber);
// A log that was not read whole as it was: changed while it was read, or a
// read that failed before its end.
Text CannotReadMessage(const Text& path, FileError error);
// A log that holds no record.
Text NoRecordMessage(const Text& path);
// An export that could not be written, on one line.
Text CannotWriteMessage(const Text& path, FileError error, long errorNumber);

} // namespace qk
