// The shipped language files against the windows as they are built: en.lng
// is exactly what the program writes for its built-in texts, and fr.lng and
// de.lng hold every section and key the program writes, and no other.
//
// When a window changes:
//   build/app/nocturo --write-language lang/lng/en.lng
// regenerates the English file, and this test lists what the translations
// lack or hold too much. `nocturo --write-language lang/lng/fr.lng --from
// lang/lng/fr.lng` brings a translation into line (missing texts come in
// English, to be translated by hand; texts of vanished controls go).

#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <set>
#include <string>

#include "app/form_about.h"
#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "core/ini_document.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/language_ui.h"
#include "tests/ui/language_texts.h"

using namespace nocturo;
using nocturo::test::SameInEveryLanguage;

namespace {

const QString kShipped = QStringLiteral(NOCTURO_SOURCE_DIR "/lang/lng/");

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

using Keys = std::set<std::string>;

/// "section/key" of every key, lower-cased; the line keys of a memo are
/// counted by the file's own ItemsCount, since a translated text may have
/// more or fewer lines.
Keys KeysOf(const IniDocument& file, bool memoLinesByCount) {
    static const QRegularExpression lineKey("^lines\\d+$");
    Keys keys;
    for (const std::string& section : file.Sections()) {
        keys.insert(Lower(section) + "/");
        for (const std::string& key : file.Keys(section)) {
            const std::string name = Lower(key);
            if (memoLinesByCount && lineKey.match(QString::fromStdString(name)).hasMatch()) {
                continue;
            }
            keys.insert(Lower(section) + "/" + name);
        }
    }
    return keys;
}

/// Memo sections whose line keys are not exactly Lines000..ItemsCount-1.
QStringList BrokenMemos(const IniDocument& file) {
    QStringList broken;
    for (const std::string& section : file.Sections()) {
        int lines = 0;
        for (const std::string& key : file.Keys(section)) {
            lines += QString::fromStdString(key).contains(QRegularExpression("^[Ll]ines\\d+$"));
        }
        if (lines == 0) {
            continue;  // not a memo
        }
        const int count = file.ReadInteger(section, "ItemsCount", -1);
        for (int i = 0; i < count; ++i) {
            if (!file.HasKey(section, QString("Lines%1").arg(i, 3, 10, QChar('0')).toStdString())) {
                lines = -1;
            }
        }
        if (lines != count) {
            broken << QString::fromStdString(section);
        }
    }
    return broken;
}

}  // namespace

class ShippedLanguagesTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TFormMain> form_;
    QTemporaryDir dir_;
    IniDocument builtIn_;

  private slots:
    void initTestCase() {
        SetLanguageFolders({});
        Lng() = LanguageStrings();
        form_ = std::make_unique<TFormMain>();
        QVERIFY(SaveLanguageFile(dir_.filePath("en.lng")));
        QVERIFY(builtIn_.LoadFile(dir_.filePath("en.lng").toStdString()));
    }
    void cleanupTestCase() { form_.reset(); }

    void englishIsTheBuiltInTexts() {
        const QList<QByteArray> saved = Read(dir_.filePath("en.lng")).split('\n');
        const QList<QByteArray> shipped = Read(kShipped + "en.lng").split('\n');
        for (int i = 0; i < std::min(saved.size(), shipped.size()); ++i) {
            if (saved[i] != shipped[i]) {
                QFAIL(qPrintable(QString("en.lng line %1 is \"%2\", the program writes \"%3\"; "
                                         "regenerate it with build/app/nocturo "
                                         "--write-language lang/lng/en.lng")
                                     .arg(i + 1)
                                     .arg(QString::fromUtf8(shipped[i].trimmed()))
                                     .arg(QString::fromUtf8(saved[i].trimmed()))));
            }
        }
        QCOMPARE(shipped.size(), saved.size());
        QVERIFY(shipped.contains("Language=En\r"));
    }

    void translationsCoverEveryTextAndNoOther_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("fr") << "fr.lng"
                            << "Fr";
        QTest::newRow("de") << "de.lng"
                            << "De";
    }
    void translationsCoverEveryTextAndNoOther() {
        QFETCH(QString, name);
        QFETCH(QString, code);
        const QByteArray bytes = Read(kShipped + name);
        QVERIFY(!bytes.isEmpty());
        QVERIFY2(IsUtf8(bytes.toStdString()), "shipped files are UTF-8");
        const IniDocument shipped = IniDocument::FromBytes(bytes.toStdString());
        QCOMPARE(QString::fromStdString(shipped.ReadString("File", "Language")), code);
        QCOMPARE(QString::fromStdString(shipped.ReadString("File", "Name")), "\\lng\\" + name);

        const Keys wanted = KeysOf(builtIn_, true);
        const Keys held = KeysOf(shipped, true);
        QStringList gaps;
        for (const std::string& key : wanted) {
            if (!held.count(key)) {
                gaps << "missing " + QString::fromStdString(key);
            }
        }
        for (const std::string& key : held) {
            if (!wanted.count(key)) {
                gaps << "no longer in the program " + QString::fromStdString(key);
            }
        }
        for (const QString& memo : BrokenMemos(shipped)) {
            gaps << "line keys do not match ItemsCount in " + memo;
        }
        // Texts still the English ones (names such as "AddMax.." or "OK"
        // rightly stay as they are), and English texts a translation lacks
        // or leaves empty.
        for (const std::string& section : builtIn_.Sections()) {
            for (const auto& [key, value] : builtIn_.Values(section)) {
                const std::string* translated = shipped.Find(section, key);
                const QString text = QString::fromStdString(value);
                if (translated != nullptr && *translated == value && section != "File" &&
                    !SameInEveryLanguage(text)) {
                    gaps << QString("still English [%1] %2=%3")
                                .arg(QString::fromStdString(section), QString::fromStdString(key),
                                     text);
                }
                // (A memo's lines fall where the translation's text puts them.)
                if (translated != nullptr && translated->empty() && !value.empty() &&
                    key != "Text" && !key.starts_with("Lines")) {
                    gaps << QString("empty [%1] %2")
                                .arg(QString::fromStdString(section), QString::fromStdString(key));
                }
            }
        }
        // Every "%s" and "%d" of a language string, in its order.
        static const QRegularExpression directive("%[sd]");
        for (const LanguageStringKey& entry : LanguageStringKeys()) {
            const std::string english = LanguageStrings().*entry.member;
            const std::string theirs = shipped.ReadString(entry.section, entry.key);
            QStringList a;
            QStringList b;
            for (auto it = directive.globalMatch(QString::fromStdString(english)); it.hasNext();) {
                a << it.next().captured();
            }
            for (auto it = directive.globalMatch(QString::fromStdString(theirs)); it.hasNext();) {
                b << it.next().captured();
            }
            if (a != b) {
                gaps << QString("placeholders %1 instead of %2 in %3")
                            .arg(b.join(' '), a.join(' '), QString(entry.key.data()));
            }
        }
        for (const QString& gap : gaps) {
            qWarning("%s: %s", qPrintable(name), qPrintable(gap));
        }
        QVERIFY2(gaps.isEmpty(),
                 qPrintable(QString("%1 differs from the windows in %2 places (listed above)")
                                .arg(name)
                                .arg(gaps.size())));
    }

    void translationsChangeWhatTheyTranslate() {
        QVERIFY(ApplyLanguageFile(kShipped + "fr.lng"));
        QCOMPARE(form_->Action("Fichier1")->text(), QString("Fichiers"));
        QCOMPARE(form_->FormAbout()->windowTitle(), QString::fromUtf8("À propos de Nocturo"));
        QCOMPARE(QString::fromStdString(Lng().kstemptylist), QString("Liste vide"));
        QVERIFY(ApplyLanguageFile(kShipped + "de.lng"));
        QCOMPARE(form_->Action("Fichier1")->text(), QString("Dateien"));
        QCOMPARE(QString::fromStdString(Lng().lngfilesinerror), QString("%d Datei(en) fehlerhaft"));
        QVERIFY(ApplyLanguageFile(kShipped + "en.lng"));
        QCOMPARE(form_->Action("Fichier1")->text(), QString("Files"));
        QCOMPARE(QString::fromStdString(Lng().kstemptylist), QString("Empty List"));
    }
};

int main(int argc, char** argv) {
    NocturoApplication app(argc, argv);
    ShippedLanguagesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "shipped_languages_test.moc"
