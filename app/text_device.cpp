#include "app/text_device.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "lang/language_strings.h"
#include "widgets/qt_text.h"

namespace nocturo {

bool PrintLines(const QStringList& lines, TextDevice& device, QString* error) {
    if (!device.Begin(error)) {
        return false;
    }
    bool ok = true;
    for (const QString& line : lines) {
        if (!device.WriteLine(line, error)) {
            ok = false;
            break;
        }
    }
    device.End();
    return ok;
}

PrinterTextDevice::PrinterTextDevice(const QString& pdfFile) : pdfFile_(pdfFile) {}

PrinterTextDevice::~PrinterTextDevice() {
    End();
}

bool PrinterTextDevice::Begin(QString* error) {
    auto fail = [&](const QString& message) {
        if (error != nullptr) {
            *error = message;
        }
        painter_.reset();
        printer_.reset();
        return false;
    };
    if (pdfFile_.isEmpty()) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            return fail(Q(Lng().txtNoPrinter));
        }
        printer_ = std::make_unique<QPrinter>(info);
    } else {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setOutputFileName(pdfFile_);
    }
    printer_->setDocName(QStringLiteral("Nocturo"));
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(printer_.get())) {
        const QString device = pdfFile_.isEmpty() ? printer_->printerName() : pdfFile_;
        return fail(Q(FormatText(Lng().txtPrintNotStarted, device.toStdString())));
    }
    const QFontMetrics metrics(painter_->font(), printer_.get());
    lineHeight_ = metrics.lineSpacing();
    y_ = 0;
    return true;
}

bool PrinterTextDevice::WriteLine(const QString& line, QString* error) {
    if (!painter_ || !painter_->isActive()) {
        if (error != nullptr) {
            *error = Q(Lng().txtPrintEnded);
        }
        return false;
    }
    const QRect page = painter_->viewport();
    if (y_ > 0 && y_ + lineHeight_ > page.height()) {
        if (!printer_->newPage()) {
            if (error != nullptr) {
                *error = Q(Lng().txtPrinterNoPage);
            }
            return false;
        }
        y_ = 0;
    }
    painter_->drawText(QRect(0, y_, page.width(), lineHeight_), Qt::AlignLeft | Qt::TextSingleLine,
                       line);
    y_ += lineHeight_;
    return true;
}

void PrinterTextDevice::End() {
    if (painter_ && painter_->isActive()) {
        painter_->end();
    }
    painter_.reset();
    printer_.reset();
}

}  // namespace nocturo
