#include "app/nocturo_application.h"

#include <exception>
#include <new>

#include "lang/language_strings.h"
#include "widgets/dialogs.h"

namespace nocturo {

namespace {

void Report(const QString& text) {
    Dialogs::Get().Message(QApplication::activeWindow(), text, QApplication::applicationName(),
                           {DialogButton::Ok}, MessageKind::Error);
}

}  // namespace

NocturoApplication::NocturoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The name only: a display name set explicitly is appended by Qt to every
    // window title (" — Nocturo"), which changes the program's captions and
    // cuts those of small message boxes.
    QApplication::setApplicationName("Nocturo");
    QApplication::setOrganizationName("Nocturo");
}

bool NocturoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        Report(QString::fromStdString(Lng().txtNoMemoryForCommand));
    } catch (const std::exception& error) {
        Report(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        Report(QString::fromStdString(Lng().txtUnexpectedError));
    }
    return false;
}

}  // namespace nocturo
