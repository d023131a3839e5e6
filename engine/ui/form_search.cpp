#include "engine/ui/form_search.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgets/dialogs.h"

namespace nocturo {

namespace {

// One number of the search parameters: its spin box, its label, its range
// and its first value.
struct NumberField {
    const char* name;  // the spin box's name; its edit field is "Edit" + the rest
    const char* labelName;
    const char* label;
    int low;
    int high;
    int initial;
};

// The labels are named so that language files reach them.
constexpr NumberField kLevels[] = {
    {"UpDownMinLevel", "Label1", "Min Level:", 0, 255, 10},
    {"UpDownMinPixels", "Label2", "Min Pixels:", 0, 1000, 10},
};
constexpr NumberField kMargins[] = {
    {"UpDownLeft", "Label3", "Left:", 0, 1000, 1},
    {"UpDownRight", "Label4", "Right:", 0, 1000, 1},
    {"UpDownTop", "Label5", "Top:", 0, 1000, 1},
    {"UpDownBottom", "Label6", "Bottom:", 0, 100, 1},
};
constexpr NumberField kCrop[] = {
    {"UpDownCropW", "Label7", "Width:", 1, 1000, 100},
    {"UpDownCropH", "Label8", "Height:", 1, 1000, 100},
};

}  // namespace

TFormSearch::TFormSearch(QWidget* parent) : QDialog(parent) {
    setObjectName("FormSearch");
    setWindowTitle("Search Parameters:");
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto addGroup = [&](const char* name, const QString& title, const auto& controls) {
        QWidget* box = title.isEmpty() ? new QWidget(this) : new QGroupBox(title, this);
        box->setObjectName(name);
        auto* grid = new QGridLayout(box);
        if (title.isEmpty()) {
            grid->setContentsMargins(0, 0, 0, 0);
        }
        int row = 0;
        for (const NumberField& control : controls) {
            QSpinBox* upDown = AddUpDown(control.name, control.low, control.high, control.initial);
            auto* label = new QLabel(control.label, box);
            label->setObjectName(control.labelName);
            label->setBuddy(upDown);
            grid->addWidget(label, row / 2, (row % 2) * 2);
            grid->addWidget(upDown, row / 2, (row % 2) * 2 + 1);
            ++row;
        }
        layout->addWidget(box);
    };
    addGroup("Panel1", QString(), kLevels);
    addGroup("GroupBox1", " Margins ", kMargins);
    addGroup("GroupBox2", " Crop ", kCrop);

    checkBoxSave_ = new QCheckBox(" Save ? ", this);
    checkBoxSave_->setObjectName("CheckBoxSave");
    layout->addWidget(checkBoxSave_);
    auto* nameRow = new QHBoxLayout;
    editName_ = new QLineEdit(this);
    editName_->setObjectName("EditName");
    editName_->setMinimumWidth(260);
    speedButton1_ = new QToolButton(this);
    speedButton1_->setObjectName("SpeedButton1");
    speedButton1_->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    speedButton1_->setToolTip("Choose the output folder and format");
    nameRow->addWidget(editName_, 1);
    nameRow->addWidget(speedButton1_);
    layout->addLayout(nameRow);

    speedButton2_ = new QToolButton(this);
    speedButton2_->setObjectName("SpeedButton2");
    speedButton2_->setText("Clear Right List");
    speedButton2_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(speedButton2_, 0, Qt::AlignLeft);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);

    // clicked comes from the user only: Execute's own setChecked does not
    // open the save dialog.
    connect(checkBoxSave_, &QCheckBox::clicked, this, &TFormSearch::CheckBoxSaveClick);
    connect(speedButton1_, &QToolButton::clicked, this, &TFormSearch::SpeedButton1Click);
    connect(speedButton2_, &QToolButton::clicked, this, &TFormSearch::SpeedButton2Click);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QSpinBox* TFormSearch::AddUpDown(const char* name, int low, int high, int initial) {
    auto* upDown = new QSpinBox(this);
    upDown->setObjectName(name);
    upDown->setRange(low, high);
    upDown->setValue(initial);
    // The number field inside is the up-down's edit field: typed text counts
    // as a number within the range, anything else falls back to the last
    // valid position.
    if (auto* edit = upDown->findChild<QLineEdit*>()) {
        edit->setObjectName(QStringLiteral("Edit") + QString(name).mid(6));
    }
    return upDown;
}

QSpinBox* TFormSearch::UpDown(const char* name) const {
    return findChild<QSpinBox*>(name);
}

SearchParams TFormSearch::Params() const {
    SearchParams params;
    params.MinLevel = UpDown("UpDownMinLevel")->value();
    params.MinPixels = UpDown("UpDownMinPixels")->value();
    params.Left = UpDown("UpDownLeft")->value();
    params.Right = UpDown("UpDownRight")->value();
    params.Top = UpDown("UpDownTop")->value();
    params.Bottom = UpDown("UpDownBottom")->value();
    params.CropWidth = UpDown("UpDownCropW")->value();
    params.CropHeight = UpDown("UpDownCropH")->value();
    return params;
}

void TFormSearch::SetOutputName(const std::string& name) {
    editName_->setText(QString::fromStdString(name));
}

std::optional<SearchChoice> TFormSearch::Execute(bool save, const std::string& firstEntry) {
    checkBoxSave_->setChecked(save);
    if (editName_->text().isEmpty()) {
        editName_->setText(QString::fromStdString(firstEntry));
    }
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    // Typed text the up-downs have not taken yet counts as they would take it.
    for (QSpinBox* upDown : findChildren<QSpinBox*>()) {
        upDown->interpretText();
    }
    SearchChoice choice;
    choice.params = Params();
    choice.save = checkBoxSave_->isChecked();
    choice.name = editName_->text().toStdString();
    return choice;
}

void TFormSearch::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WidenForTitle(this);
    FormShow();
}

void TFormSearch::FormShow() {
    editName_->setVisible(checkBoxSave_->isChecked());
    speedButton1_->setVisible(checkBoxSave_->isChecked());
}

void TFormSearch::CheckBoxSaveClick() {
    if (isVisible() && checkBoxSave_->isChecked()) {
        SpeedButton1Click();
    }
    editName_->setVisible(checkBoxSave_->isChecked());
    speedButton1_->setVisible(checkBoxSave_->isChecked());
    adjustSize();
}

void TFormSearch::SpeedButton1Click() {
    FileDialogOptions dialog;
    dialog.filter = kSearchSaveFilter;
    dialog.defaultExtension = "bmp";
    dialog.fileName = "(CurrentFileName).bmp";
    const QString chosen = Dialogs::Get().SaveFileName(this, dialog);
    if (!chosen.isEmpty()) {
        editName_->setText(chosen);
    }
}

void TFormSearch::SpeedButton2Click() {
    if (clearRightList_) {
        clearRightList_();
    }
}

}  // namespace nocturo
