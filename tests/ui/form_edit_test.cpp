// The language file editor: loading and saving, find and replace, and what
// closing does with changes.

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include "app/nocturo_application.h"
#include "core/ini_document.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/find_dialogs.h"
#include "lang/ui/form_edit.h"
#include "tests/ui/scripted_dialogs.h"

using namespace nocturo;
using nocturo::test::DialogScript;

namespace {

void Write(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Selected(const TFormEdit& editor) {
    return editor.RichEdit1()->textCursor().selectedText();
}

int SelectionStart(const TFormEdit& editor) {
    return editor.RichEdit1()->textCursor().selectionStart();
}

}  // namespace

class FormEditTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;

  private slots:
    void loadShowsKeysIndentedButSavesThePlainText() {
        const QByteArray text =
            "[File]\r\nName=\\lng\\fr.lng\r\n; note\r\n\r\n[Strings]\r\nkstleft=GAUCHE\r\n";
        Write(dir_.filePath("fr.lng"), text);
        TFormEdit editor;
        editor.LoadEditorFile(dir_.filePath("fr.lng"));
        QCOMPARE(editor.windowTitle(), "Edit : " + dir_.filePath("fr.lng"));
        QVERIFY(!editor.RichEdit1()->document()->isModified());
        QTextBlock block = editor.RichEdit1()->document()->begin();
        QVERIFY(block.blockFormat().textIndent() > 0);  // [File]
        block = block.next().next();
        QCOMPARE(block.text(), QString("; note"));
        QCOMPARE(block.blockFormat().textIndent(), 0.0);
        QVERIFY(editor.SaveEditorFile(dir_.filePath("copy.lng")));
        QCOMPARE(Read(dir_.filePath("copy.lng")), text);
        QCOMPARE(editor.CurrentPath(), dir_.filePath("copy.lng"));

        // A file that is not UTF-8 is read as Windows-1252.
        Write(dir_.filePath("old.lng"), "[Strings]\r\nkstleft=caf\xe9\r\n");
        editor.LoadEditorFile(dir_.filePath("old.lng"));
        QVERIFY(editor.RichEdit1()->toPlainText().endsWith(QString::fromUtf8("café")));

        // A file far too large for a language file is refused with a
        // message (a sparse file: no disk space is used).
        {
            DialogScript script;
            QFile huge(dir_.filePath("huge.lng"));
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(qint64(IniDocument::kMaxFileSize) + 1));
            huge.close();
            editor.LoadEditorFile(huge.fileName());
            QCOMPARE(script->Count("message"), 1);
            QVERIFY(editor.RichEdit1()->toPlainText().isEmpty());
            QFile::remove(huge.fileName());
        }

        // A missing file leaves an empty text.
        editor.LoadEditorFile(dir_.filePath("missing.lng"));
        QVERIFY(editor.RichEdit1()->toPlainText().isEmpty());
    }

    void findStartsAtTheBeginningWithoutASelection() {
        DialogScript script;
        TFormEdit editor;
        editor.RichEdit1()->setPlainText("Key=a\nkey=b\nother");
        QTextCursor caret = editor.RichEdit1()->textCursor();
        caret.setPosition(8);  // inside the second line, nothing selected
        editor.RichEdit1()->setTextCursor(caret);
        editor.FindDialog1()->SetFindText("key");
        editor.FindDialog1Find();
        QCOMPARE(SelectionStart(editor), 0);  // case is not matched
        QCOMPARE(Selected(editor), QString("Key"));
        // The next search starts after the selection.
        editor.FindDialog1Find();
        QCOMPARE(SelectionStart(editor), 6);
        // Not found: "Not find!", the caret goes to the beginning.
        editor.FindDialog1Find();
        QCOMPARE(script->Count("message"), 1);
        QCOMPARE(script->Last("message").caption, QString("Not find!"));
        QCOMPARE(script->Last("message").text, QString("key"));
        QVERIFY(!editor.RichEdit1()->textCursor().hasSelection());
        QCOMPARE(editor.RichEdit1()->textCursor().position(), 0);

        // F3 with the dialog open finds the next one at once.
        editor.show();
        editor.MenuEdit_SearchClick();
        QVERIFY(editor.FindDialog1()->isVisible());
        editor.MenuEdit_SearchClick();
        QCOMPARE(SelectionStart(editor), 0);
    }

    void replaceWhoseTextHoldsTheSearchFindsTheSamePlaceAgain() {
        DialogScript script;
        TFormEdit editor;
        editor.RichEdit1()->setPlainText("ab cd ab");
        TFindDialog* dialog = editor.ReplaceDialog1();
        dialog->SetFindText("ab");
        dialog->SetReplaceText("xab");
        editor.ReplaceDialog1Find();
        QCOMPARE(SelectionStart(editor), 0);
        editor.ReplaceDialog1Replace();
        QCOMPARE(editor.RichEdit1()->toPlainText(), QString("xab cd ab"));
        QCOMPARE(SelectionStart(editor), 1);  // the replacement's own "ab"
        editor.ReplaceDialog1Replace();
        QCOMPARE(editor.RichEdit1()->toPlainText(), QString("xxab cd ab"));
        QCOMPARE(SelectionStart(editor), 2);

        // Whole words and case, which the replace dialog offers.
        editor.RichEdit1()->setPlainText("Ab abc ab");
        dialog->SetMatchCase(true);
        dialog->SetWholeWord(true);
        dialog->SetReplaceText("--");
        editor.ReplaceDialog1Find();
        QCOMPARE(SelectionStart(editor), 7);
        editor.ReplaceDialog1Replace();
        QCOMPARE(editor.RichEdit1()->toPlainText(), QString("Ab abc --"));
        QCOMPARE(script->Count("message"), 1);  // nothing more to find
    }

    void closingWithChanges() {
        DialogScript script;
        const QString path = dir_.filePath("close.lng");
        Write(path, "[A]\r\nk=v\r\n");
        TFormEdit editor;

        // The Cancel button discards the changes without asking.
        editor.LoadEditorFile(path);
        editor.RichEdit1()->append("added");
        editor.show();
        editor.findChild<QPushButton*>("BitBtnCancel")->click();
        QCOMPARE(script->Count("message"), 0);
        QCOMPARE(Read(path), QByteArray("[A]\r\nk=v\r\n"));
        QVERIFY(!editor.isVisible());

        // OK asks; Cancel keeps the editor open, No closes without saving,
        // Yes saves to the current file.
        editor.LoadEditorFile(path);
        editor.RichEdit1()->append("added");
        editor.show();
        script->messages = {DialogButton::Cancel, DialogButton::No};
        editor.accept();
        QVERIFY(editor.isVisible());
        QCOMPARE(script->Last("message").text, QString::fromStdString(Lng().lngSaveEdit));
        QCOMPARE(script->Last("message").caption, path);
        editor.accept();
        QVERIFY(!editor.isVisible());
        QCOMPARE(Read(path), QByteArray("[A]\r\nk=v\r\n"));

        editor.LoadEditorFile(path);
        editor.RichEdit1()->append("added");
        editor.show();
        script->messages = {DialogButton::Yes};
        editor.accept();
        QVERIFY(!editor.isVisible());
        QCOMPARE(Read(path), QByteArray("[A]\r\nk=v\r\nadded\r\n"));

        // Unchanged: no question.
        const int asked = script->Count("message");
        editor.show();
        editor.accept();
        QCOMPARE(script->Count("message"), asked);
    }

    void escapeTheCloseBoxAndLoadingAskAboutChanges() {
        DialogScript script;
        const QString path = dir_.filePath("ask.lng");
        Write(path, "[A]\r\nk=v\r\n");
        TFormEdit editor;
        const auto closers = {+[](TFormEdit& e) { QTest::keyClick(&e, Qt::Key_Escape); },
                              +[](TFormEdit& e) { e.close(); },
                              +[](TFormEdit& e) { e.BitBtnLoadClick(); }};
        for (auto closeOrLoad : closers) {
            editor.LoadEditorFile(path);
            editor.RichEdit1()->append("added");
            editor.show();
            const int asked = script->Count("message");
            const int opened = script->Count("open");
            closeOrLoad(editor);  // answered Cancel: nothing happens
            QCOMPARE(script->Count("message"), asked + 1);
            QCOMPARE(script->Last("message").text, QString::fromStdString(Lng().lngSaveEdit));
            QVERIFY(editor.isVisible());
            QCOMPARE(script->Count("open"), opened);
            script->messages = {DialogButton::Yes};
            closeOrLoad(editor);
            QCOMPARE(Read(path), QByteArray("[A]\r\nk=v\r\nadded\r\n"));
            Write(path, "[A]\r\nk=v\r\n");
            editor.hide();
        }
    }

    void aFileNotLoadedIsNeverSavedOver() {
        DialogScript script;
        QFile huge(dir_.filePath("huge.lng"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(kMaxLanguageFileSize) + 1));
        huge.close();
        TFormEdit editor;
        editor.LoadEditorFile(huge.fileName());
        QVERIFY(editor.CurrentPath().isEmpty());
        QCOMPARE(script->Count("message"), 1);
        editor.RichEdit1()->insertPlainText("typed");
        editor.show();
        script->messages = {DialogButton::Yes};
        editor.accept();  // Yes, and no name given to save under
        QCOMPARE(script->Count("save"), 1);
        QCOMPARE(QFileInfo(huge.fileName()).size(), qint64(kMaxLanguageFileSize) + 1);
        QVERIFY(editor.isVisible());
        QFile::remove(huge.fileName());
    }

    void savingKeepsTheTextAsEdited() {
        const QString path = dir_.filePath("nbsp.lng");
        const QByteArray text =
            "[A]\r\nk=a\xC2\xA0:\xC2\xA0"
            "b\r\nj=x\r\n";
        Write(path, text);
        TFormEdit editor;
        editor.LoadEditorFile(path);
        QTextCursor cursor(editor.RichEdit1()->document()->lastBlock());
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertText("y");
        QVERIFY(editor.SaveEditorFile(path));
        QCOMPARE(Read(path), QByteArray("[A]\r\nk=a\xC2\xA0:\xC2\xA0"
                                        "b\r\nj=xy\r\n"));
    }

    void openEditorAsksForAFileWhenThereIsNone() {
        DialogScript script;
        Write(dir_.filePath("chosen.lng"), "[X]\r\n");
        script->openFiles.push_back({dir_.filePath("chosen.lng")});
        TFormEdit editor;
        QTimer::singleShot(0, &editor, [&] { editor.reject(); });
        editor.OpenEditor(dir_.filePath("none.lng"), dir_.path(), "Fichiers Langue (*.lng)|*.lng");
        const auto asked = script->Last("open");
        QCOMPARE(asked.options.folder, dir_.path());
        QCOMPARE(asked.options.filter, QString("Fichiers Langue (*.lng)|*.lng"));
        QCOMPARE(editor.CurrentPath(), dir_.filePath("chosen.lng"));
        QCOMPARE(editor.windowTitle(), QString("Edit"));
    }
};

int main(int argc, char** argv) {
    NocturoApplication app(argc, argv);
    FormEditTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "form_edit_test.moc"
