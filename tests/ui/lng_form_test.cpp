// The translation window: which file each button acts on, OK and Cancel,
// and the presses on its list.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "engine/ui/form_num_format.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/form_edit.h"
#include "lang/ui/form_lng.h"
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

/// A language file that names the number format window's caption.
QByteArray Marked(const char* caption) {
    return QByteArray("[FormNumFormat]\r\nCaption=") + caption + "\r\n";
}

}  // namespace

class LngFormTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString user_;
    std::unique_ptr<TFormMain> form_;

    TLngForm& Form() { return *form_->LngForm(); }
    QString NumFormatCaption() { return form_->FormNumFormat()->windowTitle(); }

  private slots:
    void init() {
        Lng() = LanguageStrings();
        user_ = dir_.filePath(QString("user%1/").arg(QTest::currentTestFunction()));
        QDir().mkpath(user_);
        SetLanguageFolders({user_.toStdString(), {}});
        form_ = std::make_unique<TFormMain>();
    }
    void cleanup() {
        form_.reset();
        SetLanguageFolders({});
        Lng() = LanguageStrings();
    }

    void withNothingSelectedEveryButtonActsOnCurrent() {
        DialogScript script;
        Write(user_ + "current.lng", Marked("Current"));
        Write(user_ + "fr.lng", Marked("French"));
        Form().RefreshLanguageList();
        // The first showing selects nothing: the remembered name is a path.
        QCOMPARE(Form().ListBox1()->count(), 2);
        QVERIFY(Form().ListBox1()->selectedItems().isEmpty());
        QCOMPARE(Form().SelectedLanguageName(), QString("current.lng"));

        Form().SpeedButtonApplyLngClick();
        QCOMPARE(NumFormatCaption(), QString("Current"));

        QTimer::singleShot(0, form_->FormEdit(), [this] { form_->FormEdit()->reject(); });
        Form().SpeedButtonEditLngClick();
        QCOMPARE(form_->FormEdit()->CurrentPath(), user_ + "current.lng");

        script->saveNames.push_back(user_ + "made.lng");
        Form().SpeedButtonSaveLngClick();
        const auto asked = script->Last("save");
        QCOMPARE(asked.options.fileName, QString("current.lng"));
        QCOMPARE(asked.options.folder, user_);
        QCOMPARE(asked.options.defaultExtension, QString("lng"));
        QCOMPARE(asked.caption, QString("Save a Language File"));
        // The new file is complete: the selected file's texts, and every
        // other text as shown.
        const QByteArray made = Read(user_ + "made.lng");
        QVERIFY(made.contains("[FormNumFormat]\r\nCaption=Current\r\n"));
        QVERIFY(made.contains("[FormMain.Quit1]\r\nCaption=Quit..\r\n"));
        QVERIFY(made.contains("Name=\\lng\\made.lng"));
        QCOMPARE(Form().ListBox1()->count(), 3);
    }

    void okCopiesTheSelectedFileOverCurrentAndRemembersIt() {
        Write(user_ + "current.lng", Marked("Current"));
        Write(user_ + "fr.lng", Marked("French"));
        Form().RefreshLanguageList();
        Form().ListBox1()->item(1)->setSelected(true);
        QCOMPARE(Form().SelectedLanguageName(), QString("fr.lng"));
        Form().BitBtnLngOkClick();
        QCOMPARE(Read(user_ + "current.lng"), Marked("French"));
        QCOMPARE(NumFormatCaption(), QString("French"));
        QCOMPARE(Form().RememberedName(), QString("fr.lng"));
        // The next showing selects the remembered entry.
        Form().RefreshLanguageList();
        QCOMPARE(Form().SelectedLanguageName(), QString("fr.lng"));

        // OK on "current.lng" itself copies nothing and applies it.
        Write(user_ + "current.lng", Marked("Edited"));
        Form().ListBox1()->clearSelection();
        Form().ListBox1()->item(0)->setSelected(true);
        QCOMPARE(Form().SelectedLanguageName(), QString("current.lng"));
        Form().BitBtnLngOkClick();
        QCOMPARE(Read(user_ + "current.lng"), Marked("Edited"));
        QCOMPARE(NumFormatCaption(), QString("Edited"));
    }

    void okTakesTheSelectedFileWhateverTheCaseOfItsExtension() {
        DialogScript script;
        Write(user_ + "FR.LNG", Marked("French"));
        Write(user_ + "gone.lng", Marked("Gone"));
        Form().RefreshLanguageList();
        Form().ListBox1()->item(1)->setSelected(true);
        QCOMPARE(Form().SelectedLanguageName(), QString("gone.lng"));
        // A file removed since the list was read is reported, and the texts
        // on screen are not written in its place.
        QVERIFY(QFile::remove(user_ + "gone.lng"));
        Form().BitBtnLngOkClick();
        QVERIFY(script->Last("message").text.contains("gone.lng"));
        QVERIFY(!QFile::exists(user_ + "current.lng"));

        Form().ListBox1()->item(0)->setSelected(true);
        QCOMPARE(Form().SelectedLanguageName(), QString("FR.LNG"));
        Form().BitBtnLngOkClick();
        QCOMPARE(Read(user_ + "current.lng"), Marked("French"));
        QCOMPARE(NumFormatCaption(), QString("French"));
    }

    void okWithoutCurrentWritesItFromTheTextsShown() {
        QVERIFY(!QFile::exists(user_ + "current.lng"));
        Form().RefreshLanguageList();
        Form().BitBtnLngOkClick();
        const QByteArray current = Read(user_ + "current.lng");
        QVERIFY(current.startsWith("[File]\r\nName=\\lng\\current.lng\r\n"));
        QVERIFY(current.contains("[FormNumFormat]\r\nCaption=FileName Num Format\r\n"));
        QCOMPARE(NumFormatCaption(), QString("FileName Num Format"));
    }

    void okThatCannotReplaceCurrentSaysSoAndKeepsIt() {
        DialogScript script;
        Write(user_ + "fr.lng", Marked("French"));
        // current.lng is a folder here: it can be neither read nor replaced.
        QDir().mkpath(user_ + "current.lng");
        Form().RefreshLanguageList();
        QCOMPARE(Form().ListBox1()->count(), 1);  // a folder is no language file
        Form().ListBox1()->item(0)->setSelected(true);
        Form().BitBtnLngOkClick();
        QVERIFY(script->Count("message") >= 1);
        QVERIFY(QFileInfo(user_ + "current.lng").isDir());
        QVERIFY(NumFormatCaption() != QString("French"));
    }

    void createIntoAnUnwritablePlaceSaysSo() {
        DialogScript script;
        Write(dir_.filePath("blocker"), "x");
        script->saveNames.push_back(dir_.filePath("blocker/new.lng"));
        Form().SpeedButtonSaveLngClick();
        QCOMPARE(script->Count("message"), 1);
        QVERIFY(!script->Last("message").text.isEmpty());
        QVERIFY(!QFile::exists(dir_.filePath("blocker/new.lng")));
    }

    void cancelUndoesAPreview() {
        Write(user_ + "current.lng", Marked("Current"));
        Write(user_ + "fr.lng", Marked("French"));
        Form().RefreshLanguageList();
        Form().ListBox1()->item(1)->setSelected(true);
        Form().SpeedButtonApplyLngClick();
        QCOMPARE(NumFormatCaption(), QString("French"));
        Form().BitBtnLngCancelClick();
        QCOMPARE(NumFormatCaption(), QString("Current"));
        QCOMPARE(Form().RememberedName(), QString("current.lng"));
        QCOMPARE(Read(user_ + "current.lng"), Marked("Current"));
    }

    void pressesOnTheList() {
        Write(user_ + "a.lng", Marked("A"));
        Write(user_ + "b.lng", Marked("B"));
        Form().resize(300, 400);
        Form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form()));
        QListWidget* list = Form().ListBox1();
        QCOMPARE(list->count(), 2);
        QWidget* viewport = list->viewport();

        // A press on the second entry selects it; one below the last entry
        // selects the first.
        const QPoint second = list->visualItemRect(list->item(1)).center();
        QTest::mousePress(viewport, Qt::LeftButton, {}, second);
        QCOMPARE(Form().SelectedLanguageName(), QString("b.lng"));
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(10, viewport->height() - 5));
        QCOMPARE(Form().SelectedLanguageName(), QString("a.lng"));

        // A double click applies the entry.
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, second);
        QCOMPARE(NumFormatCaption(), QString("B"));

        // The right button refills the list.
        Write(user_ + "c.lng", Marked("C"));
        QTest::mousePress(viewport, Qt::RightButton, {}, second);
        QCOMPARE(list->count(), 3);
        Form().BitBtnLngCancelClick();
        QVERIFY(!Form().isVisible());
    }

    void translateMenuShowsTheWindowModally() {
        DialogScript script;
        bool wasModal = false;
        QTimer::singleShot(0, &Form(), [&] {
            wasModal = Form().isVisible() && Form().isModal();
            Form().BitBtnLngCancelClick();
        });
        form_->Action("Translate1")->trigger();
        QVERIFY(wasModal);
    }
};

int main(int argc, char** argv) {
    NocturoApplication app(argc, argv);
    LngFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "lng_form_test.moc"
