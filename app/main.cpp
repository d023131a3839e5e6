// Nocturo: merges a night of sky frames into star-trail pictures.

#include <QIcon>
#include <QStringList>

#include "app/form_main.h"
#include "app/nocturo_application.h"

int main(int argc, char** argv) {
    nocturo::NocturoApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/icons/nocturo.svg"));

    nocturo::TFormMain formMain;
    formMain.show();

    // Pictures named on the command line fill the left list, as "New list"
    // does.
    QStringList files = QApplication::arguments();
    files.removeFirst();
    if (!files.isEmpty()) {
        formMain.OpenFiles(files);
    }
    return QApplication::exec();
}
