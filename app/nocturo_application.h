#pragma once
// The application object: a command that fails unexpectedly (memory runs out
// on a huge picture, say) ends with a message, and the window stays usable.

#include <QApplication>

namespace nocturo {

class NocturoApplication : public QApplication {
  public:
    /// Names the application "Nocturo" and sets no display name, so window
    /// titles are exactly the program's texts.
    NocturoApplication(int& argc, char** argv);

    /// Delivers an event; an exception that escapes its handler is shown to
    /// the user as an error message instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace nocturo
