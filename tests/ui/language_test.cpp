// Language files on the windows: what the walk writes, what applying a file
// changes and what it leaves alone, and the menu items that switch
// languages.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

#include "app/form_about.h"
#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "app/status_bar.h"
#include "core/ini_document.h"
#include "engine/ui/form_num_format.h"
#include "engine/ui/form_sample.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/language_ui.h"
#include "lang/ui/window_texts.h"
#include "tests/ui/scripted_dialogs.h"

using namespace nocturo;
using nocturo::test::DialogScript;

namespace {

IniDocument Load(const QString& path) {
    IniDocument file;
    file.LoadFile(path.toStdString());
    return file;
}

IniDocument Parse(const char* text) {
    return IniDocument::FromBytes(text);
}

/// A text as Qt shows it where it guesses between markup and plain text
/// (tooltips, labels in their default format).
QString AsShown(const QString& text) {
    QTextDocument document;
    if (Qt::mightBeRichText(text)) {
        document.setHtml(text);
    } else {
        document.setPlainText(text);
    }
    return document.toPlainText();
}

/// A small window with one control of each kind the walk knows.
struct TestWindow {
    QDialog window;
    QComboBox* combo = nullptr;
    QPlainTextEdit* memo = nullptr;
    QAction* item = nullptr;
    QAction* menuSeparator = nullptr;
    QAction* barSeparator = nullptr;
    QToolButton* tool = nullptr;
    QLabel* label = nullptr;
    QPushButton* unnamed = nullptr;

    TestWindow() {
        window.setObjectName("FormTest");
        window.setWindowTitle("Test");
        auto* layout = new QVBoxLayout(&window);
        auto* bar = new QMenuBar(&window);
        QMenu* menu = bar->addMenu("Menu");
        menu->menuAction()->setObjectName("Menu1");
        item = menu->addAction("Item");
        item->setObjectName("Item1");
        menuSeparator = menu->addSeparator();
        menuSeparator->setObjectName("N1");
        layout->setMenuBar(bar);
        auto* toolBar = new QToolBar(&window);
        tool = new QToolButton(toolBar);
        tool->setObjectName("ToolButton1");
        tool->setToolTip("Tool hint");
        toolBar->addWidget(tool);
        barSeparator = toolBar->addSeparator();
        barSeparator->setObjectName("ToolButton2");
        layout->addWidget(toolBar);
        combo = new QComboBox(&window);
        combo->setObjectName("ComboBox1");
        combo->addItems({"one", "two", "three"});
        combo->setCurrentIndex(2);
        layout->addWidget(combo);
        memo = new QPlainTextEdit(&window);
        memo->setObjectName("Memo1");
        memo->setPlainText("first\n\n  third  ");
        layout->addWidget(memo);
        label = new QLabel(" Label ", &window);
        label->setObjectName("Label1");
        layout->addWidget(label);
        unnamed = new QPushButton("Unnamed", &window);
        layout->addWidget(unnamed);
    }
    QList<QWidget*> Windows() { return {&window}; }
};

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        Lng() = LanguageStrings();
        LanguageCode() = "??";
        SetLanguageFolders({});
    }
    void cleanup() { init(); }

    void walkWritesEachKindAndLeavesOutSeparatorsAndUnnamedControls() {
        TestWindow test;
        IniDocument file;
        SaveWindowTexts(file, test.Windows());
        QCOMPARE(file.ReadString("FormTest", "Caption"), std::string("Test"));
        QCOMPARE(file.ReadString("FormTest.Item1", "Caption"), std::string("Item"));
        QCOMPARE(file.ReadString("FormTest.Menu1", "Caption"), std::string("Menu"));
        QVERIFY(!file.HasSection("FormTest.N1"));
        QVERIFY(file.HasKey("FormTest.ToolButton2", "Caption"));
        QCOMPARE(file.ReadString("FormTest.ToolButton1", "Hint"), std::string("Tool hint"));
        QCOMPARE(file.ReadInteger("FormTest.ComboBox1", "ItemsCount", -9), 3);
        QCOMPARE(file.ReadString("FormTest.ComboBox1", "ItemsString0"), std::string("one"));
        QCOMPARE(file.ReadString("FormTest.ComboBox1", "ItemsString2"), std::string("three"));
        QCOMPARE(file.ReadInteger("FormTest.ComboBox1", "ItemIndex", -9), 2);
        QCOMPARE(file.ReadInteger("FormTest.Memo1", "ItemsCount", -9), 3);
        QCOMPARE(file.ReadString("FormTest.Memo1", "Lines001", "x"), std::string());
        // A label placed on the window gets the keys of both tables.
        QCOMPARE(file.Keys("FormTest.Label1"), (std::vector<std::string>{"Hint", "Caption"}));
        for (const std::string& section : file.Sections()) {
            QVERIFY2(section.find("qt_") == std::string::npos, section.c_str());
        }
        QCOMPARE(int(file.SectionCount()), 8);
    }

    void applyingChangesEachKindAndSkipsSeparators() {
        TestWindow test;
        ApplyWindowTexts(Parse("[formtest]\nCAPTION=Essai\n"
                               "[FormTest.Item1]\ncaption=Article\nhint=Aide\n"
                               "[FormTest.N1]\nCaption=Faux\n"
                               "[FormTest.ToolButton2]\nCaption=X\nHint=Y\n"
                               "[FormTest.ToolButton1]\nHint=Outil\n"
                               "[FormTest.Memo1]\nItemsCount=2\nlines000=un\nLINES001=deux\n"
                               "[FormTest.ComboBox1]\nItemsCount=2\nItemsString0=a\n"
                               "ItemsString1=\nItemIndex=1\n"
                               "[FormTest.Label1]\nCaption=Etiquette\n"),
                         test.Windows());
        QCOMPARE(test.window.windowTitle(), QString("Essai"));
        QCOMPARE(test.item->text(), QString("Article"));
        QCOMPARE(test.item->statusTip(), QString("Aide"));
        QVERIFY(test.menuSeparator->isSeparator());
        QVERIFY(test.menuSeparator->text().isEmpty());
        QVERIFY(test.barSeparator->isSeparator());
        QVERIFY(test.barSeparator->text().isEmpty());
        QVERIFY(test.barSeparator->toolTip().isEmpty() || test.barSeparator->toolTip() != "Y");
        QCOMPARE(test.tool->toolTip(), QString("Outil"));
        QCOMPARE(test.memo->toPlainText(), QString("un\ndeux"));
        // Empty items are appended too.
        QCOMPARE(test.combo->count(), 2);
        QCOMPARE(test.combo->itemText(1), QString());
        QCOMPARE(test.combo->currentIndex(), 1);
        QCOMPARE(test.label->text(), QString("Etiquette"));
        QCOMPARE(test.unnamed->text(), QString("Unnamed"));
    }

    void textsFromAFileAreNeverMarkup() {
        TestWindow test;
        auto* about = new QLabel("About", &test.window);
        about->setObjectName("Label2");
        ApplyWindowTexts(Parse("[FormTest]\nCaption=T\n"
                               "[FormTest.Label1]\nCaption=<img src=\"/x.png\">\nHint=<b>h</b>\n"
                               "[FormTest.Label2]\nCaption=<b>bold</b> & more\n"
                               "[FormTest.ToolButton1]\nHint=<i>tool</i>\n"
                               "[FormTest.Item1]\nCaption=<u>item</u>\n"),
                         test.Windows());
        QCOMPARE(test.label->textFormat(), Qt::PlainText);
        QCOMPARE(test.label->text(), QString("<img src=\"/x.png\">"));
        QCOMPARE(about->textFormat(), Qt::PlainText);
        QCOMPARE(AsShown(test.label->toolTip()), QString("<b>h</b>"));
        QCOMPARE(AsShown(test.tool->toolTip()), QString("<i>tool</i>"));
        QCOMPARE(AsShown(test.item->toolTip()), QString("<u>item</u>"));
        // Written back as they were read.
        IniDocument file;
        SaveWindowTexts(file, test.Windows());
        QCOMPARE(file.ReadString("FormTest.Label1", "Hint"), std::string("<b>h</b>"));
        QCOMPARE(file.ReadString("FormTest.ToolButton1", "Hint"), std::string("<i>tool</i>"));

        // Message texts, which hold language strings, are plain too.
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&format] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                box->done(QMessageBox::Ok);
            }
        });
        QtDialogs().Message(nullptr, "<img src=\"/x.png\">", "t", {DialogButton::Ok},
                            MessageKind::Information);
        QCOMPARE(format, Qt::PlainText);
    }

    void windowSectionWithoutCaptionChangesNothing() {
        TestWindow test;
        const char* withoutCaption =
            "[FormTest]\nHint=x\n[FormTest.Label1]\nCaption=Changed\n"
            "[FormTest.ComboBox1]\nItemIndex=0\n";
        ApplyWindowTexts(Parse(withoutCaption), test.Windows());
        QCOMPARE(test.label->text(), QString(" Label "));
        QCOMPARE(test.combo->currentIndex(), 2);
        QCOMPARE(test.window.windowTitle(), QString("Test"));
    }

    void comboWithoutSectionSelectsItsFirstItem() {
        TestWindow test;
        ApplyWindowTexts(Parse("[FormTest]\nCaption=Test\n"), test.Windows());
        QCOMPARE(test.combo->currentIndex(), 0);
        QCOMPARE(test.combo->count(), 3);
        // Empty values and a missing count leave texts as they are.
        QCOMPARE(test.memo->toPlainText(), QString("first\n\n  third  "));
        QCOMPARE(test.label->text(), QString(" Label "));
    }

    void comboOfUserDataKeepsItsItems() {
        TestWindow test;
        test.combo->setProperty(kLanguageItemsProperty, false);
        test.combo->setToolTip("Folders visited");
        IniDocument file;
        SaveWindowTexts(file, test.Windows());
        QCOMPARE(file.Keys("FormTest.ComboBox1"), (std::vector<std::string>{"Hint"}));
        ApplyWindowTexts(Parse("[FormTest]\nCaption=Test\n[FormTest.ComboBox1]\nHint=Dossiers\n"
                               "ItemsCount=1\nItemsString0=/home/translator\nItemIndex=0\n"),
                         test.Windows());
        QCOMPARE(test.combo->count(), 3);
        QCOMPARE(test.combo->currentIndex(), 2);
        QCOMPARE(test.combo->toolTip(), QString("Dossiers"));
    }

    void brokenCountsAreNeitherLoopedOverNorCrashing() {
        TestWindow test;
        ApplyWindowTexts(Parse("[FormTest]\nCaption=Test\n"
                               "[FormTest.Memo1]\nItemsCount=-5\n"
                               "[FormTest.ComboBox1]\nItemsCount=99999999999\nItemIndex=7\n"),
                         test.Windows());
        QCOMPARE(test.memo->toPlainText(), QString("first\n\n  third  "));
        QCOMPARE(test.combo->count(), 3);  // a count that is no 32-bit number reads as 0
        QCOMPARE(test.combo->currentIndex(), -1);
    }

    void saveThenApplyLeavesEveryTextButOuterBlanks() {
        TFormMain form;
        QTemporaryDir dir;
        const QString first = dir.filePath("first.lng");
        const QString second = dir.filePath("second.lng");
        QVERIFY(SaveLanguageFile(first));
        const QString banner = form.windowTitle();

        // Change every text through a file, then apply the saved one: all
        // texts come back. (An empty text cannot come back: an empty value
        // leaves a text as it is.)
        IniDocument changed = Load(first);
        for (const std::string& section : changed.Sections()) {
            for (const auto& [key, value] : changed.Values(section)) {
                if (value.empty()) {
                    continue;
                }
                if (key == "Caption" || key == "Hint" || key == "Text" ||
                    key.rfind("ItemsString", 0) == 0 || key.rfind("Lines", 0) == 0) {
                    changed.WriteString(section, key, "Z" + value);
                }
            }
        }
        QVERIFY(changed.SaveFile(dir.filePath("changed.lng").toStdString()));
        QVERIFY(ApplyLanguageFile(dir.filePath("changed.lng")));
        QCOMPARE(form.Action("Quit1")->text(), QString("ZQuit.."));
        QCOMPARE(form.windowTitle(), banner);  // the banner is never replaced

        QVERIFY(ApplyLanguageFile(first));
        QVERIFY(SaveLanguageFile(second));
        const IniDocument a = Load(first);
        const IniDocument b = Load(second);
        QCOMPARE(a.Sections(), b.Sections());
        int blanksLost = 0;
        for (const std::string& section : a.Sections()) {
            const auto before = a.Values(section);
            const auto after = b.Values(section);
            QCOMPARE(before.size(), after.size());
            for (size_t i = 0; i < before.size(); ++i) {
                if (before[i].first == "Name") {
                    continue;
                }
                const QString was = QString::fromStdString(before[i].second);
                const QString now = QString::fromStdString(after[i].second);
                QVERIFY2(now == was || now == was.trimmed(),
                         (section + "." + before[i].first + ": " + after[i].second).c_str());
                blanksLost += now != was;
            }
        }
        QCOMPARE(blanksLost, 0);  // both files were read, which trims
        // The zoom label's outer blanks were written, then lost on reading.
        QFile raw(first);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(raw.readAll().contains("Caption= Z = 50% \r\n"));
        // The label itself shows the zoom again once the language is applied.
        QCOMPARE(form.findChild<QLabel*>("Label100")->text(), QString(" Z = 50% "));
        QCOMPARE(form.windowTitle(), banner);
    }

    void toolButtonOnBarWithoutHintsKeepsItsHintHidden() {
        TFormMain form;
        QTemporaryDir dir;
        const QString path = dir.filePath("hints.lng");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "[FormMain]\nCaption=x\n[FormMain.ToolButtonUp1]\nHint=Monter\n"
            "[FormMain.ToolButtonUp2]\nHint=Monter\n");
        file.close();
        QVERIFY(ApplyLanguageFile(path));
        auto* up1 = form.findChild<QToolButton*>("ToolButtonUp1");
        auto* up2 = form.findChild<QToolButton*>("ToolButtonUp2");
        QVERIFY(up1 && up2);
        QVERIFY(up1->toolTip().isEmpty());
        QCOMPARE(up1->property("hint").toString(), QString("Monter"));
        QCOMPARE(up2->toolTip(), QString("Monter"));
        // Written back as kept.
        IniDocument saved;
        SaveWindowTexts(saved, {&form});
        QCOMPARE(saved.ReadString("FormMain.ToolButtonUp1", "Hint"), std::string("Monter"));
    }

    void keyCaseIgnoredForStringsAndTheLeftListTitle() {
        TFormMain form;
        QTemporaryDir dir;
        QFile file(dir.filePath("caps.lng"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[STRINGS]\r\nKSTCAPTION1=Liste de gauche\r\n[FILE]\r\nLANGUAGE=Fr\r\n");
        file.close();
        QVERIFY(ApplyLanguageFile(file.fileName()));
        QCOMPARE(form.ListTitle(), QString("Liste de gauche"));
        QCOMPARE(LanguageCode(), std::string("Fr"));

        // A file written on Windows in Windows-1252 reads as such.
        QFile old(dir.filePath("old.lng"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(
            "[FormMain]\r\nCaption=x\r\n[FormMain.Fichier1]\r\nCaption=Fichiers \xe0 traiter\r\n");
        old.close();
        QVERIFY(ApplyLanguageFile(old.fileName()));
        QCOMPARE(form.Action("Fichier1")->text(), QString::fromUtf8("Fichiers à traiter"));
        // A file is a language as a whole: what it lacks is English again.
        QCOMPARE(form.ListTitle(), QString("Left List"));

        // A missing file changes nothing but the language code.
        QVERIFY(ApplyLanguageFile(file.fileName()));
        QVERIFY(ApplyLanguageFile(dir.filePath("missing.lng")));
        QCOMPARE(LanguageCode(), std::string("??"));
        QCOMPARE(form.ListTitle(), QString("Liste de gauche"));
    }

    void unwritableFolderFailsWithAMessageAndKeepsTheOldFile() {
        TFormMain form;
        QTemporaryDir dir;
        // A folder that cannot be made: its parent is a file.
        QFile blocker(dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString error;
        QVERIFY(!SaveLanguageFile(dir.filePath("blocker/lng/fr.lng"), &error));
        QVERIFY(!error.isEmpty());

        // A file that cannot be replaced stays as it was.
        QDir(dir.path()).mkpath("taken.lng");
        error.clear();
        QVERIFY(!SaveLanguageFile(dir.filePath("taken.lng"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(dir.filePath("taken.lng")).isDir());

        // An unreadable language file is reported, nothing changes.
        error.clear();
        QVERIFY(!ApplyLanguageFile(dir.filePath("taken.lng"), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(form.Action("Quit1")->text(), QString("Quit.."));
    }

    void aLanguageLeavesNothingOfTheOneBefore() {
        TFormMain form;
        form.findChild<QSlider*>("TrackBar1")->setValue(120);
        QVERIFY(ApplyLanguageFile(NOCTURO_SOURCE_DIR "/lang/lng/fr.lng"));
        QCOMPARE(form.Action("Fichier1")->text(), QString("Fichiers"));
        QCOMPARE(form.findChild<QLabel*>("Label100")->text(), QString(" Z = 120% "));
        form.FormSample()->Edit1()->setText("77");
        // A file that translates one caption: everything else is English
        // again, what the user typed stays.
        QTemporaryDir dir;
        QFile file(dir.filePath("one.lng"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "[File]\r\nLanguage=Xx\r\n[FormMain]\r\nCaption=x\r\n"
            "[FormMain.Quit1]\r\nCaption=Sortir\r\nHint=\r\n"
            "[FormMain.ToolButtonUp2]\r\nHint=\r\n");
        file.close();
        QVERIFY(ApplyLanguageFile(file.fileName()));
        QCOMPARE(form.Action("Quit1")->text(), QString("Sortir"));
        QCOMPARE(form.Action("Fichier1")->text(), QString("Files"));
        QCOMPARE(form.findChild<QToolButton*>("ToolButtonUp2")->toolTip(), QString("Up"));
        QCOMPARE(form.FormAbout()->windowTitle(), QString("About.."));
        QCOMPARE(form.FormSample()->Edit1()->text(), QString("77"));
        QCOMPARE(QString::fromStdString(Lng().kstemptylist), QString("Empty List"));
        QCOMPARE(form.Action("LoadList1")->text(), QString("Load LEFT current list"));
    }

    void menuSwitchesLanguageAndStartUpAppliesCurrent() {
        DialogScript script;
        QTemporaryDir dir;
        const QString user = dir.filePath("user/");
        QDir().mkpath(user);
        QVERIFY(QFile::copy(NOCTURO_SOURCE_DIR "/lang/lng/fr.lng", user + "fr.lng"));
        QVERIFY(QFile::copy(NOCTURO_SOURCE_DIR "/lang/lng/en.lng", user + "en.lng"));
        QVERIFY(QFile::copy(NOCTURO_SOURCE_DIR "/lang/lng/de.lng", user + "de.lng"));
        SetLanguageFolders({user.toStdString(), {}});
        {
            TFormMain form;
            QCOMPARE(form.Action("Fichier1")->text(), QString("Files"));
            form.Action("Fr1")->trigger();
            QCOMPARE(form.Action("Fichier1")->text(), QString("Fichiers"));
            QCOMPARE(form.FormNumFormat()->windowTitle(),
                     QString::fromUtf8("Format des numéros de fichier"));
            // The status bar shows the left list's entry again, in French.
            QCOMPARE(form.StatusBar1()->PanelText(2), QString("Liste vide"));
            form.Action("En1")->trigger();
            QCOMPARE(form.Action("Fichier1")->text(), QString("Files"));
            QCOMPARE(form.StatusBar1()->PanelText(2), QString("Empty List"));
            form.Action("De1")->trigger();
            QCOMPARE(form.Action("Fichier1")->text(), QString("Dateien"));
        }
        // The next start with German as the current language: messages
        // before any window shows one, window texts once all exist.
        QVERIFY(QFile::copy(user + "de.lng", user + "current.lng"));
        Lng() = LanguageStrings();
        TFormMain form;
        QCOMPARE(form.Action("Fichier1")->text(), QString("Dateien"));
        QCOMPARE(form.FormAbout()->windowTitle(), QString::fromUtf8("Über Nocturo"));
        QCOMPARE(form.StatusBar1()->PanelText(2), QString("Leere Liste"));
        QCOMPARE(form.windowTitle().left(7), QString("Nocturo"));
    }
};

int main(int argc, char** argv) {
    NocturoApplication app(argc, argv);
    LanguageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "language_test.moc"
