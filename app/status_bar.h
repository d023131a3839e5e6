#pragma once
// The main window's status bar: panels of fixed widths drawn side by side and
// clipped by the window, as the program has always shown them, instead of
// widgets that would force the window to be wide enough for all of them.
// A panel with something to say is never left beyond the window's edge: the
// wider panels before it give up room.

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
    /// Where a panel is drawn in the bar as it stands. Up to the last panel
    /// that holds text, the panels fit the bar's width as long as the wider
    /// ones before it can give up room (none becomes narrower than a
    /// minimum); the panels after it may lie beyond the edge.
    QRect PanelRect(int panel) const;

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
    /// The widths the panels are drawn with at the bar's current width.
    std::vector<int> PlacedWidths() const;

    std::vector<int> widths_;
    std::vector<int> shown_;
    std::vector<QString> longest_;
    std::vector<QString> texts_;
    bool error_ = false;
};

}  // namespace nocturo
