#include "lang/ui/form_edit.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <string>
#include <string_view>

#include "core/ini_document.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/find_dialogs.h"
#include "widgets/dialogs.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

constexpr double kKeyIndentPoints = 20.0;

// Each line by the rule language files are read by: valid UTF-8 as it is,
// any other line as Windows-1252; a byte-order mark is dropped.
QString DecodeText(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    std::string text;
    text.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos <= bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        const std::string_view line = bytes.substr(pos, end - pos);
        text += IsUtf8(line) ? std::string(line) : Windows1252ToUtf8(line);
        if (end == bytes.size()) {
            break;
        }
        // CR LF, LF and a lone CR each end one line.
        text += '\n';
        pos = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return Q(text);
}

}  // namespace

TFormEdit::TFormEdit(QWidget* parent)
    : QDialog(parent),
      openDialog1_(std::make_unique<FileDialogOptions>()),
      saveDialog1_(std::make_unique<FileDialogOptions>()) {
    setObjectName("FormEdit");
    setWindowTitle("Language File Editor");
    setWindowFlag(Qt::Tool);
    setModal(true);
    setSizeGripEnabled(true);
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);
    resize(640, 520);

    auto* menuBar = new QMenuBar(this);
    auto addMenu = [&](const char* name, const QString& title) {
        QMenu* menu = menuBar->addMenu(title);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        return menu;
    };
    QMenu* file = addMenu("MenuEdit_File", "File");
    connect(AddItem(file, "MenuEdit_Load", "Open..."), &QAction::triggered, this,
            &TFormEdit::BitBtnLoadClick);
    connect(AddItem(file, "MenuEdit_Save", "Save As...", QKeySequence("Ctrl+S")),
            &QAction::triggered, this, &TFormEdit::BitBtnSaveClick);
    file->addSeparator();
    connect(AddItem(file, "MenuEdit_Close", "Close", QKeySequence("Ctrl+Q")), &QAction::triggered,
            this, &QDialog::accept);
    QMenu* edit = addMenu("MenuEdit_Edit", "Edit");
    connect(AddItem(edit, "MenuEdit_Search", "Find...", QKeySequence(Qt::Key_F3)),
            &QAction::triggered, this, &TFormEdit::MenuEdit_SearchClick);
    connect(AddItem(edit, "Remplacer1", "Replace..."), &QAction::triggered, this,
            &TFormEdit::Remplacer1Click);
    edit->addSeparator();

    richEdit1_ = new QTextEdit(this);
    richEdit1_->setObjectName("RichEdit1");
    richEdit1_->setAcceptRichText(false);
    richEdit1_->setLineWrapMode(QTextEdit::NoWrap);
    richEdit1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    richEdit1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    connect(AddItem(edit, "MenuEdit_Cut", "Cut", QKeySequence("Ctrl+X")), &QAction::triggered,
            richEdit1_, &QTextEdit::cut);
    connect(AddItem(edit, "MenuEdit_Copy", "Copy", QKeySequence("Ctrl+C")), &QAction::triggered,
            richEdit1_, &QTextEdit::copy);
    connect(AddItem(edit, "MenuEdit_Paste", "Paste", QKeySequence("Ctrl+V")), &QAction::triggered,
            richEdit1_, &QTextEdit::paste);

    auto* load = new QPushButton("Load...", this);
    load->setObjectName("BitBtnLoad");
    connect(load, &QPushButton::clicked, this, &TFormEdit::BitBtnLoadClick);
    auto* save = new QPushButton("Save", this);
    save->setObjectName("BitBtnSave");
    connect(save, &QPushButton::clicked, this, &TFormEdit::BitBtnSaveClick);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtnCancel");
    connect(cancel, &QPushButton::clicked, this, &TFormEdit::BitBtnCancelClick);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtnOk");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // Enter belongs to the text, not to a default button.
    for (QPushButton* button : {load, save, cancel, ok}) {
        button->setAutoDefault(false);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addWidget(richEdit1_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(load);
    buttons->addWidget(save);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    layout->addLayout(buttons);

    findDialog1_ = new TFindDialog(false, false, this);
    findDialog1_->setObjectName("FindDialog1");
    connect(findDialog1_, &TFindDialog::find, this, &TFormEdit::FindDialog1Find);
    replaceDialog1_ = new TFindDialog(true, true, this);
    replaceDialog1_->setObjectName("ReplaceDialog1");
    connect(replaceDialog1_, &TFindDialog::find, this, &TFormEdit::ReplaceDialog1Find);
    connect(replaceDialog1_, &TFindDialog::replace, this, &TFormEdit::ReplaceDialog1Replace);
}

TFormEdit::~TFormEdit() = default;

QAction* TFormEdit::AddItem(QMenu* menu, const char* name, const QString& caption,
                            const QKeySequence& shortcut) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    menu->addAction(action);
    addAction(action);  // shortcuts work while the menu is closed
    return action;
}

int TFormEdit::OpenEditor(const QString& path, const QString& folder, const QString& filter) {
    saveDialog1_->filter = filter;
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        LoadEditorFile(path);
    } else {
        openDialog1_->folder = folder;
        openDialog1_->fileName = path.isEmpty() ? QStringLiteral("*.*") : path;
        openDialog1_->filter = filter.isEmpty() ? QStringLiteral("*.*|*.*") : filter;
        openDialog1_->title.clear();
        LoadEditorFile(Dialogs::Get().OpenFileName(this, *openDialog1_));
    }
    if (parentWidget() != nullptr) {
        move(parentWidget()->window()->screen()->availableGeometry().center() - rect().center());
    }
    return exec();
}

void TFormEdit::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        setWindowTitle(Q(Lng().lngEdit));
    }
    QDialog::showEvent(event);
}

void TFormEdit::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Shown, the caption names the file in the editor's word of the new
    // language; hidden, it is the one the language file gives.
    if (event->type() == QEvent::LanguageChange && isVisible()) {
        setWindowTitle(currentPath_.isEmpty()
                           ? Q(Lng().lngEdit)
                           : Q(Lng().lngEdit) + QStringLiteral(" : ") + currentPath_);
    }
}

void TFormEdit::LoadEditorFile(const QString& path) {
    std::string bytes;
    std::string error;
    bool missing = false;
    if (!path.isEmpty() &&
        !ReadSmallFile(path.toStdString(), kMaxLanguageFileSize, bytes, &error, &missing) &&
        !missing) {
        // Too large, unreadable, no regular file: the editor holds no file
        // then, so that nothing typed is ever saved over it.
        currentPath_.clear();
        setWindowTitle(Q(Lng().lngEdit));
        richEdit1_->clear();
        richEdit1_->document()->setModified(false);
        Dialogs::Get().Message(this, Q(LocalizedError(error)), Q(Lng().lngEdit), {DialogButton::Ok},
                               MessageKind::Error);
        return;
    }
    currentPath_ = path;
    setWindowTitle(Q(Lng().lngEdit) + QStringLiteral(" : ") + path);
    if (path.isEmpty() || missing) {
        richEdit1_->clear();
        richEdit1_->document()->setModified(false);
        return;
    }
    QString text = DecodeText(bytes);
    bytes = std::string();
    if (text.endsWith(QLatin1Char('\n'))) {
        text.chop(1);
    }
    richEdit1_->setPlainText(text);

    // Sections and keys stand out by a first-line indent: display only,
    // the saved text is the plain one.
    const qreal indent = kKeyIndentPoints * logicalDpiX() / 72.0;
    QTextCursor cursor(richEdit1_->document());
    cursor.beginEditBlock();
    for (QTextBlock block = richEdit1_->document()->begin(); block.isValid();
         block = block.next()) {
        const QString line = block.text();
        if (line.contains(QLatin1Char('[')) || line.contains(QLatin1Char('='))) {
            QTextBlockFormat format = block.blockFormat();
            format.setTextIndent(indent);
            cursor.setPosition(block.position());
            cursor.setBlockFormat(format);
        }
    }
    cursor.endEditBlock();
    richEdit1_->document()->clearUndoRedoStacks();
    richEdit1_->moveCursor(QTextCursor::Start);
    richEdit1_->document()->setModified(false);
}

bool TFormEdit::SaveEditorFile(const QString& path) {
    // Line by line, as typed: the document's plain text would turn no-break
    // spaces into blanks. A line break typed with Shift+Enter ends a line too.
    QString text;
    const QTextDocument* document = richEdit1_->document();
    if (!document->isEmpty()) {
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            text += block.text().replace(QChar::LineSeparator, QStringLiteral("\r\n"));
            text += QStringLiteral("\r\n");
        }
    }
    std::string error;
    if (!WriteFileAtomically(path.toStdString(), text.toStdString(), &error)) {
        Dialogs::Get().Message(this, Q(LocalizedError(error)), path, {DialogButton::Ok},
                               MessageKind::Error);
        return false;
    }
    currentPath_ = path;
    setWindowTitle(Q(Lng().lngEdit) + QStringLiteral(" : ") + path);
    richEdit1_->document()->setModified(false);
    return true;
}

bool TFormEdit::SettleChanges() {
    if (!richEdit1_->document()->isModified()) {
        return true;
    }
    switch (Dialogs::Get().Message(this, Q(Lng().lngSaveEdit), currentPath_,
                                   {DialogButton::Yes, DialogButton::No, DialogButton::Cancel})) {
        case DialogButton::Yes:
            // A failed or cancelled save keeps the text: the changes are
            // still there to be saved elsewhere.
            if (currentPath_.isEmpty()) {
                BitBtnSaveClick();
            } else {
                SaveEditorFile(currentPath_);
            }
            return !richEdit1_->document()->isModified();
        case DialogButton::No:
            return true;
        default:
            return false;
    }
}

void TFormEdit::BitBtnCancelClick() {
    discarding_ = true;
    reject();
    discarding_ = false;
}

void TFormEdit::BitBtnLoadClick() {
    if (!SettleChanges()) {
        return;
    }
    const QFileInfo info(currentPath_);
    openDialog1_->folder = currentPath_.isEmpty() ? QString() : info.absolutePath();
    openDialog1_->fileName = info.fileName();
    openDialog1_->filter =
        saveDialog1_->filter.isEmpty() ? QStringLiteral("*.*|*.*") : saveDialog1_->filter;
    const QString chosen = Dialogs::Get().OpenFileName(this, *openDialog1_);
    if (!chosen.isEmpty()) {
        LoadEditorFile(chosen);
    }
}

void TFormEdit::BitBtnSaveClick() {
    const QFileInfo info(currentPath_);
    saveDialog1_->folder = currentPath_.isEmpty() ? QString() : info.absolutePath();
    saveDialog1_->fileName = info.fileName();
    const QString chosen = Dialogs::Get().SaveFileName(this, *saveDialog1_);
    if (!chosen.isEmpty()) {
        SaveEditorFile(chosen);
    }
}

void TFormEdit::done(int result) {
    findDialog1_->close();
    replaceDialog1_->close();
    // Only the Cancel button itself throws changes away unasked; Escape and
    // the close box ask, as OK does.
    if (!discarding_ && !SettleChanges()) {
        return;
    }
    QDialog::done(result);
}

void TFormEdit::ShowDialog(TFindDialog* dialog) {
    if (dialog->isVisible()) {
        FindNext(dialog);
        return;
    }
    dialog->move(richEdit1_->mapToGlobal(QPoint(0, 0)));
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void TFormEdit::MenuEdit_SearchClick() {
    ShowDialog(findDialog1_);
}

void TFormEdit::Remplacer1Click() {
    ShowDialog(replaceDialog1_);
}

void TFormEdit::FindDialog1Find() {
    FindNext(findDialog1_);
}

void TFormEdit::ReplaceDialog1Find() {
    FindNext(replaceDialog1_);
}

void TFormEdit::FindNext(TFindDialog* dialog) {
    const QTextCursor current = richEdit1_->textCursor();
    const int start = current.hasSelection() ? current.selectionEnd() : 0;
    QTextDocument::FindFlags flags;
    if (dialog->MatchCase()) {
        flags |= QTextDocument::FindCaseSensitively;
    }
    if (dialog->WholeWord()) {
        flags |= QTextDocument::FindWholeWords;
    }
    const QString text = dialog->FindText();
    const QTextCursor found =
        text.isEmpty() ? QTextCursor() : richEdit1_->document()->find(text, start, flags);
    if (found.isNull()) {
        Dialogs::Get().Message(this, text, Q(Lng().txtNotFound), {DialogButton::Ok},
                               MessageKind::Information);
        richEdit1_->moveCursor(QTextCursor::Start);
        return;
    }
    richEdit1_->setFocus();
    richEdit1_->setTextCursor(found);
}

void TFormEdit::ReplaceDialog1Replace() {
    QTextCursor cursor = richEdit1_->textCursor();
    if (cursor.hasSelection()) {
        const int start = cursor.selectionStart();
        cursor.insertText(replaceDialog1_->ReplaceText());
        cursor.setPosition(start);
        richEdit1_->setTextCursor(cursor);
    }
    FindNext(replaceDialog1_);
}

}  // namespace nocturo
