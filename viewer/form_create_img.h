#pragma once
// TFormCreateImg, "Info Image": facts about the picture in the view (size and
// bits per pixel) and about one point of it, a point the user can type and
// send back ("Apply"), and the creation of a mask: a picture of one colour
// saved under a chosen name ("Create..").
//
// The window is created once, hidden, and keeps its values between showings.
// It is non-modal, a tool window of its parent: above it, below questions. Whoever opens it hands
// it the facts through the setters and registers the info call-back, the action to run after
// "Apply" and "Create.." (the main window moves its marked point; the batch window takes the
// created mask's name).

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace nocturo {

struct FileDialogOptions;

class TFormCreateImg : public QDialog {
    Q_OBJECT
  public:
    explicit TFormCreateImg(QWidget* parent = nullptr);
    ~TFormCreateImg() override;

    // Each setter stores its value and shows it in its edit.
    void SetImageWidth(int width);
    void SetImageHeight(int height);
    /// Stores the bits per pixel of a pixel format code (-1 for a code the
    /// program does not know).
    void SetPixelFormat(int formatCode);
    void SetPointX(int x);
    void SetPointY(int y);
    void SetPointValue(int value);
    /// Red in the lowest byte, then green, then blue; shown as 8 hex digits.
    void SetFillColor(uint32_t color);

    int ImageWidth() const { return width_; }
    int ImageHeight() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    int PointX() const { return pointX_; }
    int PointY() const { return pointY_; }
    int PointValue() const { return pointValue_; }
    uint32_t FillColor() const { return fillColor_; }
    /// Name of the last mask written; empty until one was.
    QString CreatedMaskName() const { return createdMaskName_; }

    /// Replaces the action run after "Apply" and "Create.."; an empty
    /// function registers none.
    void SetInfoCallBack(std::function<void()> callBack);
    bool HasInfoCallBack() const { return static_cast<bool>(infoCallBack_); }

    /// The mask's save dialog as last shown: the name proposed there, and
    /// after a choice the name chosen.
    const FileDialogOptions& SavePictureDialog1() const { return *savePictureDialog1_; }

    QLineEdit* EditW() const { return editW_; }
    QLineEdit* EditH() const { return editH_; }
    QLineEdit* EditPF() const { return editPF_; }
    QLineEdit* EditPosX() const { return editPosX_; }
    QLineEdit* EditPosY() const { return editPosY_; }
    QLineEdit* EditVal() const { return editVal_; }
    QLineEdit* EditC() const { return editC_; }

  public slots:
    /// "Apply": the point typed goes back to the opener.
    void Button1Click();
    /// "Create..": asks for a name, writes the mask, runs the call-back and
    /// closes, also when the dialog was cancelled or the write failed.
    void BitBtnCreateClick();
    /// The colour dialog sets the fill colour.
    void SpeedButtonColorClick();
    void BitBtnCloseClick();

  private:
    /// Point X, Y and value from their edits, 0 where a text is no number.
    void ReadPoint();
    void RunInfoCallBack();
    /// The colour button shows the colour the colour edit holds.
    void ShowColorSwatch();

    int width_ = 1;
    int height_ = 1;
    int bitsPerPixel_ = 24;
    int pointX_ = -1;
    int pointY_ = -1;
    int pointValue_ = -1;
    uint32_t fillColor_ = 0;
    QString createdMaskName_;
    std::function<void()> infoCallBack_;
    std::unique_ptr<FileDialogOptions> savePictureDialog1_;

    QLineEdit* editW_ = nullptr;
    QLineEdit* editH_ = nullptr;
    QLineEdit* editPF_ = nullptr;
    QLineEdit* editPosX_ = nullptr;
    QLineEdit* editPosY_ = nullptr;
    QLineEdit* editVal_ = nullptr;
    QLineEdit* editC_ = nullptr;
    QToolButton* speedButtonColor_ = nullptr;
};

}  // namespace nocturo
