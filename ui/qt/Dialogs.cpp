// The open-file dialog and the message box, on Qt's own dialogs so that
// they behave alike everywhere.
#include "ui/Dialogs.h"
#include "text/FileLayer.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

#include <vector>

namespace qk {

namespace {

struct SuspendedWindow {
    QPointer<QWidget> window;
    bool topmost;
    bool disabledHere;
};

std::vector<SuspendedWindow> suspended;

// The number of the filter pair the user confirmed in the last file dialog,
// 1-based; 0 when it was cancelled.
std::int32_t chosenPattern = 0;

// The program's active window, if one of its own is active.
QWidget* DialogOwner() {
    return QApplication::activeWindow();
}

// Disables every visible top-level window of the program other than the
// active one; returns whether one of them stays on top, so the dialog can
// stay above it.
bool SuspendOtherWindows() {
    bool anyTopmost = false;
    QWidget* active = QApplication::activeWindow();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        SuspendedWindow record{window, (window->windowFlags() & Qt::WindowStaysOnTopHint) != 0,
                               false};
        if (window != active && window->isEnabled()) {
            window->setEnabled(false);
            record.disabledHere = true;
        }
        anyTopmost = anyTopmost || record.topmost;
        suspended.push_back(record);
    }
    return anyTopmost;
}

void RestoreOtherWindows() {
    for (const SuspendedWindow& record : suspended)
        if (record.window && record.disabledHere) record.window->setEnabled(true);
    suspended.clear();
}

// The Qt name filters of a pattern "display|pattern|display|pattern...".
// A display text without a pattern stands for itself, as a name filter.
QStringList NameFilters(const Text& pattern) {
    QStringList filters;
    const QStringList parts = ui::ToQString(pattern).split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString& display = parts[i];
        if (i + 1 >= parts.size()) {
            if (!display.isEmpty()) filters << display;
            break;
        }
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        patterns = QStringLiteral(" (") + patterns.trimmed() + QLatin1Char(')');
        // "CSV (*.csv)" names its patterns already.
        filters << (display.endsWith(patterns) ? display : display + patterns);
    }
    return filters;
}

// Accepts a name only in a folder that exists; the file itself need not. A
// missing folder is said in a message over the dialog, which stays open.
class OpenFileDialog final : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;
    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const QFileInfo chosen(files.first());
            if (!chosen.isDir() && !QFileInfo(chosen.absolutePath()).isDir()) {
                auto* box = new QMessageBox(
                    QMessageBox::Warning, windowTitle(),
                    QDir::toNativeSeparators(chosen.absolutePath()) +
                        QStringLiteral("\nPath does not exist.\nCheck the path and try again."),
                    QMessageBox::Ok, this);
                box->setTextFormat(Qt::PlainText);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
                return;
            }
        }
        QFileDialog::accept();
    }
};

// The initial folder and name: a default file with a separator after its
// first character names both; otherwise it is only a name, and a name that
// is no valid file name (a wildcard, say) is dropped.
void SplitDefaultFile(const Text& defaultFile, QString& folder, QString& name) {
    if (defaultFile.empty()) return;
    const std::u16string_view units = defaultFile.view();
    const std::size_t cut = units.find_last_of(u"\\/");
    Text initialName = defaultFile;
    if (cut != std::u16string_view::npos && cut > 0) {
        folder = ui::ToQString(Text(units.substr(0, cut)));
        initialName = Text(units.substr(cut + 1));
    }
    if (IsValidFileName(initialName)) name = ui::ToQString(initialName);
}

} // namespace

bool IsValidFileName(const Text& name) {
    if (name.empty()) return false;
    for (const char16_t unit : name) {
        if (unit >= 1 && unit <= 31) return false;
        switch (unit) {
        case 0x22:
        case 0x2A:
        case 0x2F:
        case 0x3A:
        case 0x3C:
        case 0x3E:
        case 0x3F:
        case 0x5C:
        case 0x7C:
            return false;
        default:
            break;
        }
    }
    return true;
}

Text ChooseFileToOpen(const Text& title, const Text& defaultFile, const Text& pattern,
                      std::int32_t position) {
    chosenPattern = 0;
    if (!qApp) return {};

    QString folder, name;
    SplitDefaultFile(defaultFile, folder, name);

    OpenFileDialog dialog(DialogOwner(), ui::ToQString(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowModality(Qt::ApplicationModal);
    const QStringList filters = NameFilters(pattern);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (position >= 0 && position < filters.size()) dialog.selectNameFilter(filters[position]);
    }
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (!name.isEmpty()) dialog.selectFile(name);

    if (SuspendOtherWindows()) dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int result = dialog.exec();
    RestoreOtherWindows();

    if (result != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return {};
    chosenPattern = std::int32_t(filters.indexOf(dialog.selectedNameFilter()) + 1);
    // The whole path, however long; a name that is no UTF-8, which Qt shows
    // with U+FFFD, as the file's own.
    return PathOnDisk(
        ui::FromQString(QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath())));
}

int ShowMessage(const Text& title, const Text& text) {
    if (!qApp) return 1;
    QMessageBox box(QMessageBox::NoIcon, ui::ToQString(title), ui::ToQString(text), QMessageBox::Ok,
                    DialogOwner());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    if (SuspendOtherWindows()) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    RestoreOtherWindows();
    return 1; // the OK button, the only one
}

std::int32_t ChosenPattern() {
    return chosenPattern;
}

Text ChooseFileToSave(const Text& title, const Text& defaultFile, const Text& pattern,
                      std::int32_t position) {
    chosenPattern = 0;
    if (!qApp) return {};

    QString folder, name;
    SplitDefaultFile(defaultFile, folder, name);

    QFileDialog dialog(DialogOwner(), ui::ToQString(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowModality(Qt::ApplicationModal);
    const QStringList filters = NameFilters(pattern);
    const QStringList parts = ui::ToQString(pattern).split(QLatin1Char('|'));
    // The extension a name without one gets: that of the pair's first
    // pattern, "*.csv" giving "csv".
    const auto useSuffixOf = [&](const QString& filter) {
        const qsizetype pair = filters.indexOf(filter);
        QString suffix;
        if (pair >= 0 && 2 * pair + 1 < parts.size()) {
            suffix = parts[2 * pair + 1].section(QLatin1Char(';'), 0, 0).trimmed();
            suffix = suffix.startsWith(QStringLiteral("*.")) ? suffix.mid(2) : QString();
            if (suffix.contains(QLatin1Char('*')) || suffix.contains(QLatin1Char('?')))
                suffix.clear();
        }
        dialog.setDefaultSuffix(suffix);
    };
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const QString& preselected =
            position >= 0 && position < filters.size() ? filters[position] : filters.first();
        dialog.selectNameFilter(preselected);
        useSuffixOf(preselected);
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, useSuffixOf);
    }
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (!name.isEmpty()) dialog.selectFile(name);

    if (SuspendOtherWindows()) dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int result = dialog.exec();
    RestoreOtherWindows();

    if (result != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return {};
    chosenPattern = std::int32_t(filters.indexOf(dialog.selectedNameFilter()) + 1);
    return ui::FromQString(QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()));
}

} // namespace qk
