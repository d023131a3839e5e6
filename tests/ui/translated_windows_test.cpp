// Every window and dialog of the program in French and in German, walked
// as a whole: no text the user can see is still the English one, switching
// between any two languages leaves nothing of the first behind, captions
// have room, and Qt's own dialogs speak the language too.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "core/image_file.h"
#include "core/ini_document.h"
#include "engine/ui/form_factor.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/find_dialogs.h"
#include "lang/ui/form_edit.h"
#include "lang/ui/language_ui.h"
#include "lists/ui/form_sel_dir.h"
#include "tests/ui/language_texts.h"
#include "tests/ui/scripted_dialogs.h"

using namespace nocturo;
using namespace nocturo::test;

namespace {

const QString kShipped = QStringLiteral(NOCTURO_SOURCE_DIR "/lang/lng/");

void Merge(Texts& into, const QString& prefix, const Texts& from) {
    for (const auto& [key, text] : from) {
        into[prefix + key] = text;
    }
}

/// The texts of `other` at the places where `english` has the same text,
/// apart from those every language writes alike.
QStringList StillEnglish(const Texts& english, const Texts& other) {
    QStringList left;
    for (const auto& [key, text] : other) {
        const auto it = english.find(key);
        if (it != english.end() && it->second == text && !SameInEveryLanguage(text)) {
            left << key + ": " + text;
        }
    }
    return left;
}

/// Labels and buttons of a shown window narrower than their text, and a
/// title wider than the window.
QStringList CutCaptions(QWidget* window) {
    QStringList cut;
    QFont bold = window->font();
    bold.setBold(true);
    if (QFontMetrics(bold).horizontalAdvance(window->windowTitle()) + 60 > window->width()) {
        cut << window->objectName() + " title: " + window->windowTitle();
    }
    for (QWidget* w : window->findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(w);
        auto* button = qobject_cast<QAbstractButton*>(w);
        auto* tool = qobject_cast<QToolButton*>(w);
        const bool shown = !tool || tool->toolButtonStyle() != Qt::ToolButtonIconOnly;
        const QString text = label ? label->text() : button && shown ? button->text() : QString();
        if (w->isVisible() && !text.isEmpty() && w->width() < w->sizeHint().width()) {
            cut << ObjectPath(w, window) + " is cut: " + text;
        }
    }
    return cut;
}

}  // namespace

class TranslatedWindowsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString user_;

    /// A program started with `code`'s shipped file as its language.
    std::unique_ptr<TFormMain> StartIn(const QString& code) {
        QFile::remove(user_ + "current.lng");
        if (!QFile::copy(user_ + code.toLower() + ".lng", user_ + "current.lng")) {
            return nullptr;
        }
        Lng() = LanguageStrings();
        LanguageCode() = "En";
        UseQtTranslations("En");
        SetLanguageFolders({user_.toStdString(), {}});
        auto form = std::make_unique<TFormMain>();
        QCoreApplication::processEvents();  // Qt's own texts follow its translator
        return form;
    }

    /// Runs commands that ask, report and write the status bar; what they
    /// asked, then everything the windows show.
    Texts Exercise(TFormMain& form) {
        DialogScript script;
        const QString a = dir_.filePath("a.bmp");
        const QString missing = dir_.filePath("missing.bmp");
        form.OpenFiles({a, dir_.filePath("b.bmp"), dir_.filePath("small.bmp"), missing});
        form.Action("GetMAX1")->trigger();  // a report naming the frames in error
        form.Run().ResultUnsaved = true;
        form.Action("Quit1")->trigger();  // Cancel
        form.Run().ResultUnsaved = false;
        form.Action("GetMAxThreshold1")->trigger();
        script->folders.push_back(dir_.filePath("new/deeper"));
        script->messages.push_back(DialogButton::No);
        form.Action("Redirect1")->trigger();
        form.Action("Clearlist1")->trigger();
        form.Action("ClearSelection1")->trigger();
        script->saveNames.push_back(dir_.filePath("nofolder/x.jpg"));
        form.Action("SaveResult1")->trigger();
        script->openFiles.push_back({a});
        form.Action("LoadList1")->trigger();
        form.FormSelDir()->OpenFolder(dir_.filePath("nofolder"));
        form.FormFactor()->SetReferenceFileName(missing);
        form.FormFactor()->SelectFunction(0);
        form.FormFactor()->BitBtnOkClick();
        form.Action("Testvalidpictures1")->trigger();
        Texts texts = VisibleTexts(&form);
        int i = 0;
        for (const ScriptedDialogs::Asked& asked : script->asked) {
            // A file dialog's text is the name it proposes; its filter is
            // translated by the real dialog (qtDialogsSpeakTheLanguage).
            const QString place = QStringLiteral("asked %1 %2 ").arg(i++).arg(asked.kind);
            if (asked.kind != "open" && asked.kind != "save") {
                texts[place + "text"] = asked.text;
            }
            texts[place + "caption"] = asked.caption;
        }
        return texts;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        user_ = dir_.filePath("user/");
        QVERIFY(QDir().mkpath(user_));
        for (const char* name : {"en.lng", "fr.lng", "de.lng"}) {
            QVERIFY(QFile::copy(kShipped + name, user_ + name));
        }
        for (const auto& [name, side] : {std::pair{"a.bmp", 8}, {"b.bmp", 8}, {"small.bmp", 4}}) {
            RgbImage picture;
            QVERIFY(picture.Resize(side, side));
            std::string file = dir_.filePath(name).toStdString();
            QVERIFY(SaveImageFile(picture, file));
        }
    }
    void cleanupTestCase() {
        UseQtTranslations("En");
        Lng() = LanguageStrings();
        SetLanguageFolders({});
    }

    void everyTextIsTranslatedAndHasRoom_data() {
        QTest::addColumn<QString>("code");
        QTest::newRow("French") << "Fr";
        QTest::newRow("German") << "De";
    }
    void everyTextIsTranslatedAndHasRoom() {
        QFETCH(QString, code);
        std::unique_ptr<TFormMain> form = StartIn("En");
        QVERIFY(form);
        const Texts english = Exercise(*form);
        form = StartIn(code);
        QStringList wrong = StillEnglish(english, Exercise(*form));
        QVERIFY2(english.size() > 300, qPrintable(QString::number(english.size())));
        // Each window as it opens, at its default size.
        QList<QWidget*> windows = ProgramWindows();
        for (TFindDialog* find : form->FormEdit()->findChildren<TFindDialog*>()) {
            windows << find;
        }
        for (QWidget* window : windows) {
            window->show();
            QCoreApplication::processEvents();
            wrong << CutCaptions(window);
            window->hide();
        }
        for (const QString& text : wrong) {
            qWarning("%s", qPrintable(text));
        }
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(QString("%1 texts in English or cut").arg(wrong.size())));
    }

    void switchingLeavesNothingOfTheOtherLanguage_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        for (const char* from : {"En", "Fr", "De"}) {
            for (const char* to : {"En", "Fr", "De"}) {
                if (QString(from) != to) {
                    QTest::addRow("%s to %s", from, to) << from << to;
                }
            }
        }
    }
    void switchingLeavesNothingOfTheOtherLanguage() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        std::unique_ptr<TFormMain> form = StartIn(from);
        QVERIFY(form);
        form->Action(to + "1")->trigger();  // "En1", "Fr1", "De1"
        QCoreApplication::processEvents();
        const Texts switched = VisibleTexts(form.get());
        form = StartIn(to);
        const Texts fresh = VisibleTexts(form.get());
        QStringList differ;
        for (const auto& [key, text] : fresh) {
            const auto it = switched.find(key);
            if (it == switched.end() || it->second != text) {
                differ << key + ": \"" + (it == switched.end() ? QString() : it->second) +
                              "\" instead of \"" + text + "\"";
            }
        }
        for (const QString& text : differ) {
            qWarning("%s", qPrintable(text));
        }
        QVERIFY2(differ.isEmpty(), qPrintable(QString("%1 texts differ").arg(differ.size())));
        QCOMPARE(switched.size(), fresh.size());
    }

    void qtDialogsSpeakTheLanguage_data() { everyTextIsTranslatedAndHasRoom_data(); }
    void qtDialogsSpeakTheLanguage() {
        QFETCH(QString, code);
        RealDialogs real;
        auto textsIn = [this](const QString& language) {
            IniDocument file;
            file.LoadFile(user_.toStdString() + language.toLower().toStdString() + ".lng");
            ApplyLanguageStrings(file);
            UseQtTranslations(language);
            Texts texts;
            auto walk = [&texts](const QString& prefix) {
                OnceModalOpens([&texts, prefix](QDialog* dialog) {
                    if (dialog != nullptr) {
                        Merge(texts, prefix, VisibleTexts(dialog));
                    }
                });
            };
            walk("question ");
            QtDialogs().Message(nullptr, "?", "-",
                                {DialogButton::Yes, DialogButton::No, DialogButton::Cancel,
                                 DialogButton::YesToAll, DialogButton::NoToAll},
                                MessageKind::Question);
            FileDialogOptions options;
            options.filter = "All Images|*.BMP;*.JPG|BMP Files|*.BMP|All Files (*.*)|*.*";
            options.folder = dir_.path();
            walk("open ");
            QtDialogs().OpenFileName(nullptr, options);
            walk("colour ");
            QtDialogs().Colour(nullptr, Qt::black);
            QLineEdit edit;
            std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
            Merge(texts, "edit menu ", VisibleTexts(menu.get()));
            return texts;
        };
        const Texts english = textsIn("En");
        const Texts other = textsIn(code);
        UseQtTranslations("En");
        Lng() = LanguageStrings();
        QVERIFY(english.size() > 50);
        QStringList left = StillEnglish(english, other);
        left.removeIf([this](const QString& text) { return text.contains(dir_.path()); });
        for (const QString& text : left) {
            qWarning("%s", qPrintable(text));
        }
        QVERIFY2(left.isEmpty(), qPrintable(QString("%1 texts still in English").arg(left.size())));
    }
};

int main(int argc, char** argv) {
    NocturoApplication app(argc, argv);
    TranslatedWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "translated_windows_test.moc"
