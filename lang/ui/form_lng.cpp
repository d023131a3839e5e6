#include "lang/ui/form_lng.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "core/ini_document.h"
#include "lang/language_files.h"
#include "lang/language_strings.h"
#include "lang/ui/form_edit.h"
#include "lang/ui/language_ui.h"
#include "widgets/busy_cursor.h"
#include "widgets/dialogs.h"
#include "widgets/file_places.h"
#include "widgets/qt_text.h"

namespace nocturo {

TLngForm::TLngForm(TFormEdit* editor, QWidget* parent)
    : QDialog(parent), editor_(editor), saveDialog1_(std::make_unique<FileDialogOptions>()) {
    setObjectName("LngForm");
    setWindowTitle("Translation Files");
    setModal(true);
    resize(300, 280);

    auto makeSpeedButton = [this](const char* name, const QString& caption) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setText(caption);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        return button;
    };
    QToolButton* editLng = makeSpeedButton("SpeedButtonEditLng", "Edit");
    QToolButton* applyLng = makeSpeedButton("SpeedButtonApplyLng", "Apply");
    QToolButton* saveLng = makeSpeedButton("SpeedButtonSaveLng", "Create...");
    connect(editLng, &QToolButton::clicked, this, &TLngForm::SpeedButtonEditLngClick);
    connect(applyLng, &QToolButton::clicked, this, &TLngForm::SpeedButtonApplyLngClick);
    connect(saveLng, &QToolButton::clicked, this, &TLngForm::SpeedButtonSaveLngClick);

    listBox1_ = new QListWidget(this);
    listBox1_->setObjectName("ListBox1");
    listBox1_->setSelectionMode(QAbstractItemView::SingleSelection);
    listBox1_->viewport()->installEventFilter(this);

    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtnLngCancel");
    connect(cancel, &QPushButton::clicked, this, &TLngForm::BitBtnLngCancelClick);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtnLngOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TLngForm::BitBtnLngOkClick);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(editLng);
    top->addWidget(applyLng);
    top->addWidget(saveLng);
    layout->addLayout(top);
    layout->addWidget(listBox1_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cancel);
    bottom->addWidget(ok);
    layout->addLayout(bottom);

    // A full path matches no entry: nothing is selected on the first showing.
    rememberedName_ = Q(CurrentLanguageFile());
}

TLngForm::~TLngForm() = default;

void TLngForm::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        WidenForTitle(this);
        if (QWidget* owner = parentWidget()) {
            move(owner->window()->geometry().center() - rect().center());
        }
        RefreshLanguageList();
    }
    QDialog::showEvent(event);
}

QString TLngForm::SelectedLanguageName() const {
    const QList<QListWidgetItem*> selected = listBox1_->selectedItems();
    return selected.isEmpty() ? QStringLiteral("current.lng") : selected.first()->text();
}

void TLngForm::RefreshLanguageList() {
    listBox1_->clear();
    std::vector<std::string> names;
    ListLanguageFiles(UserLanguageFolder(), names);
    for (const std::string& name : names) {
        listBox1_->addItem(Q(name));
        if (Q(name) == rememberedName_) {
            listBox1_->item(listBox1_->count() - 1)->setSelected(true);
            listBox1_->setCurrentRow(listBox1_->count() - 1);
        }
    }
    listBox1_->update();
}

bool TLngForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listBox1_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            ListBox1MouseDown(mouse->button(), mouse->position().toPoint());
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            ListBox1MouseDown(mouse->button(), mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton) {
                Apply(Q(UserLanguageFolder()) + SelectedLanguageName());
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TLngForm::ListBox1MouseDown(Qt::MouseButton button, const QPoint& position) {
    // A press below the last entry selects the first one.
    QListWidgetItem* item = listBox1_->itemAt(position);
    if (item == nullptr && listBox1_->count() > 0) {
        item = listBox1_->item(0);
    }
    if (item != nullptr) {
        listBox1_->clearSelection();
        item->setSelected(true);
        listBox1_->setCurrentItem(item);
    }
    if (button == Qt::RightButton) {
        RefreshLanguageList();
    }
}

void TLngForm::Report(const QString& error) {
    Dialogs::Get().Message(this, error, windowTitle(), {DialogButton::Ok}, MessageKind::Error);
}

void TLngForm::Apply(const QString& path) {
    QString error;
    if (!ApplyLanguageFile(path, &error)) {
        Report(error);
    }
}

void TLngForm::SpeedButtonApplyLngClick() {
    Apply(Q(UserLanguageFolder()) + SelectedLanguageName());
}

void TLngForm::SpeedButtonEditLngClick() {
    editor_->OpenEditor(Q(UserLanguageFolder()) + SelectedLanguageName(), Q(UserLanguageFolder()),
                        Q(Lng().lngFilter));
    RefreshLanguageList();
}

void TLngForm::SpeedButtonSaveLngClick() {
    const BusyCursor busy;
    // The new file starts from the selected one, completed by whatever the
    // windows show where that file is silent.
    Apply(Q(UserLanguageFolder()) + SelectedLanguageName());
    FileDialogOptions& dialog = *saveDialog1_;
    dialog.title = Q(Lng().lngSaveLng);
    // The language files' own folder and last name; before the first save,
    // the selected language in the user's folder.
    FilePlaces::Session().Propose(
        FileKind::Languages, dialog,
        QFileInfo(Q(LanguageFilePath(SelectedLanguageName().toStdString()))).fileName(),
        [](const QString& name) { return name.endsWith(".lng", Qt::CaseInsensitive); },
        Q(UserLanguageFolder()));
    dialog.defaultExtension = QStringLiteral("lng");
    dialog.filter = Q(Lng().lngFilter);
    const QString chosen = Dialogs::Get().SaveFileName(this, dialog);
    if (!chosen.isEmpty()) {
        FilePlaces::Session().Remember(FileKind::Languages, chosen);
        QString error;
        if (!SaveLanguageFile(chosen, &error)) {
            Report(error);
        }
    }
    RefreshLanguageList();
}

void TLngForm::BitBtnLngOkClick() {
    const QString source = Q(LanguageFilePath(SelectedLanguageName().toStdString()));
    const QString current = Q(CurrentLanguageFile());
    if (source != current && !QFileInfo(source).isFile()) {
        // Gone since the list was read: the texts on screen are no
        // replacement for the language chosen.
        Report(Q(FormatText(Lng().txtLanguageFileMissing, source.toStdString())));
        RefreshLanguageList();
        return;
    }
    if (source != current) {
        // Replaced in one step: a failure leaves the old language whole.
        QFile file(source);
        std::string error;
        if (!file.open(QIODevice::ReadOnly)) {
            Report(
                Q(FormatText(Lng().txtNamedError, LocalizedError(file.errorString().toStdString()),
                             source.toStdString())));
        } else if (!WriteFileAtomically(current.toStdString(), file.readAll().toStdString(),
                                        &error)) {
            Report(Q(LocalizedError(error)));
        } else {
            rememberedName_ = QFileInfo(source).fileName();
        }
    }
    if (!QFileInfo(current).isFile()) {
        QString error;
        if (!SaveLanguageFile(current, &error)) {
            Report(error);
        }
    }
    Apply(current);
    accept();
}

void TLngForm::BitBtnLngCancelClick() {
    if (QFileInfo(Q(CurrentLanguageFile())).isFile()) {
        Apply(Q(CurrentLanguageFile()));
    }
    rememberedName_ = QStringLiteral("current.lng");
    QDialog::reject();
}

void TLngForm::reject() {
    BitBtnLngCancelClick();
}

}  // namespace nocturo
