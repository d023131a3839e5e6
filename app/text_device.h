#pragma once
// Printing plain text lines: a small device that takes lines one after the
// other, so the help window prints through the same routine whether the
// lines go to a printer, a PDF file or a test's counter.

#include <QString>
#include <QStringList>
#include <memory>

class QPainter;
class QPrinter;

namespace nocturo {

class TextDevice {
  public:
    virtual ~TextDevice() = default;
    /// Starts the job; false with a message in `error` when it cannot start.
    virtual bool Begin(QString* error) = 0;
    /// Writes one line (an empty line too); false when writing failed.
    virtual bool WriteLine(const QString& line, QString* error) = 0;
    /// Ends the job; always called once Begin succeeded.
    virtual void End() = 0;
};

/// Writes every line in order, one device line each, and ends the job also
/// when a line fails. False with a message in `error` on failure.
bool PrintLines(const QStringList& lines, TextDevice& device, QString* error);

/// A printer as a text device: lines in the printer's default font, a new
/// page when a page is full, long lines cut at the right margin. With an
/// empty `pdfFile` it prints on the default printer; otherwise it writes a
/// PDF file.
class PrinterTextDevice : public TextDevice {
  public:
    explicit PrinterTextDevice(const QString& pdfFile = {});
    ~PrinterTextDevice() override;

    bool Begin(QString* error) override;
    bool WriteLine(const QString& line, QString* error) override;
    void End() override;

  private:
    QString pdfFile_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
    int y_ = 0;
    int lineHeight_ = 0;
};

}  // namespace nocturo
