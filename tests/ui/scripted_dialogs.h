#pragma once
// Dialogs that answer from a script, so window tests never block on a modal
// window, and that remember what they were asked.

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

#include "widgets/dialogs.h"
#include "widgets/file_places.h"

namespace nocturo::test {

class ScriptedDialogs : public Dialogs {
  public:
    struct Asked {
        QString kind;  // "message", "input", "open", "save", "folder", "colour"
        QString text;
        QString caption;
        std::vector<DialogButton> buttons;
        FileDialogOptions options;
    };

    // Answers, taken from the front; an empty queue answers Cancel/nothing.
    std::deque<DialogButton> messages;
    std::deque<std::optional<QString>> inputs;
    std::deque<QStringList> openFiles;
    std::deque<QString> saveNames;
    std::deque<QString> folders;
    std::deque<std::optional<QColor>> colours;

    std::vector<Asked> asked;

    // Each script starts a new session: no file dialog remembers a choice
    // made in another test.
    ScriptedDialogs() { FilePlaces::Session().Clear(); }

    DialogButton Message(QWidget*, const QString& text, const QString& caption,
                         std::vector<DialogButton> buttons, MessageKind) override {
        asked.push_back({"message", text, caption, buttons, {}});
        return Take(messages, DialogButton::Cancel);
    }
    bool InputQuery(QWidget*, const QString& caption, const QString& prompt,
                    QString& value) override {
        asked.push_back({"input", prompt + "|" + value, caption, {}, {}});
        if (inputs.empty()) {
            return false;
        }
        const bool ok = inputs.front().has_value();
        if (ok) {
            value = inputs.front().value();
        }
        inputs.pop_front();
        return ok;
    }
    QStringList OpenFileNames(QWidget*, FileDialogOptions& options) override {
        asked.push_back({"open", options.fileName, options.title, {}, options});
        const QStringList chosen = Take(openFiles, QStringList());
        if (!chosen.isEmpty()) {
            options.fileName = chosen.first();
        }
        return chosen;
    }
    QString OpenFileName(QWidget* parent, FileDialogOptions& options) override {
        const QStringList chosen = OpenFileNames(parent, options);
        return chosen.isEmpty() ? QString() : chosen.first();
    }
    QString SaveFileName(QWidget*, FileDialogOptions& options) override {
        asked.push_back({"save", options.fileName, options.title, {}, options});
        const QString chosen = Take(saveNames, QString());
        if (!chosen.isEmpty()) {
            options.fileName = chosen;
        }
        return chosen;
    }
    QString Folder(QWidget*, const QString& caption, const QString& start) override {
        asked.push_back({"folder", start, caption, {}, {}});
        return Take(folders, QString());
    }
    std::optional<QColor> Colour(QWidget*, const QColor& initial) override {
        asked.push_back({"colour", initial.name(), {}, {}, {}});
        return Take(colours, std::optional<QColor>());
    }

    /// How many questions of one kind were asked.
    int Count(const QString& kind) const {
        int n = 0;
        for (const Asked& a : asked) {
            n += a.kind == kind;
        }
        return n;
    }
    /// The last question of one kind (an empty one when there was none).
    Asked Last(const QString& kind) const {
        for (auto it = asked.rbegin(); it != asked.rend(); ++it) {
            if (it->kind == kind) {
                return *it;
            }
        }
        return {};
    }

  private:
    template <typename T>
    static T Take(std::deque<T>& queue, T fallback) {
        if (queue.empty()) {
            return fallback;
        }
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

/// Installs scripted dialogs for the lifetime of the object.
class DialogScript {
  public:
    DialogScript() {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs_ = scripted.get();
        previous_ = Dialogs::Install(std::move(scripted));
    }
    ~DialogScript() { Dialogs::Install(std::move(previous_)); }
    ScriptedDialogs* operator->() { return dialogs_; }
    ScriptedDialogs& operator*() { return *dialogs_; }

  private:
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<Dialogs> previous_;
};

/// The real dialogs for the lifetime of the object, whatever was installed
/// before (put back afterwards); for the tests of where they open.
class RealDialogs {
  public:
    RealDialogs() : previous_(Dialogs::Install(nullptr)) {}
    ~RealDialogs() { Dialogs::Install(std::move(previous_)); }

  private:
    std::unique_ptr<Dialogs> previous_;
};

/// Runs body on the next modal dialog once it is shown (the command under
/// test opens it later, from its own event loop), then rejects the dialog
/// if body left it open, so that a failed check cannot leave a test waiting.
inline void OnceModalOpens(std::function<void(QDialog*)> body, int tries = 400) {
    QTimer::singleShot(5, [body = std::move(body), tries]() mutable {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if ((dialog == nullptr || !dialog->isVisible()) && tries > 0) {
            OnceModalOpens(std::move(body), tries - 1);
            return;
        }
        body(dialog);
        if (dialog != nullptr && dialog->isVisible()) {
            dialog->reject();
        }
    });
}

}  // namespace nocturo::test
