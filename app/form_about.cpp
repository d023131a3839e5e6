#include "app/form_about.h"

#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QToolButton>

#include "app/help_text.h"
#include "app/text_device.h"
#include "lang/language_files.h"
#include "lang/ui/language_ui.h"
#include "widgets/dialogs.h"

namespace nocturo {

namespace {

/// The emblem, the program's own icon drawn stretched into its box.
class Emblem : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QIcon(QStringLiteral(":/icons/nocturo.svg")).paint(&painter, rect());
    }
};

constexpr int kMargin = 16;
constexpr int kEmblemSize = 105;

}  // namespace

TFormAbout::TFormAbout(QWidget* parent, bool applyLanguage) : QDialog(parent) {
    setObjectName("FormAbout");
    setWindowTitle("About..");
    setModal(true);
    resize(846, 533);
    // The soft blue of an inactive title bar's gradient.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xD7, 0xE4, 0xF2));
    setPalette(colours);
    setAutoFillBackground(true);

    image1_ = new Emblem(this);
    image1_->setObjectName("Image1");
    image1_->setGeometry(kMargin, kMargin, kEmblemSize, kEmblemSize);

    label1_ = new QLabel(" NOCTURO ", this);
    label1_->setObjectName("Label1");
    // Language files set this caption: never markup.
    label1_->setTextFormat(Qt::PlainText);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(40);
    title.setBold(true);
    title.setUnderline(true);
    label1_->setFont(title);

    auto makeButton = [this](const char* name, const QString& caption) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setText(caption);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(true);
        button->setMinimumWidth(90);
        return button;
    };
    speedButton2_ = makeButton("SpeedButton2", "Print...");
    speedButton1_ = makeButton("SpeedButton1", "Close");
    connect(speedButton2_, &QToolButton::clicked, this, &TFormAbout::SpeedButton2Click);
    connect(speedButton1_, &QToolButton::clicked, this, &TFormAbout::SpeedButton1Click);

    memo1_ = new QPlainTextEdit(this);
    memo1_->setObjectName("Memo1");
    memo1_->setReadOnly(true);
    memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1_->setPlainText(HelpText());

    FormCreate(applyLanguage);
}

void TFormAbout::FormCreate(bool applyLanguage) {
    // Every other window exists now: the language last chosen reaches them
    // all at once.
    if (applyLanguage && !UserLanguageFolder().empty() &&
        QFileInfo(QString::fromStdString(CurrentLanguageFile())).isFile()) {
        ApplyLanguageFile(QString());
    }
}

void TFormAbout::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int textLeft = kMargin + kEmblemSize + kMargin;
    label1_->setGeometry(textLeft, kMargin + 20, label1_->sizeHint().width(), 60);
    const QSize button = speedButton1_->sizeHint().expandedTo(QSize(90, 28));
    speedButton1_->setGeometry(w - kMargin - button.width(), kMargin + 36, button.width(),
                               button.height());
    speedButton2_->setGeometry(w - 2 * kMargin - 2 * button.width(), kMargin + 36, button.width(),
                               button.height());
    const int memoTop = kMargin + kEmblemSize + 10;
    memo1_->setGeometry(kMargin, memoTop, w - 2 * kMargin, h - memoTop - kMargin);
}

void TFormAbout::SpeedButton1Click() {
    close();
}

bool TFormAbout::PrintHelp(TextDevice& device) {
    const QString text = memo1_->toPlainText();
    const QStringList lines = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    QString error;
    if (!PrintLines(lines, device, &error)) {
        Dialogs::Get().Message(this, error, windowTitle(), {DialogButton::Ok}, MessageKind::Error);
        return false;
    }
    return true;
}

void TFormAbout::SpeedButton2Click() {
    PrinterTextDevice printer;
    PrintHelp(printer);
}

}  // namespace nocturo
