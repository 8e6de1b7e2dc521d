#include "app/RowCommands.h"

#include "app/MainWindow.h"
#include "app/OverviewWindow.h"
#include "core/DuplicateRecord.h"
#include "core/ExportFormats.h"
#include "core/LogLineParser.h"
#include "text/FileLayer.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialogs.h"

#include <string>
#include <string_view>

namespace qk {
namespace {

constexpr int kColumn(RecordField field) {
    return static_cast<int>(field);
}

// Whether `name` ends with one of the document extensions, in any case.
bool EndsWithDocumentExtension(std::u16string_view name) {
    for (const std::u16string_view extension : kDocumentExtensions) {
        if (name.size() < extension.size()) continue;
        const std::u16string_view tail = name.substr(name.size() - extension.size());
        bool same = true;
        for (std::size_t i = 0; i < tail.size() && same; ++i) {
            char16_t unit = tail[i];
            if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
            same = unit == extension[i];
        }
        if (same) return true;
    }
    return false;
}

// The file's own name: the logged name without the character that followed
// the extension.
Text FileNameOfRow(std::int64_t list, std::int64_t row) {
    const Text name = GetCellText(list, row, kColumn(RecordField::Name));
    const std::u16string_view units = name.view();
    if (!units.empty() && EndsWithDocumentExtension(units.substr(0, units.size() - 1)))
        return Text(units.substr(0, units.size() - 1));
    return name;
}

} // namespace

void AddMainWindowShortcuts() {
    AddKeyShortcut(MainWindow, kFindShortcut, u"Ctrl+F");
}

Text RowLine(std::int64_t list, std::int64_t row) {
    std::u16string line;
    for (int column = 0; column < kVisibleFieldCount; ++column) {
        if (column > 0) line += u'\t';
        const Text text = GetCellText(list, row, column);
        std::u16string_view cell = text.view();
        if (column == kColumn(RecordField::Size)) {
            const std::size_t first = cell.find_first_not_of(u' ');
            cell.remove_prefix(first == std::u16string_view::npos ? cell.size() : first);
        } else if (column == kColumn(RecordField::Name)) {
            cell = FileNameOf(cell); // without the blank logged after the extension
        }
        line += cell;
    }
    return Text(line);
}

Text RowFilePath(std::int64_t list, std::int64_t row) {
    std::u16string path(GetCellText(list, row, kColumn(RecordField::Path)).view());
    path += FileNameOfRow(list, row).view();
    return Text(path);
}

void CopySelectedRow(std::int64_t list) {
    const std::int64_t row = SelectedRow(list);
    if (row >= 0) CopyToClipboard(RowLine(list, row));
}

void ShowRowMenu(std::int64_t list) {
    const std::int64_t row = SelectedRow(list);
    if (row < 0) return; // a click beside the rows: no row to act on
    const Text folder = GetCellText(list, row, kColumn(RecordField::Path));
    // Decided without reaching any server a network path names.
    const bool openable = !FolderToOpen(folder).empty();
    const std::int64_t chosen = ShowPopupMenu(list, {{u"Copy path", true},
                                                     {u"Copy row", true},
                                                     {u"Open folder", openable},
                                                     {u"Übersicht...", true}});
    switch (static_cast<RowMenuItem>(chosen)) {
    case RowMenuItem::CopyPath:
        CopyToClipboard(RowFilePath(list, row));
        break;
    case RowMenuItem::CopyRow:
        CopyToClipboard(RowLine(list, row));
        break;
    case RowMenuItem::OpenFolder:
        if (!ShowInFileManager(folder, FileNameOfRow(list, row)))
            ShowMessage(u"Information",
                        Text(u"Konnte Ordner nicht öffnen: " + std::u16string(folder.view()) +
                             u"\nKein Dateimanager hat ihn geöffnet."));
        break;
    case RowMenuItem::Overview:
        OpenOverview();
        break;
    }
}

void FocusFindField() {
    FocusControl(FindField);
}

} // namespace qk
