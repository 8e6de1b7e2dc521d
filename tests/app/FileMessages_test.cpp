// The viewer's words for every reason the file layer tells apart, and the
// messages built from them.
#include "app/FileMessages.h"

#include <gtest/gtest.h>

namespace qk {
namespace {

TEST(FileMessages, EveryReasonInGerman) {
    const struct {
        FileError error;
        const char* reason;
    } cases[] = {
        {FileError::NotFound, "nicht gefunden"},
        {FileError::NoPermission, "keine Berechtigung"},
        {FileError::IsFolder, "ist ein Ordner"},
        {FileError::NotRegularFile, "ist keine gewöhnliche Datei"},
        {FileError::InUse, "wird von einem anderen Programm benutzt; später erneut versuchen"},
        {FileError::FolderTakesNoFile,
         "keine Berechtigung im Ordner, die Datei wird über eine neue Datei daneben ersetzt"},
        {FileError::DiskFull, "Datenträger voll"},
        {FileError::TooLarge, "Datei zu groß"},
        {FileError::ReadOnly, "Datenträger schreibgeschützt"},
        {FileError::NoMemory, "nicht genug Speicher"},
        {FileError::NameTooLong, "Name zu lang"},
        {FileError::TooManyOpen, "zu viele offene Dateien"},
        {FileError::DeviceFailed, "Ein-/Ausgabefehler des Datenträgers"},
        {FileError::Changed, "hat sich beim Lesen geändert; erneut versuchen"},
        {FileError::ReadFailed, "Lesefehler vor dem Dateiende"},
        {FileError::Other, "Systemfehler 1234"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(GermanFileReason(c.error, 1234).ToUtf8(), c.reason);
    }
    const Text path(u"/home/k\u00fchn/log.txt");
    EXPECT_EQ(CannotOpenMessage(path, FileError::InUse, 11).ToUtf8(),
              "Konnte Datei nicht öffnen!\n/home/kühn/log.txt: wird von einem anderen Programm "
              "benutzt; später erneut versuchen");
    EXPECT_EQ(CannotWriteMessage(path, FileError::DiskFull, 28).ToUtf8(),
              "Konnte Datei nicht schreiben: /home/kühn/log.txt (Datenträger voll)");
    EXPECT_EQ(NoRecordMessage(path).ToUtf8(),
              "Die Datei enthält keine Einträge: /home/kühn/log.txt");
}

} // namespace
} // namespace qk
