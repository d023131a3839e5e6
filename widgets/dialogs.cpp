#include "widgets/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "lang/language_strings.h"

namespace nocturo {

namespace {

std::unique_ptr<Dialogs>& Slot() {
    static std::unique_ptr<Dialogs> dialogs;
    return dialogs;
}

QMessageBox::StandardButton ToQt(DialogButton b) {
    switch (b) {
        case DialogButton::Ok:
            return QMessageBox::Ok;
        case DialogButton::Cancel:
            return QMessageBox::Cancel;
        case DialogButton::Yes:
            return QMessageBox::Yes;
        case DialogButton::No:
            return QMessageBox::No;
        case DialogButton::YesToAll:
            return QMessageBox::YesToAll;
        case DialogButton::NoToAll:
            return QMessageBox::NoToAll;
        case DialogButton::None:
            break;
    }
    return QMessageBox::NoButton;
}

DialogButton FromQt(int b) {
    switch (b) {
        case QMessageBox::Ok:
            return DialogButton::Ok;
        case QMessageBox::Cancel:
            return DialogButton::Cancel;
        case QMessageBox::Yes:
            return DialogButton::Yes;
        case QMessageBox::No:
            return DialogButton::No;
        case QMessageBox::YesToAll:
            return DialogButton::YesToAll;
        case QMessageBox::NoToAll:
            return DialogButton::NoToAll;
        default:
            return DialogButton::None;
    }
}

// Whether a window of the program that stays on top is showing: a
// question must then stay on top too, or it opens beneath it.
bool StayOnTopWindowShown() {
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
            return true;
        }
    }
    return false;
}

// Makes a dialog about to run modally the topmost window of the program:
// above every tool window, active, and on top again once it is shown.
void PutOnTop(QDialog& dialog) {
    if (StayOnTopWindowShown()) {
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.raise();
        dialog.activateWindow();
    });
}

QString StartFolder(const QString& folder) {
    return folder.isEmpty() ? QDir::currentPath() : folder;
}

// Picks the start folder and name of a file dialog from the options.
void Prepare(QFileDialog& dialog, const FileDialogOptions& options) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    dialog.setWindowTitle(options.title);
    const QStringList filters = QtNameFilters(options.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = options.filterIndex - 1;
        if (index >= 0 && index < filters.size()) {
            dialog.selectNameFilter(filters[index]);
        }
    }
    dialog.setDefaultSuffix(options.defaultExtension);
    QString folder = options.folder;
    QString name = options.fileName;
    const QFileInfo info(name);
    if (!name.isEmpty() && (info.isAbsolute() || name.contains('/'))) {
        folder = info.absolutePath();
        name = info.fileName();
    }
    dialog.setDirectory(StartFolder(folder));
    if (!name.isEmpty()) {
        dialog.selectFile(name);
    }
}

void TakeBack(const QFileDialog& dialog, FileDialogOptions& options, const QString& chosen) {
    const int index = QtNameFilters(options.filter).indexOf(dialog.selectedNameFilter());
    if (index >= 0) {
        options.filterIndex = index + 1;
    }
    options.fileName = chosen;
}

// Shows one file dialog as the options describe; the names chosen, or none
// on Cancel. Saving never asks before overwriting: the commands ask.
QStringList RunFileDialog(QWidget* parent, FileDialogOptions& options,
                          QFileDialog::AcceptMode acceptMode, QFileDialog::FileMode fileMode) {
    QFileDialog dialog(DialogParent(parent));
    PutOnTop(dialog);
    Prepare(dialog, options);
    dialog.setAcceptMode(acceptMode);
    dialog.setFileMode(fileMode);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    const QStringList chosen = dialog.selectedFiles();
    TakeBack(dialog, options, chosen.first());
    return chosen;
}

// A folder dialog that also accepts a typed folder that does not exist yet,
// so the command can offer to create it.
class FolderDialog : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;

  protected:
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && !QFileInfo::exists(chosen.first())) {
            typed_ = chosen.first();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

  public:
    QString typed_;
};

}  // namespace

Dialogs& Dialogs::Get() {
    if (!Slot()) {
        Slot() = std::make_unique<QtDialogs>();
    }
    return *Slot();
}

std::unique_ptr<Dialogs> Dialogs::Install(std::unique_ptr<Dialogs> dialogs) {
    std::unique_ptr<Dialogs> previous = std::move(Slot());
    Slot() = std::move(dialogs);
    return previous;
}

QString SaveFileNameAskingToReplace(QWidget* parent, FileDialogOptions& options,
                                    const std::function<QString(const QString&)>& question,
                                    const QString& caption,
                                    const std::function<DialogButton(const QString&)>& acceptName) {
    for (;;) {
        const QString chosen = Dialogs::Get().SaveFileName(parent, options);
        if (!chosen.isEmpty() && acceptName) {
            const DialogButton accepted = acceptName(chosen);
            if (accepted == DialogButton::No) {
                options.fileName = chosen;
                continue;
            }
            if (accepted != DialogButton::Yes) {
                return QString();
            }
        }
        if (chosen.isEmpty() || !QFileInfo::exists(chosen)) {
            return chosen;
        }
        const DialogButton answer = Dialogs::Get().Message(
            parent, question(chosen), caption,
            {DialogButton::Yes, DialogButton::No, DialogButton::Cancel}, MessageKind::Warning);
        if (answer == DialogButton::Yes) {
            return chosen;
        }
        if (answer != DialogButton::No) {
            return QString();
        }
        options.fileName = chosen;
    }
}

QWidget* DialogParent(QWidget* requested) {
    // A question asked while another is open belongs above that one.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr) {
        return modal;
    }
    // The window the user works in, which may be a tool window above the
    // one that asks (Info Image, the folder browser).
    if (QWidget* active = QApplication::activeWindow();
        active != nullptr && active->isVisible() && !active->inherits("QMenu")) {
        return active;
    }
    return requested != nullptr ? requested->window() : nullptr;
}

void WidenForTitle(QWidget* window) {
    // The title bar's own font is the window manager's; a bold one a little
    // larger than the window's stands for it, beside the icon and the three
    // buttons of a title bar.
    constexpr int kTitleBarRoom = 120;
    QFont font = window->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    const int needed = QFontMetrics(font).horizontalAdvance(window->windowTitle()) + kTitleBarRoom;
    if (window->minimumSize() == window->maximumSize()) {
        window->setFixedSize(window->sizeHint().expandedTo(QSize(needed, 0)));
        return;
    }
    if (window->width() < needed && window->maximumWidth() >= needed) {
        window->resize(needed, window->height());
    }
}

QString PlainCaption(const QString& caption) {
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;  // "&&" is one "&"; "&x" is x, underlined
        }
        plain += caption[i];
    }
    return plain;
}

QStringList QtNameFilters(const QString& filter) {
    QStringList out;
    const QStringList parts =
        QString::fromStdString(LocalizedFilter(filter.toStdString())).split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            const QString trimmed = p.trimmed();
            patterns << trimmed;
            // Linux names are case-sensitive; "*.JPG" must find "a.jpg" too.
            if (trimmed != "*.*" && trimmed.toLower() != trimmed) {
                patterns << trimmed.toLower();
            }
        }
        QString text = parts[i];
        if (text.contains('(')) {
            // "All Files (*.*)" already shows its patterns; Qt reads the
            // patterns from the parentheses, so put the real ones there.
            text = text.left(text.indexOf('(')).trimmed();
        }
        out << QStringLiteral("%1 (%2)").arg(text, patterns.join(' ').replace("*.*", "*"));
    }
    return out;
}

DialogButton QtDialogs::Message(QWidget* parent, const QString& text, const QString& caption,
                                std::vector<DialogButton> buttons, MessageKind kind) {
    QMessageBox box(DialogParent(parent));
    PutOnTop(box);
    box.setWindowTitle(caption);
    // Texts hold file names and language strings: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (kind) {
        case MessageKind::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageKind::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageKind::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageKind::Error:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    QMessageBox::StandardButtons set;
    for (DialogButton b : buttons) {
        set |= ToQt(b);
    }
    box.setStandardButtons(set);
    if (!buttons.empty()) {
        box.setDefaultButton(ToQt(buttons.front()));
    }
    const DialogButton pressed = FromQt(box.exec());
    if (pressed != DialogButton::None) {
        return pressed;
    }
    for (DialogButton escape : {DialogButton::Cancel, DialogButton::No}) {
        for (DialogButton b : buttons) {
            if (b == escape) {
                return b;
            }
        }
    }
    return buttons.size() == 1 ? buttons.front() : DialogButton::Cancel;
}

bool QtDialogs::InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                           QString& value) {
    QInputDialog dialog(DialogParent(parent));
    PutOnTop(dialog);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setTextValue(value);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    value = dialog.textValue();
    return true;
}

QStringList QtDialogs::OpenFileNames(QWidget* parent, FileDialogOptions& options) {
    return RunFileDialog(parent, options, QFileDialog::AcceptOpen, QFileDialog::ExistingFiles);
}

QString QtDialogs::OpenFileName(QWidget* parent, FileDialogOptions& options) {
    const QStringList chosen =
        RunFileDialog(parent, options, QFileDialog::AcceptOpen, QFileDialog::ExistingFile);
    return chosen.isEmpty() ? QString() : chosen.first();
}

QString QtDialogs::SaveFileName(QWidget* parent, FileDialogOptions& options) {
    const QStringList chosen =
        RunFileDialog(parent, options, QFileDialog::AcceptSave, QFileDialog::AnyFile);
    return chosen.isEmpty() ? QString() : chosen.first();
}

QString QtDialogs::Folder(QWidget* parent, const QString& caption, const QString& start) {
    FolderDialog dialog(DialogParent(parent), caption, StartFolder(start));
    PutOnTop(dialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    if (!dialog.typed_.isEmpty()) {
        return dialog.typed_;
    }
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

std::optional<QColor> QtDialogs::Colour(QWidget* parent, const QColor& initial) {
    QColorDialog dialog(initial, DialogParent(parent));
    PutOnTop(dialog);
    if (dialog.exec() != QDialog::Accepted || !dialog.selectedColor().isValid()) {
        return std::nullopt;
    }
    return dialog.selectedColor();
}

}  // namespace nocturo
