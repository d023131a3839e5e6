#pragma once
// TLngForm, "Fichiers de Traduction": lists the language files of the user
// language folder; applies one for a preview, makes one the lasting
// language ("current.lng"), writes a new complete file from the texts now
// shown, or opens one in the editor.

#include <QDialog>
#include <QString>
#include <memory>

class QListWidget;
class QToolButton;

namespace nocturo {

class TFormEdit;
struct FileDialogOptions;

class TLngForm : public QDialog {
    Q_OBJECT
  public:
    /// `editor` must outlive the window.
    explicit TLngForm(TFormEdit* editor, QWidget* parent = nullptr);
    ~TLngForm() override;

    /// The selected entry, or "current.lng" when none is selected.
    QString SelectedLanguageName() const;
    /// Refills the list from the folder and selects the remembered name.
    void RefreshLanguageList();
    /// The file name the list selects when it is refilled.
    QString RememberedName() const { return rememberedName_; }

    QListWidget* ListBox1() const { return listBox1_; }

    /// Closing by Escape or the close box undoes a preview, as Cancel does.
    void reject() override;

  public slots:
    void SpeedButtonEditLngClick();
    void SpeedButtonApplyLngClick();
    void SpeedButtonSaveLngClick();
    void BitBtnLngOkClick();
    void BitBtnLngCancelClick();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ListBox1MouseDown(Qt::MouseButton button, const QPoint& position);
    void Apply(const QString& path);
    void Report(const QString& error);

    TFormEdit* editor_;
    QListWidget* listBox1_ = nullptr;
    std::unique_ptr<FileDialogOptions> saveDialog1_;
    QString rememberedName_;
};

}  // namespace nocturo
