// The help window: its texts, and printing every line of the help once and
// in order.

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/form_about.h"
#include "app/form_main.h"
#include "app/nocturo_application.h"
#include "app/text_device.h"
#include "tests/ui/scripted_dialogs.h"

using namespace nocturo;
using nocturo::test::DialogScript;

namespace {

/// Collects the lines; can refuse to start or fail at a given line.
class CountingDevice : public TextDevice {
  public:
    QStringList lines;
    bool started = false;
    int ended = 0;
    bool refuseStart = false;
    int failAt = -1;

    bool Begin(QString* error) override {
        if (refuseStart) {
            *error = "No printer is installed.";
            return false;
        }
        started = true;
        return true;
    }
    bool WriteLine(const QString& line, QString* error) override {
        if (lines.size() == failAt) {
            *error = "The printer is out of paper.";
            return false;
        }
        lines.append(line);
        return true;
    }
    void End() override { ++ended; }
};

}  // namespace

class FormAboutTest : public QObject {
    Q_OBJECT

  private slots:
    void windowAsDesigned() {
        TFormAbout about(nullptr, false);
        QCOMPARE(about.objectName(), QString("FormAbout"));
        QCOMPARE(about.windowTitle(), QString("About.."));
        QCOMPARE(about.size(), QSize(846, 533));
        auto* label = about.findChild<QLabel*>("Label1");
        QVERIFY(label);
        QCOMPARE(label->text(), QString(" NOCTURO "));
        QCOMPARE(label->font().pixelSize(), 40);
        QVERIFY(label->font().bold() && label->font().underline());
        QVERIFY(about.Memo1()->isReadOnly());
        const QString help = about.Memo1()->toPlainText();
        for (const char* heading :
             {"***** Quick Manual in few words: *****", "*****  How that works?   *****",
              "***** Available Processes *****", "***** Batch Operations   *****",
              "*** About the Interface: *****", "*****        New         *****",
              "*****     To do:         *****", "version 2.5.xx - 2016-02-10", "process0001.bmp",
              "'JPG','PNG','TIF','BMP'", "nocturo-stack", "zelk/Nocturo/2-5-15"}) {
            QVERIFY2(help.contains(QString::fromUtf8(heading)), heading);
        }
        // No line starts or ends with blanks, which a language file loses.
        for (const QString& line : help.split('\n')) {
            QCOMPARE(line, line.trimmed());
        }
    }

    void printsEveryLineOnceInOrder() {
        DialogScript script;
        TFormAbout about(nullptr, false);
        about.Memo1()->setPlainText("first\n\nthird\n  fourth");
        CountingDevice device;
        QVERIFY(about.PrintHelp(device));
        QCOMPARE(device.lines, (QStringList{"first", "", "third", "  fourth"}));
        QCOMPARE(device.ended, 1);

        about.Memo1()->setPlainText(about.Memo1()->toPlainText().repeated(50));
        CountingDevice many;
        QVERIFY(about.PrintHelp(many));
        QCOMPARE(many.lines.size(), about.Memo1()->document()->blockCount());
        QCOMPARE(script->Count("message"), 0);
    }

    void printerErrorsAreShownAndTheJobEnds() {
        DialogScript script;
        TFormAbout about(nullptr, false);
        about.show();
        CountingDevice none;
        none.refuseStart = true;
        QVERIFY(!about.PrintHelp(none));
        QCOMPARE(none.ended, 0);
        QCOMPARE(script->Last("message").text, QString("No printer is installed."));

        CountingDevice failing;
        failing.failAt = 3;
        QVERIFY(!about.PrintHelp(failing));
        QCOMPARE(failing.lines.size(), 3);
        QCOMPARE(failing.ended, 1);
        QCOMPARE(script->Last("message").text, QString("The printer is out of paper."));
        QVERIFY(about.isVisible());
    }

    void printsToAPdfFile() {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("help.pdf");
        TFormAbout about(nullptr, false);
        PrinterTextDevice device(pdf);
        QString error;
        const QStringList lines = about.Memo1()->toPlainText().split('\n');
        QVERIFY2(PrintLines(lines + lines + lines, device, &error), qPrintable(error));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        QVERIFY(bytes.count("/Type /Page\n") + bytes.count("/Type /Page ") +
                    bytes.count("/Type /Page\r") + bytes.count("/Type/Page") >=
                2);  // three copies of the help need more than one page

        // A file that cannot be made: the job does not start.
        PrinterTextDevice nowhere(dir.filePath("missing/folder/help.pdf"));
        QVERIFY(!PrintLines(lines, nowhere, &error));
        QVERIFY(!error.isEmpty());
    }

    void helpKeyOpensTheSameWindowModally() {
        TFormMain form;
        int shown = 0;
        auto closeWhenShown = [&] {
            QTimer::singleShot(0, form.FormAbout(), [&] {
                shown += form.FormAbout()->isVisible() && form.FormAbout()->isModal();
                form.FormAbout()->SpeedButton1Click();
            });
        };
        closeWhenShown();
        form.Action("About1")->trigger();
        closeWhenShown();
        form.Action("About1")->trigger();
        QCOMPARE(shown, 2);
        QCOMPARE(form.Action("About1")->shortcut(), QKeySequence(Qt::Key_F1));
    }
};

int main(int argc, char** argv) {
    NocturoApplication app(argc, argv);
    FormAboutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "form_about_test.moc"
