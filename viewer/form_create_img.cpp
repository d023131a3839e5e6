#include "viewer/form_create_img.h"

#include <QColor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <string>

#include "core/hex_color.h"
#include "core/image_file.h"
#include "core/rgb_image.h"
#include "lang/language_strings.h"
#include "widgets/dialogs.h"
#include "widgets/file_places.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

constexpr char kDefaultMaskName[] = "new.bmp";

/// A decimal integer typed in an edit (blanks around and a sign allowed), or
/// fallback when the text is none.
int IntegerOr(const QLineEdit* edit, int fallback) {
    return TypedInteger(edit->text()).value_or(fallback);
}

QString HexText(uint32_t color) {
    return QStringLiteral("%1").arg(color, 8, 16, QChar('0')).toUpper();
}

}  // namespace

TFormCreateImg::TFormCreateImg(QWidget* parent)
    : QDialog(parent), savePictureDialog1_(std::make_unique<FileDialogOptions>()) {
    setObjectName("FormCreateImg");
    setWindowTitle("Info Image");
    // Non-modal, a tool window of its parent (the main window): above it,
    // yet below every question the program asks, with a fixed dialog border.
    // Staying on top of everything, it hid the questions behind it.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setModal(false);

    auto makeLabel = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        return label;
    };
    auto makeEdit = [this](const char* name, int width) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setFixedWidth(width);
        return edit;
    };

    QLabel* label1 = makeLabel("Label1", "Width:");
    editW_ = makeEdit("EditW", 64);
    QLabel* label2 = makeLabel("Label2", "Height:");
    editH_ = makeEdit("EditH", 64);
    QLabel* label3 = makeLabel("Label3", "Pixel Size:");
    editPF_ = makeEdit("EditPF", 64);
    // The bits per pixel always come from the opener.
    editPF_->setEnabled(false);
    QLabel* label5 = makeLabel("Label5", "Mouse X / Y/L: ");
    editPosX_ = makeEdit("EditPosX", 64);
    editPosY_ = makeEdit("EditPosY", 64);
    editVal_ = makeEdit("EditVal", 48);

    auto* groupBox1 = new QGroupBox("Mask:", this);
    groupBox1->setObjectName("GroupBox1");
    auto* label4 = new QLabel("Color", groupBox1);
    label4->setObjectName("Label4");
    editC_ = new QLineEdit(groupBox1);
    editC_->setObjectName("EditC");
    editC_->setFixedWidth(88);
    speedButtonColor_ = new QToolButton(groupBox1);
    speedButtonColor_->setObjectName("SpeedButtonColor");
    speedButtonColor_->setAutoRaise(true);
    speedButtonColor_->setIconSize(QSize(18, 18));
    speedButtonColor_->setToolTip("Choose the mask colour");
    auto* bitBtnCreate = new QPushButton("Create..", groupBox1);
    bitBtnCreate->setObjectName("BitBtnCreate");
    bitBtnCreate->setDefault(true);

    auto* button1 = new QPushButton("Apply", this);
    button1->setObjectName("Button1");
    button1->setAutoDefault(false);
    auto* bitBtnClose = new QPushButton("Close", this);
    bitBtnClose->setObjectName("BitBtnClose");
    bitBtnClose->setAutoDefault(false);

    auto* facts = new QGridLayout;
    facts->addWidget(label1, 0, 0);
    facts->addWidget(editW_, 0, 1);
    facts->addWidget(label2, 1, 0);
    facts->addWidget(editH_, 1, 1);
    facts->addWidget(label3, 2, 0);
    facts->addWidget(editPF_, 2, 1);
    facts->setColumnStretch(2, 1);

    auto* point = new QHBoxLayout;
    point->addWidget(label5);
    point->addWidget(editPosX_);
    point->addWidget(editPosY_);
    point->addWidget(editVal_);
    point->addWidget(button1);

    auto* mask = new QHBoxLayout(groupBox1);
    mask->addWidget(label4);
    mask->addWidget(editC_);
    mask->addWidget(speedButtonColor_);
    mask->addStretch(1);
    mask->addWidget(bitBtnCreate);

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(bitBtnClose);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(facts);
    outer->addLayout(point);
    outer->addWidget(groupBox1);
    outer->addLayout(closeRow);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(button1, &QPushButton::clicked, this, &TFormCreateImg::Button1Click);
    connect(bitBtnCreate, &QPushButton::clicked, this, &TFormCreateImg::BitBtnCreateClick);
    connect(speedButtonColor_, &QToolButton::clicked, this, &TFormCreateImg::SpeedButtonColorClick);
    connect(bitBtnClose, &QPushButton::clicked, this, &TFormCreateImg::BitBtnCloseClick);
    connect(editC_, &QLineEdit::textChanged, this, &TFormCreateImg::ShowColorSwatch);

    savePictureDialog1_->defaultExtension = "bmp";
    savePictureDialog1_->filter =
        "All Images|*.BMP;*.JPG;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF|BMP Files|*.BMP|JPEG "
        "Files|*.JPG;*.JPS;*.JPEG|PNG Files|*.PNG|TIF Files|*.TIF;*.TIFF|GIF Files|*.GIF|All "
        "Files (*.*)|*.*";

    SetImageWidth(1);
    SetImageHeight(1);
    SetPixelFormat(kPixelFormat24);
    SetPointX(-1);
    SetPointY(-1);
    SetPointValue(-1);
    SetFillColor(0);
}

TFormCreateImg::~TFormCreateImg() = default;

void TFormCreateImg::SetImageWidth(int width) {
    width_ = width;
    editW_->setText(QString::number(width));
}

void TFormCreateImg::SetImageHeight(int height) {
    height_ = height;
    editH_->setText(QString::number(height));
}

void TFormCreateImg::SetPixelFormat(int formatCode) {
    bitsPerPixel_ = PixelFormatBits(formatCode);
    editPF_->setText(QString::number(bitsPerPixel_));
}

void TFormCreateImg::SetPointX(int x) {
    pointX_ = x;
    editPosX_->setText(QString::number(x));
}

void TFormCreateImg::SetPointY(int y) {
    pointY_ = y;
    editPosY_->setText(QString::number(y));
}

void TFormCreateImg::SetPointValue(int value) {
    pointValue_ = value;
    editVal_->setText(QString::number(value));
}

void TFormCreateImg::SetFillColor(uint32_t color) {
    fillColor_ = color;
    editC_->setText(HexText(color));
}

void TFormCreateImg::SetInfoCallBack(std::function<void()> callBack) {
    infoCallBack_ = std::move(callBack);
}

void TFormCreateImg::RunInfoCallBack() {
    // The call-back may register a call-back of its own (the main window's
    // refresh does), which would destroy the function while it runs: run a
    // copy.
    if (const std::function<void()> callBack = infoCallBack_) {
        callBack();
    }
}

void TFormCreateImg::ReadPoint() {
    SetPointX(IntegerOr(editPosX_, 0));
    SetPointY(IntegerOr(editPosY_, 0));
    SetPointValue(IntegerOr(editVal_, 0));
}

void TFormCreateImg::Button1Click() {
    ReadPoint();
    RunInfoCallBack();
}

void TFormCreateImg::BitBtnCreateClick() {
    bitsPerPixel_ = IntegerOr(editPF_, 24);
    editPF_->setText(QString::number(bitsPerPixel_));
    SetImageWidth(IntegerOr(editW_, 0));
    SetImageHeight(IntegerOr(editH_, 0));
    // A colour that is no hexadecimal number is black, never a guess.
    const HexColor color = ParseHexColor(editC_->text().toStdString());
    SetFillColor(color.ok ? color.value : 0);
    ReadPoint();

    // The masks' own folder and last name; a name that is no picture (a
    // list's) is never proposed.
    FilePlaces::Session().Propose(
        FileKind::Masks, *savePictureDialog1_, kDefaultMaskName,
        [](const QString& name) { return IsLoadableName(name.toStdString()); });
    // A mask may take the name of an existing picture only after a question.
    const QString chosen = SaveFileNameAskingToReplace(
        this, *savePictureDialog1_,
        [](const QString& name) {
            return QString::fromStdString(FormatText(Lng().kstoverwrite, name.toStdString()));
        },
        QString::fromStdString(Lng().txtWarning));
    if (!chosen.isEmpty()) {
        FilePlaces::Session().Remember(FileKind::Masks, chosen, savePictureDialog1_->filterIndex);
        RgbImage mask;
        std::string name = chosen.toStdString();
        // Resize refuses a negative or absurd size; a 0 side gives an image
        // that the save refuses.
        // At 48 bits per pixel (the view shows a 16-bit picture) the mask is
        // made at 16 bits, for 16-bit batch runs; PNG and TIFF keep them.
        const bool wide = bitsPerPixel_ == PixelFormatBits(kPixelFormat48);
        bool written = mask.Resize(width_, height_, wide ? 16 : 8);
        if (written) {
            if (!wide) {
                mask.SetFormat(PixelFormatFromBits(bitsPerPixel_));
            }
            FillImage(mask, ColorBlue(fillColor_), ColorGreen(fillColor_), ColorRed(fillColor_));
            written = SaveImageFile(mask, name, kDefaultMaskName);
        }
        if (written) {
            createdMaskName_ = QString::fromStdString(name);
        } else {
            // The previous name stays; the user learns why nothing appeared.
            Dialogs::Get().Message(
                this,
                QString::fromStdString(FormatText(Lng().txtMaskNotWritten, width_, height_, name)),
                windowTitle(), {DialogButton::Ok}, MessageKind::Warning);
        }
    }
    RunInfoCallBack();
    hide();
}

void TFormCreateImg::SpeedButtonColorClick() {
    const HexColor typed = ParseHexColor(editC_->text().toStdString());
    const uint32_t current = typed.ok ? typed.value : fillColor_;
    const std::optional<QColor> chosen = Dialogs::Get().Colour(
        this, QColor(ColorRed(current), ColorGreen(current), ColorBlue(current)));
    if (chosen.has_value()) {
        SetFillColor(MakeColor(static_cast<uint8_t>(chosen->red()),
                               static_cast<uint8_t>(chosen->green()),
                               static_cast<uint8_t>(chosen->blue())));
    }
}

void TFormCreateImg::BitBtnCloseClick() {
    hide();
}

void TFormCreateImg::ShowColorSwatch() {
    // The button has no caption: it shows the colour the edit holds, or an
    // empty crossed box while the text is no colour.
    const HexColor color = ParseHexColor(editC_->text().toStdString());
    QPixmap swatch(speedButtonColor_->iconSize());
    swatch.fill(Qt::transparent);
    QPainter painter(&swatch);
    const QRect box = swatch.rect().adjusted(0, 0, -1, -1);
    if (color.ok) {
        painter.fillRect(
            box, QColor(ColorRed(color.value), ColorGreen(color.value), ColorBlue(color.value)));
    } else {
        painter.setPen(Qt::gray);
        painter.drawLine(box.topLeft(), box.bottomRight());
    }
    painter.setPen(Qt::darkGray);
    painter.drawRect(box);
    painter.end();
    speedButtonColor_->setIcon(QIcon(swatch));
}

}  // namespace nocturo
