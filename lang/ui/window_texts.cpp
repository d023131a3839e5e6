#include "lang/ui/window_texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <string>

#include "core/ini_document.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

// The windows in the order the program creates them. A window the list
// does not know comes after these, by name, so that files stay stable.
const char* const kWindowOrder[] = {
    "FormMain", "FormCreateImg", "FormFactor",  "FormSelDir", "FormSearch", "FormNumFormat",
    "LngForm",  "FormEdit",      "FormProcess", "FormSample", "FormAbout",
};

// Memo and combo counts come from files users edit; a count beyond this is
// taken as broken rather than looped over.
constexpr int kMaxItems = 100000;

int WindowRank(const QString& name) {
    const auto* it = std::find(std::begin(kWindowOrder), std::end(kWindowOrder), name);
    return static_cast<int>(it - std::begin(kWindowOrder));
}

std::string S(const QString& text) {
    return text.toStdString();
}

bool IsNamed(const QObject* object) {
    const QString name = object->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

bool IsProgramWindow(const QWidget* widget) {
    if (!widget->isWindow() || !IsNamed(widget)) {
        return false;
    }
    const Qt::WindowType type = widget->windowType();
    if (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool && type != Qt::Sheet) {
        return false;  // menus, tooltips, splash screens
    }
    if (qobject_cast<const QMessageBox*>(widget) || qobject_cast<const QFileDialog*>(widget) ||
        qobject_cast<const QInputDialog*>(widget) || qobject_cast<const QColorDialog*>(widget)) {
        return false;
    }
    const QVariant walk = widget->property(kLanguageWindowProperty);
    return !walk.isValid() || walk.toBool();
}

bool IsMenuItem(const QAction* action) {
    if (action->isSeparator()) {
        return false;
    }
    if (action->menu<QMenu*>() != nullptr) {
        return true;
    }
    const auto owners = action->associatedObjects();
    return std::any_of(owners.begin(), owners.end(),
                       [](QObject* owner) { return qobject_cast<QMenu*>(owner) != nullptr; });
}

bool IsToolBarSeparator(const QAction* action) {
    if (!action->isSeparator()) {
        return false;
    }
    const auto owners = action->associatedObjects();
    return std::any_of(owners.begin(), owners.end(),
                       [](QObject* owner) { return qobject_cast<QToolBar*>(owner) != nullptr; });
}

/// Every named component a window owns, depth first in creation order,
/// without going into other windows the window owns.
void CollectComponents(const QObject* parent, QList<QObject*>& out) {
    for (QObject* child : parent->children()) {
        // Other windows (and dialogs that belong to this one) are not its
        // components; menus are, although Qt makes them windows too.
        if (auto* widget = qobject_cast<QWidget*>(child);
            widget && widget->isWindow() && !qobject_cast<QMenu*>(widget)) {
            continue;
        }
        if (IsNamed(child)) {
            out.append(child);
        }
        CollectComponents(child, out);
    }
}

QList<QWidget*> DirectChildren(const QWidget* window) {
    QList<QWidget*> out;
    for (QObject* child : window->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && IsNamed(widget) && !widget->isWindow() &&
            !qobject_cast<QStatusBar*>(widget)) {
            out.append(widget);
        }
    }
    return out;
}

// A tooltip that Qt would take for markup (it guesses from the text) shows
// the text as it is written: a hint such as <img src="..."> from a language
// file must never make Qt load what it names.
QString PlainTip(const QString& text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

// The hint a widget's or an action's tooltip was made from when PlainTip
// changed it.
constexpr char kPlainHintProperty[] = "plainHint";
// On an action without a tooltip of its own, whose tooltip Qt takes from its
// caption: that tooltip as Qt made it, when PlainTip had to change it.
constexpr char kCaptionTipProperty[] = "captionTip";

// Remembers `plain` on `object` when its tooltip `tip` differs from it.
void KeepPlain(QObject* object, const char* property, const QString& plain, const QString& tip) {
    object->setProperty(property, tip == plain ? QVariant() : QVariant(plain));
}

QString HintOf(const QWidget* widget) {
    const QVariant kept = widget->property(kHintProperty);
    if (kept.isValid()) {
        return kept.toString();
    }
    QVariant plain = widget->property(kPlainHintProperty);
    if (const auto* button = qobject_cast<const QToolButton*>(widget);
        !plain.isValid() && button && button->defaultAction()) {
        plain = button->defaultAction()->property(kCaptionTipProperty);
    }
    if (plain.isValid() && PlainTip(plain.toString()) == widget->toolTip()) {
        return plain.toString();
    }
    return widget->toolTip();
}

void SetHint(QWidget* widget, const QString& hint) {
    if (widget->property(kHintProperty).isValid()) {
        widget->setProperty(kHintProperty, hint);
    }
    const QVariant shows = widget->property(kShowHintProperty);
    if (!shows.isValid() || shows.toBool()) {
        const QString tip = PlainTip(hint);
        KeepPlain(widget, kPlainHintProperty, hint, tip);
        widget->setToolTip(tip);
        // A button bound to an action takes the action's tooltip back
        // whenever the action changes (a translated caption, say), a menu
        // item's included.
        if (auto* button = qobject_cast<QToolButton*>(widget); button && button->defaultAction()) {
            KeepPlain(button->defaultAction(), kPlainHintProperty, hint, tip);
            button->defaultAction()->setToolTip(tip);
        }
    }
}

// Sets an action's caption. Without a tooltip of its own an action shows
// its caption as one, which Qt may take for markup: that one is made plain.
void SetActionText(QAction* action, const QString& caption) {
    if (action->property(kCaptionTipProperty).isValid()) {
        action->setToolTip(QString());  // Qt's own again, from the new caption
        action->setProperty(kCaptionTipProperty, QVariant());
    }
    action->setText(caption);
    const QString tip = action->toolTip();
    if (!action->property(kPlainHintProperty).isValid() && PlainTip(tip) != tip) {
        KeepPlain(action, kCaptionTipProperty, tip, PlainTip(tip));
        action->setToolTip(PlainTip(tip));
    }
}

bool HoldsTexts(const QComboBox* combo) {
    const QVariant items = combo->property(kLanguageItemsProperty);
    return !items.isValid() || items.toBool();
}

QStringList MemoLines(const QPlainTextEdit* memo) {
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QString LineKey(int index) {
    return QStringLiteral("Lines%1").arg(index, 3, 10, QLatin1Char('0'));
}

// Writing ---------------------------------------------------------------

void WriteDirectChild(IniDocument& file, const std::string& section, QWidget* child) {
    if (auto* button = qobject_cast<QPushButton*>(child)) {
        file.WriteString(section, "Caption", S(button->text()));
    } else if (auto* edit = qobject_cast<QLineEdit*>(child)) {
        file.WriteString(section, "Text", S(edit->text()));
    }
    file.WriteString(section, "Hint", S(HintOf(child)));
    if (auto* memo = qobject_cast<QPlainTextEdit*>(child)) {
        const QStringList lines = MemoLines(memo);
        file.WriteInteger(section, "ItemsCount", lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            file.WriteString(section, S(LineKey(i)), S(lines[i]));
        }
    }
}

// A push button placed directly on its window is one of the window's
// children, walked as such; one placed deeper (in a panel or a group box)
// is a component like a check box.
QPushButton* NestedButton(QObject* component, const QWidget* window) {
    auto* button = qobject_cast<QPushButton*>(component);
    return button != nullptr && button->parentWidget() != window ? button : nullptr;
}

void WriteComponent(IniDocument& file, const std::string& section, QObject* component,
                    const QWidget* window) {
    if (auto* action = qobject_cast<QAction*>(component)) {
        if (IsMenuItem(action)) {
            file.WriteString(section, "Caption", S(action->text()));
            file.WriteString(section, "Hint", S(action->statusTip()));
        } else if (IsToolBarSeparator(action)) {
            file.WriteString(section, "Caption", "");
            file.WriteString(section, "Hint", "");
        }
    } else if (auto* tool = qobject_cast<QToolButton*>(component)) {
        // The caption of a button bound to a menu item is that item's.
        const bool boundToMenu = tool->defaultAction() && IsMenuItem(tool->defaultAction());
        file.WriteString(section, "Caption", boundToMenu ? std::string() : S(tool->text()));
        file.WriteString(section, "Hint", S(HintOf(tool)));
    } else if (auto* label = qobject_cast<QLabel*>(component)) {
        file.WriteString(section, "Caption", S(label->text()));
        file.WriteString(section, "Hint", S(HintOf(label)));
    } else if (auto* check = qobject_cast<QCheckBox*>(component)) {
        file.WriteString(section, "Caption", S(check->text()));
        file.WriteString(section, "Hint", S(HintOf(check)));
    } else if (auto* radio = qobject_cast<QRadioButton*>(component)) {
        file.WriteString(section, "Caption", S(radio->text()));
        file.WriteString(section, "Hint", S(HintOf(radio)));
    } else if (auto* button = NestedButton(component, window)) {
        file.WriteString(section, "Caption", S(button->text()));
        file.WriteString(section, "Hint", S(HintOf(button)));
    } else if (auto* combo = qobject_cast<QComboBox*>(component)) {
        file.WriteString(section, "Hint", S(HintOf(combo)));
        if (!HoldsTexts(combo)) {
            return;
        }
        file.WriteInteger(section, "ItemsCount", combo->count());
        for (int i = 0; i < combo->count(); ++i) {
            file.WriteString(section, "ItemsString" + std::to_string(i), S(combo->itemText(i)));
        }
        file.WriteInteger(section, "ItemIndex", combo->currentIndex());
    } else if (auto* group = qobject_cast<QGroupBox*>(component)) {
        file.WriteString(section, "Caption", S(group->title()));
    }
}

// Applying --------------------------------------------------------------

/// The value of a key when it is there and not empty.
const std::string* NonEmpty(const IniDocument& file, const std::string& section,
                            std::string_view key) {
    const std::string* value = file.Find(section, key);
    return value != nullptr && !value->empty() ? value : nullptr;
}

void ApplyDirectChild(const IniDocument& file, const std::string& section, QWidget* child) {
    if (const std::string* hint = NonEmpty(file, section, "Hint")) {
        SetHint(child, Q(*hint));
    }
    if (auto* button = qobject_cast<QPushButton*>(child)) {
        if (const std::string* caption = NonEmpty(file, section, "Caption")) {
            button->setText(Q(*caption));
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(child)) {
        if (const std::string* text = NonEmpty(file, section, "Text")) {
            edit->setText(Q(*text));
        }
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(child)) {
        const int count = std::min(file.ReadInteger(section, "ItemsCount", 0), kMaxItems);
        if (count > 0) {
            // A missing line key gives an empty line.
            QStringList lines;
            lines.reserve(count);
            for (int i = 0; i < count; ++i) {
                const std::string* line = file.Find(section, S(LineKey(i)));
                lines.append(line != nullptr ? Q(*line) : QString());
            }
            memo->setPlainText(lines.join(QLatin1Char('\n')));
        }
    }
}

void ApplyComponent(const IniDocument& file, const std::string& section, QObject* component,
                    const QWidget* window) {
    const std::string* caption = NonEmpty(file, section, "Caption");
    const std::string* hint = NonEmpty(file, section, "Hint");
    if (auto* action = qobject_cast<QAction*>(component)) {
        if (!IsMenuItem(action)) {
            return;  // separators and actions that only serve tool buttons
        }
        if (caption != nullptr) {
            SetActionText(action, Q(*caption));
        }
        if (hint != nullptr) {
            action->setStatusTip(Q(*hint));
        }
    } else if (auto* tool = qobject_cast<QToolButton*>(component)) {
        if (caption != nullptr) {
            QAction* action = tool->defaultAction();
            if (action == nullptr) {
                tool->setText(Q(*caption));
            } else if (!IsMenuItem(action)) {
                SetActionText(action, Q(*caption));
            }
        }
        if (hint != nullptr) {
            SetHint(tool, Q(*hint));
        }
    } else if (auto* label = qobject_cast<QLabel*>(component)) {
        if (caption != nullptr) {
            // Never markup: Qt would load the pictures a caption names.
            label->setTextFormat(Qt::PlainText);
            label->setText(Q(*caption));
        }
        if (hint != nullptr) {
            SetHint(label, Q(*hint));
        }
    } else if (auto* check = qobject_cast<QCheckBox*>(component)) {
        if (caption != nullptr) {
            check->setText(Q(*caption));
        }
        if (hint != nullptr) {
            SetHint(check, Q(*hint));
        }
    } else if (qobject_cast<QRadioButton*>(component) || NestedButton(component, window)) {
        auto* button = static_cast<QAbstractButton*>(component);
        if (caption != nullptr) {
            button->setText(Q(*caption));
        }
        if (hint != nullptr) {
            SetHint(button, Q(*hint));
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(component)) {
        if (hint != nullptr) {
            SetHint(combo, Q(*hint));
        }
        if (!HoldsTexts(combo)) {
            return;
        }
        // Choosing an item here is no choice of the user's: the window's
        // change handlers stay quiet.
        const QSignalBlocker quiet(combo);
        const int count = std::min(file.ReadInteger(section, "ItemsCount", 0), kMaxItems);
        if (count > 0) {
            QStringList items;
            items.reserve(count);
            for (int i = 0; i < count; ++i) {
                items.append(Q(file.ReadString(section, "ItemsString" + std::to_string(i))));
            }
            combo->clear();
            combo->addItems(items);
        }
        const int index = file.ReadInteger(section, "ItemIndex", 0);
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    } else if (auto* group = qobject_cast<QGroupBox*>(component)) {
        if (caption != nullptr) {
            group->setTitle(Q(*caption));
        }
    }
}

// The built-in texts of a window, as language file bytes.
constexpr char kBuiltInTextsProperty[] = "builtInTexts";

// Keys that hold what the user typed or chose, not texts.
bool IsUserValue(const std::string& key) {
    return key == "Text" || key == "ItemIndex";
}

}  // namespace

QList<QWidget*> ProgramWindows() {
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (IsProgramWindow(widget)) {
            windows.append(widget);
        }
    }
    std::stable_sort(windows.begin(), windows.end(), [](QWidget* a, QWidget* b) {
        const int rankA = WindowRank(a->objectName());
        const int rankB = WindowRank(b->objectName());
        return rankA != rankB ? rankA < rankB : a->objectName() < b->objectName();
    });
    return windows;
}

void SaveWindowTexts(IniDocument& file, const QList<QWidget*>& windows) {
    for (QWidget* window : windows) {
        const QString name = window->objectName();
        const std::string prefix = S(name) + ".";
        file.WriteString(S(name), "Caption", S(window->windowTitle()));
        for (QWidget* child : DirectChildren(window)) {
            WriteDirectChild(file, prefix + S(child->objectName()), child);
        }
        QList<QObject*> components;
        CollectComponents(window, components);
        for (QObject* component : components) {
            WriteComponent(file, prefix + S(component->objectName()), component, window);
        }
    }
}

void ApplyWindowTexts(const IniDocument& file, const QList<QWidget*>& windows) {
    for (QWidget* window : windows) {
        const QString name = window->objectName();
        const std::string* caption = NonEmpty(file, S(name), "Caption");
        if (caption == nullptr) {
            continue;
        }
        if (name != QLatin1String("FormMain")) {
            window->setWindowTitle(Q(*caption));
        }
        const std::string prefix = S(name) + ".";
        for (QWidget* child : DirectChildren(window)) {
            ApplyDirectChild(file, prefix + S(child->objectName()), child);
        }
        QList<QObject*> components;
        CollectComponents(window, components);
        for (QObject* component : components) {
            ApplyComponent(file, prefix + S(component->objectName()), component, window);
        }
        window->update();
    }
}

void RememberBuiltInTexts(const QList<QWidget*>& windows) {
    for (QWidget* window : windows) {
        if (window->property(kBuiltInTextsProperty).isValid()) {
            continue;
        }
        IniDocument shown;
        SaveWindowTexts(shown, {window});
        IniDocument texts;
        for (const std::string& section : shown.Sections()) {
            for (const auto& [key, value] : shown.Values(section)) {
                if (!IsUserValue(key)) {
                    texts.WriteString(section, key, value);
                }
            }
        }
        window->setProperty(kBuiltInTextsProperty, QByteArray::fromStdString(texts.ToBytes()));
    }
}

void RestoreBuiltInTexts(const QList<QWidget*>& windows) {
    RememberBuiltInTexts(windows);
    for (QWidget* window : windows) {
        const QByteArray bytes = window->property(kBuiltInTextsProperty).toByteArray();
        ApplyWindowTexts(IniDocument::FromBytes(bytes.toStdString()), {window});
    }
}

}  // namespace nocturo
