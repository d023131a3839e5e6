// An exception that escapes a command reaches the user as a message and
// leaves the program running.

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <new>
#include <stdexcept>

#include "app/nocturo_application.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::test::DialogScript;

class ApplicationTest : public QObject {
    Q_OBJECT

  private slots:
    // Qt appends an explicitly set display name to every window title; the
    // program's titles must stay exactly its own texts. A display name that
    // was never set follows the application name, which shows it is unset.
    void noDisplayNameIsAppendedToTitles() {
        QCOMPARE(QApplication::applicationName(), QString("Nocturo"));
        QApplication::setApplicationName("probe");
        const QString display = QApplication::applicationDisplayName();
        QApplication::setApplicationName("Nocturo");
        QCOMPARE(display, QString("probe"));
    }

    void escapingErrorsBecomeMessages() {
        DialogScript script;
        QObject target;
        int calls = 0;
        QTimer::singleShot(0, &target, [&] {
            ++calls;
            throw std::runtime_error("cannot read the frame");
        });
        QTimer::singleShot(0, &target, [&] {
            ++calls;
            throw std::bad_alloc();
        });
        QTRY_COMPARE(calls, 2);
        QCOMPARE(script->Count("message"), 2);
        QCOMPARE(script->asked[0].text, QString("cannot read the frame"));
        QCOMPARE(script->asked[1].text, QString("Not enough memory to finish the command."));
        QCOMPARE(script->asked[0].caption, QString("Nocturo"));

        // The event loop goes on serving.
        bool served = false;
        QTimer::singleShot(0, &target, [&] { served = true; });
        QTRY_VERIFY(served);
    }
};

int main(int argc, char** argv) {
    nocturo::NocturoApplication app(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
