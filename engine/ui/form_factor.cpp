#include "engine/ui/form_factor.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <optional>
#include <string>

#include "core/batch.h"
#include "core/image_file.h"
#include "core/text.h"
#include "lang/language_strings.h"
#include "widgets/busy_cursor.h"
#include "widgets/dialogs.h"
#include "widgets/file_places.h"

namespace nocturo {

namespace {

constexpr const char* kFunctionTexts[kBatchFunctionCount] = {
    "Subtract an Image (Dark)", "Add an Image",    "Divide   by an Image (Flat)",
    "Mutiply  by an Image",     "Square of Image", "Cube of Image"};

constexpr const char* kOpenPictureFilter =
    "All "
    "Images|*.BMP;*.JPG;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF;*.ICO;*.WMF;*."
    "EMF;" NOCTURO_RAW_PATTERNS
    "|BMP Files|*.BMP|JPG Files|*.JPG;*.JPS;*.JPEG|PNG Files|*.PNG|TIF Files|*.TIF;*.TIFF|GIF "
    "Files|*.GIF|RAW Files|" NOCTURO_RAW_PATTERNS
    "|ICO Files|*.ICO|WMF Files|*.WMF|EMF Files|*.EMF|All Files (*.*)|*.*";

bool UsesReference(int index) {
    return index != 4 && index != 5;  // square and cube work on the picture alone
}

/// The keys a number field takes without a beep: digits and signs (also
/// from the keypad), and the keys that type nothing (backspace, tab,
/// return, escape, the modifiers). Everything else, letters, blanks,
/// arrows and the editing keys included, beeps.
bool IsNumberKey(int key) {
    switch (key) {
        case 0:  // a key the platform could not name
        case Qt::Key_Plus:
        case Qt::Key_Minus:
        case Qt::Key_Backspace:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Clear:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Pause:
        case Qt::Key_CapsLock:
        case Qt::Key_Escape:
            return true;
        default:
            return key >= Qt::Key_0 && key <= Qt::Key_9;
    }
}

}  // namespace

TFormFactor::TFormFactor(QWidget* parent) : QDialog(parent) {
    setObjectName("FormFactor");
    setWindowTitle("Batch Operations:");
    // A tool window of the main window: above it, never blocking it.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setModal(false);
    beep_ = [] { QApplication::beep(); };

    auto* label4 = new QLabel("Function:", this);
    label4->setObjectName("Label4");
    comboBoxFunction_ = new QComboBox(this);
    comboBoxFunction_->setObjectName("ComboBoxFunction");
    comboBoxFunction_->setEditable(true);
    comboBoxFunction_->setInsertPolicy(QComboBox::NoInsert);
    comboBoxFunction_->setMinimumContentsLength(26);
    for (const char* text : kFunctionTexts) {
        comboBoxFunction_->addItem(text);
    }

    label1_ = new QLabel("Image Filename:", this);
    label1_->setObjectName("Label1");
    editFileName_ = new QLineEdit(this);
    editFileName_->setObjectName("EditFileName");
    editFileName_->setMinimumWidth(300);
    speedButtonBrowse_ = new QToolButton(this);
    speedButtonBrowse_->setObjectName("SpeedButtonBrowse");
    speedButtonBrowse_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    speedButtonBrowse_->setToolTip("Choose the reference picture");
    speedButton1_ = new QPushButton("Create an Image Mask..", this);
    speedButton1_->setObjectName("SpeedButton1");
    speedButton1_->setAutoDefault(false);

    auto* label2 = new QLabel("Factor:", this);
    label2->setObjectName("Label2");
    editFactor_ = new QLineEdit("1", this);
    editFactor_->setObjectName("EditFactor");
    editFactor_->setMaximumWidth(70);
    scrollBarFactor_ = new QScrollBar(Qt::Horizontal, this);
    scrollBarFactor_->setObjectName("ScrollBarFactor");
    scrollBarFactor_->setRange(1, 255);
    scrollBarFactor_->setValue(1);
    scrollBarFactor_->setMinimumWidth(255);
    speedButtonFactor_ = new QPushButton(this);
    speedButtonFactor_->setObjectName("SpeedButtonFactor");
    speedButtonFactor_->setAutoDefault(false);

    auto* label3 = new QLabel("Offset:", this);
    label3->setObjectName("Label3");
    editOffset_ = new QLineEdit("0", this);
    editOffset_->setObjectName("EditOffset");
    editOffset_->setMaximumWidth(70);
    scrollBarOffset_ = new QScrollBar(Qt::Horizontal, this);
    scrollBarOffset_->setObjectName("ScrollBarOffset");
    scrollBarOffset_->setRange(-255, 255);
    scrollBarOffset_->setValue(0);
    speedButtonOffset_ = new QPushButton(this);
    speedButtonOffset_->setObjectName("SpeedButtonOffset");
    speedButtonOffset_->setAutoDefault(false);

    auto* undo = new QPushButton("Original Image", this);
    undo->setObjectName("BitBtnUndo");
    undo->setAutoDefault(false);
    auto* testOne = new QPushButton("Processed Image", this);
    testOne->setObjectName("BitBtnTestOne");
    testOne->setDefault(true);
    auto* ok = new QPushButton("Apply to All", this);
    ok->setObjectName("BitBtnOk");
    ok->setAutoDefault(false);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("BitBtnClose");
    close->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label4, 0, 0);
    grid->addWidget(comboBoxFunction_, 0, 1, 1, 3);
    grid->addWidget(label1_, 1, 0);
    grid->addWidget(editFileName_, 1, 1, 1, 2);
    grid->addWidget(speedButtonBrowse_, 1, 3);
    grid->addWidget(speedButton1_, 2, 1, 1, 3, Qt::AlignLeft);
    grid->addWidget(label2, 3, 0);
    grid->addWidget(editFactor_, 3, 1);
    grid->addWidget(scrollBarFactor_, 3, 2);
    grid->addWidget(speedButtonFactor_, 3, 3);
    grid->addWidget(label3, 4, 0);
    grid->addWidget(editOffset_, 4, 1);
    grid->addWidget(scrollBarOffset_, 4, 2);
    grid->addWidget(speedButtonOffset_, 4, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(undo);
    buttons->addWidget(testOne);
    buttons->addWidget(ok);
    buttons->addStretch();
    buttons->addWidget(close);
    grid->addLayout(buttons, 5, 0, 1, 4);
    grid->setColumnStretch(2, 1);

    // A choice from the list (mouse or keys) selects a function; typing in
    // the box selects none. Choosing the item already chosen changes nothing.
    connect(comboBoxFunction_, &QComboBox::activated, this, [this](int index) {
        if (index != functionIndex_) {
            functionIndex_ = index;
            ComboBoxFunctionChange();
        }
    });
    connect(comboBoxFunction_->lineEdit(), &QLineEdit::textEdited, this, [this] {
        functionIndex_ = -1;
        ComboBoxFunctionChange();
    });

    // The sliders report steps and drags as they happen (the position is
    // already the new one) and the release of a dragged thumb.
    auto scrollCode = [](int action) {
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
            case QAbstractSlider::SliderSingleStepSub:
                return ScrollCode::LineStep;
            case QAbstractSlider::SliderPageStepAdd:
            case QAbstractSlider::SliderPageStepSub:
            case QAbstractSlider::SliderToMinimum:
            case QAbstractSlider::SliderToMaximum:
                return ScrollCode::PageStep;
            default:
                return ScrollCode::Track;
        }
    };
    connect(scrollBarFactor_, &QScrollBar::actionTriggered, this, [this, scrollCode](int action) {
        if (action != QAbstractSlider::SliderNoAction) {
            ScrollBarFactorScroll(scrollCode(action), scrollBarFactor_->sliderPosition());
        }
    });
    connect(scrollBarFactor_, &QScrollBar::sliderReleased, this, [this] {
        ScrollBarFactorScroll(ScrollCode::EndTrack, scrollBarFactor_->sliderPosition());
    });
    connect(scrollBarOffset_, &QScrollBar::actionTriggered, this, [this, scrollCode](int action) {
        if (action != QAbstractSlider::SliderNoAction) {
            ScrollBarOffsetScroll(scrollCode(action), scrollBarOffset_->sliderPosition());
        }
    });
    connect(scrollBarOffset_, &QScrollBar::sliderReleased, this, [this] {
        ScrollBarOffsetScroll(ScrollCode::EndTrack, scrollBarOffset_->sliderPosition());
    });

    editFactor_->installEventFilter(this);
    editOffset_->installEventFilter(this);
    connect(speedButtonFactor_, &QPushButton::clicked, this, &TFormFactor::SpeedButtonFactorClick);
    connect(speedButtonOffset_, &QPushButton::clicked, this, &TFormFactor::SpeedButtonOffsetClick);
    connect(speedButtonBrowse_, &QToolButton::clicked, this, &TFormFactor::SpeedButtonBrowseClick);
    connect(speedButton1_, &QPushButton::clicked, this, &TFormFactor::SpeedButton1Click);
    connect(undo, &QPushButton::clicked, this, &TFormFactor::BitBtnUndoClick);
    connect(testOne, &QPushButton::clicked, this, &TFormFactor::BitBtnApplyClick);
    connect(ok, &QPushButton::clicked, this, &TFormFactor::BitBtnOkClick);
    connect(close, &QPushButton::clicked, this, &TFormFactor::BitBtnCloseClick);

    ShowDefaults();
    FormCreate();
}

void TFormFactor::ShowDefaults() {
    speedButtonFactor_->setText(
        QString::fromStdString(FormatText(Lng().txtDefaultValue, defaultFactor_)));
    speedButtonOffset_->setText(QString::fromStdString(FormatText(Lng().txtDefaultValue, 0)));
}

void TFormFactor::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange && speedButtonFactor_ != nullptr) {
        ShowDefaults();
    }
}

void TFormFactor::FormCreate() {
    referenceFileName_.clear();
    editFileName_->clear();
    // Selected without ComboBoxFunctionChange: the factor controls keep
    // their start values (1 of 1..255) until the user picks a function.
    comboBoxFunction_->setCurrentIndex(0);
    functionIndex_ = 0;
}

QString TFormFactor::EditFileNameText() const {
    return editFileName_->text();
}

void TFormFactor::SetReferenceFileName(const QString& fileName) {
    editFileName_->setText(fileName);
}

void TFormFactor::SelectFunction(int index) {
    comboBoxFunction_->setCurrentIndex(index);
    functionIndex_ = index >= 0 && index < kBatchFunctionCount ? index : -1;
    ComboBoxFunctionChange();
}

BatchRequest TFormFactor::Request() const {
    BatchRequest request;
    request.functionIndex = functionIndex_;
    request.referenceFileName = editFileName_->text().toStdString();
    request.factor = scrollBarFactor_->value();
    request.offset = scrollBarOffset_->value();
    return request;
}

// --- function and number controls -----------------------------------------

void TFormFactor::ComboBoxFunctionChange() {
    const int32_t d = DefaultFactor(functionIndex_);
    scrollBarFactor_->setRange(0, d);
    scrollBarFactor_->setValue(d);
    scrollBarFactor_->setPageStep(d >= 2550 ? d / 25 : 10);
    defaultFactor_ = d;
    ShowDefaults();
    editFactor_->setText(QString::number(d));
    scrollBarOffset_->setRange(-255, 255);
    scrollBarOffset_->setValue(0);
    editOffset_->setText("0");

    const bool reference = UsesReference(functionIndex_);
    speedButtonBrowse_->setVisible(reference);
    label1_->setVisible(reference);
    speedButton1_->setVisible(reference);
    editFileName_->setEnabled(reference);
}

void TFormFactor::ScrollBarFactorScroll(ScrollCode code, int position) {
    // A factor of 0 acts as 1 for square and cube and drops the reference
    // for the others; the field shows 1.
    editFactor_->setText(QString::number(position == 0 ? 1 : position));
    if (code == ScrollCode::EndTrack) {
        BitBtnApplyClick();
    }
}

void TFormFactor::ScrollBarOffsetScroll(ScrollCode code, int position) {
    editOffset_->setText(QString::number(position));
    if (code == ScrollCode::EndTrack) {
        BitBtnApplyClick();
    }
}

void TFormFactor::EditFactorKeyUp(int key) {
    NumberKeyUp(key, editFactor_, scrollBarFactor_);
}

void TFormFactor::EditOffsetKeyUp(int key) {
    NumberKeyUp(key, editOffset_, scrollBarOffset_);
}

void TFormFactor::NumberKeyUp(int key, QLineEdit* field, QScrollBar* slider) {
    if (!IsNumberKey(key)) {
        if (beep_) {
            beep_();
        }
        return;
    }
    const std::optional<int32_t> typed = ParseInt32(field->text().toStdString());
    if (!typed) {
        return;
    }
    int32_t value = *typed;
    if (value > slider->maximum()) {
        value = slider->maximum();
        field->setText(QString::number(value));
    } else if (value < slider->minimum()) {
        value = slider->minimum();
        field->setText(QString::number(value));
    }
    slider->setValue(value);  // no preview: only a released thumb runs one
}

void TFormFactor::SpeedButtonFactorClick() {
    const int32_t d = DefaultFactor(functionIndex_);
    scrollBarFactor_->setValue(d);
    editFactor_->setText(QString::number(d));
    BitBtnApplyClick();
}

void TFormFactor::SpeedButtonOffsetClick() {
    scrollBarOffset_->setValue(0);
    editOffset_->setText("0");
    BitBtnApplyClick();
}

// --- reference --------------------------------------------------------------

void TFormFactor::SpeedButtonBrowseClick() {
    // The reference is a mask, a dark or a flat: it is looked for where
    // masks were last made or chosen, unless the field names one.
    FileDialogOptions dialog;
    dialog.filter = kOpenPictureFilter;
    FilePlaces::Session().Propose(FileKind::Masks, dialog, QString(), nullptr);
    if (!editFileName_->text().isEmpty()) {
        dialog.fileName = editFileName_->text();
    }
    const QString chosen = Dialogs::Get().OpenFileName(this, dialog);
    if (!chosen.isEmpty()) {
        FilePlaces::Session().Remember(FileKind::Masks, chosen);
        editFileName_->setText(chosen);
    }
}

void TFormFactor::SpeedButton1Click() {
    if (createMask_) {
        createMask_();
    }
}

// --- commands ---------------------------------------------------------------

void TFormFactor::RunCommand(BatchMode mode) {
    referenceFileName_ = editFileName_->text();
    if (runner_) {
        BatchRequest request = Request();
        request.referenceFileName = referenceFileName_.toStdString();
        runner_(request, mode, cache_);
    }
}

void TFormFactor::BitBtnApplyClick() {
    BusyCursor busy;
    RunCommand(BatchMode::Preview);
}

void TFormFactor::BitBtnUndoClick() {
    if (showOriginal_) {
        showOriginal_();
    }
}

void TFormFactor::BitBtnOkClick() {
    // Progress shows in the status bar; the cursor stays as it is.
    RunCommand(BatchMode::ApplyToAll);
}

void TFormFactor::BitBtnCloseClick() {
    hide();
}

void TFormFactor::reject() {
    BitBtnCloseClick();  // Escape and the close box act as "Close"
}

void TFormFactor::hideEvent(QHideEvent* event) {
    // The kept pictures serve previews, and previews need the window: the
    // memory of two frames goes back while it is closed.
    if (!event->spontaneous()) {
        cache_.Clear();
    }
    QDialog::hideEvent(event);
}

bool TFormFactor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) {
            if (watched == editFactor_) {
                EditFactorKeyUp(key->key());
            } else if (watched == editOffset_) {
                EditOffsetKeyUp(key->key());
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace nocturo
