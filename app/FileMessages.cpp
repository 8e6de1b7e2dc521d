#include "app/FileMessages.h"

#include <string>

namespace qk {
namespace {

const char16_t* KnownReason(FileError error) {
    switch (error) {
    case FileError::NotFound:
        return u"nicht gefunden";
    case FileError::NoPermission:
        return u"keine Berechtigung";
    case FileError::IsFolder:
        return u"ist ein Ordner";
    case FileError::NotRegularFile:
        return u"ist keine gewöhnliche Datei";
    case FileError::InUse:
        return u"wird von einem anderen Programm benutzt; später erneut versuchen";
    case FileError::FolderTakesNoFile:
        return u"keine Berechtigung im Ordner, die Datei wird über eine neue Datei daneben "
               u"ersetzt";
    case FileError::DiskFull:
        return u"Datenträger voll";
    case FileError::TooLarge:
        return u"Datei zu groß";
    case FileError::ReadOnly:
        return u"Datenträger schreibgeschützt";
    case FileError::NoMemory:
        return u"nicht genug Speicher";
    case FileError::NameTooLong:
        return u"Name zu lang";
    case FileError::TooManyOpen:
        return u"zu viele offene Dateien";
    case FileError::DeviceFailed:
        return u"Ein-/Ausgabefehler des Datenträgers";
    case FileError::Changed:
        return u"hat sich beim Lesen geändert; erneut versuchen";
    case FileError::ReadFailed:
        return u"Lesefehler vor dem Dateiende";
    case FileError::Other:
        break;
    }
    return nullptr;
}

Text Joined(std::u16string_view first, const Text& path, std::u16string_view between,
            const Text& reason, std::u16string_view last = {}) {
    std::u16string text(first);
    text += path.view();
    text += between;
    text += reason.view();
    text += last;
    return Text(text);
}

} // namespace

Text GermanFileReason(FileError error, long errorNumber) {
    if (const char16_t* known = KnownReason(error)) return known;
    std::u16string text = u"Systemfehler ";
    for (const char c : std::to_string(errorNumber))
        text.push_back(static_cast<char16_t>(c));
    return Text(text);
}

Text CannotOpenMessage(const Text& path, FileError error, long errorNumber) {
    return Joined(u"Konnte Datei nicht öffnen!\n", path, u": ",
                  GermanFileReason(error, errorNumber));
}

Text CannotReadMessage(const Text& path, FileError error) {
    return Joined(u"Konnte Datei nicht lesen!\n", path, u": ", GermanFileReason(error, 0));
}

Text NoRecordMessage(const Text& path) {
    return Joined(u"Die Datei enthält keine Einträge: ", path, u"", Text());
}

Text CannotWriteMessage(const Text& path, FileError error, long errorNumber) {
    return Joined(u"Konnte Datei nicht schreiben: ", path, u" (",
                  GermanFileReason(error, errorNumber), u")");
}

} // namespace qk
