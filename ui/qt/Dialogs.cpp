// The open-file dialog and the message box, on Qt's own dialogs so that
// they behave alike everywhere.
#include "ui/Dialogs.h"
#include "text/FileLayer.h"
#include "ui/common/DialogRules.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
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

// The Qt name filters of a pattern "display|patterns|display|patterns...",
// each "display (patterns)"; the dialog shows the display texts only, as
// given. A display text without patterns lists every file.
QStringList NameFilters(const Text& pattern) {
    QStringList filters;
    for (const ui::FilterPair& pair : ui::FilterPairs(pattern)) {
        QString patterns = pair.hasPatterns ? ui::ToQString(pair.patterns) : QString();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        patterns = patterns.simplified();
        if (patterns.isEmpty()) patterns = QStringLiteral("*");
        filters << ui::ToQString(pair.display) + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

// Both file dialogs on Qt's own widgets. A name is accepted only in a folder
// that exists; the file itself need not. A missing folder is said in a
// message over the dialog, which stays open. A typed wildcard ("*",
// "*.log", "logs/*.txt") lists the matching files of its folder instead of
// choosing one.
class FileDialog final : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;
    void accept() override {
        QLineEdit* field = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = field ? field->text().trimmed() : QString();
        if (ui::IsWildcardName(ui::FromQString(typed).view())) {
            ListMatching(*field, typed);
            return;
        }
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const QFileInfo chosen(files.first());
            if (!chosen.isDir() && !QFileInfo(chosen.absolutePath()).isDir()) {
                SayMissing(chosen.absolutePath());
                return;
            }
        }
        QFileDialog::accept();
    }

  private:
    void SayMissing(const QString& folder) {
        auto* box = new QMessageBox(
            QMessageBox::Warning, windowTitle(),
            QDir::toNativeSeparators(folder) +
                QStringLiteral("\nPath does not exist.\nCheck the path and try again."),
            QMessageBox::Ok, this);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }

    // Goes to the typed folder, if any, and lists the files that match the
    // ";"-separated wildcards of the typed name until the user picks a type.
    void ListMatching(QLineEdit& field, const QString& typed) {
        const qsizetype cut =
            std::max(typed.lastIndexOf(QLatin1Char('/')), typed.lastIndexOf(QLatin1Char('\\')));
        const QString name = typed.mid(cut + 1);
        if (cut >= 0) {
            const QString folder =
                QDir(directory())
                    .absoluteFilePath(cut == 0 ? QStringLiteral("/")
                                               : QDir::fromNativeSeparators(typed.left(cut)));
            if (!QFileInfo(folder).isDir()) {
                SayMissing(folder);
                return;
            }
            setDirectory(folder);
        }
        QStringList wildcards;
        for (const QString& wildcard : name.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (!wildcard.trimmed().isEmpty()) wildcards << wildcard.trimmed();
        if (auto* files = findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model")))
            files->setNameFilters(wildcards);
        field.setText(name);
    }
};

// The initial folder and name, by the rule both layers share.
void SplitDefaultFile(const Text& defaultFile, QString& folder, QString& name) {
    const ui::InitialFile initial = ui::SplitDefaultFile(defaultFile);
    folder = ui::ToQString(initial.folder);
    name = ui::ToQString(initial.name);
}

// Sets up either file dialog from the arguments both take.
void Prepare(QFileDialog& dialog, QFileDialog::AcceptMode mode, const Text& defaultFile,
             const QStringList& filters, std::int32_t position) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(position >= 0 && position < filters.size() ? filters[position]
                                                                           : filters.first());
    }
    QString folder, name;
    SplitDefaultFile(defaultFile, folder, name);
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (!name.isEmpty()) dialog.selectFile(name);
}

// The 1-based number of the pair chosen in the dialog's type box; 0 for none.
std::int32_t SelectedPair(const QFileDialog& dialog, const QStringList& filters) {
    const qsizetype full = filters.indexOf(dialog.selectedNameFilter());
    if (full >= 0) return std::int32_t(full + 1);
    // Qt may name the type by the text it shows alone.
    const auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    const int shown = types ? types->currentIndex() : -1;
    return shown >= 0 && shown < filters.size() ? shown + 1 : 0;
}

// Runs the dialog with the program's other windows suspended; returns the
// chosen file, empty when cancelled, and notes the chosen pair.
QString Run(QFileDialog& dialog, const QStringList& filters) {
    if (SuspendOtherWindows()) dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int result = dialog.exec();
    RestoreOtherWindows();
    if (result != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return {};
    chosenPattern = SelectedPair(dialog, filters);
    return QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath());
}

} // namespace

Text ChooseFileToOpen(const Text& title, const Text& defaultFile, const Text& pattern,
                      std::int32_t position) {
    chosenPattern = 0;
    if (!qApp) return {};
    FileDialog dialog(DialogOwner(), ui::ToQString(title));
    const QStringList filters = NameFilters(pattern);
    Prepare(dialog, QFileDialog::AcceptOpen, defaultFile, filters, position);
    const QString chosen = Run(dialog, filters);
    // The whole path, however long; a name that is no UTF-8, which Qt shows
    // with U+FFFD, as the file's own.
    return chosen.isEmpty() ? Text() : PathOnDisk(ui::FromQString(chosen));
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
    FileDialog dialog(DialogOwner(), ui::ToQString(title));
    const QStringList filters = NameFilters(pattern);
    Prepare(dialog, QFileDialog::AcceptSave, defaultFile, filters, position);
    // A name without an extension gets that of the chosen pair.
    const auto useSuffix = [&] {
        const std::size_t pair = std::size_t(SelectedPair(dialog, filters));
        dialog.setDefaultSuffix(ui::ToQString(ui::PatternExtension(pattern, pair)));
    };
    useSuffix();
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, useSuffix);
    return ui::FromQString(Run(dialog, filters));
}

} // namespace qk
