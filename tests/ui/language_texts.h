#pragma once
// What the language tests read off the windows: every text a user can see
// on a window and everything in it, keyed by where it is, and the test of a
// text that reads the same in English, French and German.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSet>
#include <map>

#include "app/status_bar.h"
#include "lang/ui/window_texts.h"

namespace nocturo::test {

using Texts = std::map<QString, QString>;

/// Where an object is below `root`: the names of its parents and its own,
/// an unnamed one by its class and rank among its siblings of that class.
inline QString ObjectPath(const QObject* object, const QObject* root) {
    QStringList parts;
    for (const QObject* o = object; o != nullptr && o != root; o = o->parent()) {
        QString name = o->objectName();
        if (name.isEmpty()) {
            int rank = 0;
            for (const QObject* sibling : o->parent()->children()) {
                if (sibling == o) {
                    break;
                }
                rank += sibling->metaObject() == o->metaObject();
            }
            name = QStringLiteral("%1#%2").arg(o->metaObject()->className()).arg(rank);
        }
        parts.prepend(name);
    }
    return parts.join('/');
}

inline void AddText(Texts& texts, const QObject* object, const QObject* root, const QString& kind,
                    const QString& text) {
    if (!text.trimmed().isEmpty()) {
        texts[ObjectPath(object, root) + " " + object->metaObject()->className() + " " + kind] =
            text;
    }
}

/// Every text `root` and the objects it owns show: window titles, labels,
/// buttons, group box titles, combo items (not those holding the user's
/// data), memo texts, column headers, status bar panels, menus and their
/// items, tooltips and status tips.
inline Texts VisibleTexts(QObject* root) {
    Texts texts;
    QList<QObject*> objects = root->findChildren<QObject*>();
    objects.prepend(root);
    for (QObject* o : objects) {
        if (auto* action = qobject_cast<QAction*>(o)) {
            if (!action->isSeparator()) {
                AddText(texts, o, root, "text", action->text());
                AddText(texts, o, root, "tip", action->toolTip());
                AddText(texts, o, root, "status", action->statusTip());
            }
            continue;
        }
        auto* w = qobject_cast<QWidget*>(o);
        if (w == nullptr) {
            continue;
        }
        if (w->isWindow()) {
            AddText(texts, o, root, "title", w->windowTitle());
        }
        AddText(texts, o, root, "tip", w->toolTip());
        AddText(texts, o, root, "status", w->statusTip());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            AddText(texts, o, root, "text", label->text());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            AddText(texts, o, root, "text", button->text());
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            AddText(texts, o, root, "text", group->title());
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const QVariant items = combo->property(kLanguageItemsProperty);
            for (int i = 0; (!items.isValid() || items.toBool()) && i < combo->count(); ++i) {
                AddText(texts, o, root, QStringLiteral("item%1").arg(i), combo->itemText(i));
            }
        } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
            AddText(texts, o, root, "text", memo->toPlainText());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            AddText(texts, o, root, "placeholder", edit->placeholderText());
        } else if (auto* menu = qobject_cast<QMenu*>(w)) {
            AddText(texts, o, root, "text", menu->title());
        } else if (auto* panels = qobject_cast<StatusPanels*>(w)) {
            for (int i = 0; i < panels->PanelCount(); ++i) {
                AddText(texts, o, root, QStringLiteral("panel%1").arg(i), panels->PanelText(i));
            }
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) {
            for (int i = 0; i < view->model()->columnCount(); ++i) {
                AddText(texts, o, root, QStringLiteral("column%1").arg(i),
                        view->model()->headerData(i, Qt::Horizontal).toString());
            }
        }
    }
    return texts;
}

/// A text that needs no translation: numbers, file patterns, punctuation
/// and the few words every language of the program writes alike.
inline bool SameInEveryLanguage(QString text) {
    static const QSet<QString> kWords = {// Names of the program, its processes and file formats.
                                         "Nocturo", "NOCTURO", "Ver", "AddMax", "AddMin",
                                         "AddMaxLum", "SubMinLum", "AddMaxThreshold", "MeteorMax",
                                         "MovingMax", "CSV", "HTML", "OK", "Max", "Min", "xx",
                                         // The languages, each in its own.
                                         "En", "English", "Fr", "Français", "De", "Deutsch",
                                         // Words two of the languages share.
                                         "Options", "Type", "Name", "version"};
    static const QRegularExpression patterns("\\*\\.[\\w*]+");
    static const QRegularExpression word("[^\\W\\d_]{2,}",
                                         QRegularExpression::UseUnicodePropertiesOption);
    text.remove(patterns);
    for (auto it = word.globalMatch(text); it.hasNext();) {
        if (!kWords.contains(it.next().captured())) {
            return false;
        }
    }
    return true;
}

}  // namespace nocturo::test
