#pragma once
// The main window's status bar: panels of fixed widths drawn side by side and
// clipped by the window, as the program has always shown them, instead of
// widgets that would force the window to be wide enough for all of them.

#include <QString>
#include <QWidget>
#include <vector>

namespace nocturo {

class StatusPanels : public QWidget {
    Q_OBJECT
  public:
    /// One panel per width, from the left.
    StatusPanels(std::vector<int> widths, QWidget* parent = nullptr);

    int PanelCount() const { return static_cast<int>(texts_.size()); }
    /// The panel's width: its own, or wider when its longest text (see
    /// SetLongestText) needs more in the current font, regular or italic.
    int PanelWidth(int panel) const;
    /// The longest text a panel is meant to show in full, such as the pixel
    /// readout of the largest picture; every digit in it stands for any
    /// digit. Followed when the font changes.
    void SetLongestText(int panel, const QString& text);
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);
    /// Widens a panel so that text fits in it; never narrows one.
    void WidenPanelFor(int panel, const QString& text);

    /// The style every panel is written in: black regular, or red italic
    /// for an error.
    void SetErrorStyle(bool error);
    bool IsErrorStyle() const { return error_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void UpdateWidths();

    std::vector<int> widths_;
    std::vector<int> shown_;
    std::vector<QString> longest_;
    std::vector<QString> texts_;
    bool error_ = false;
};

}  // namespace nocturo
