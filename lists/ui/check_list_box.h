#pragma once
// The owner-drawn check list that shows a FileList: the left and right lists
// of the main window ("ListBox1", "ListBox2") and the list of the mask
// directory browser.
//
// The model is the only truth. The widget keeps no copy of the entries: it
// draws the visible rows on demand from the list and repaints from the list's
// change notifications, so lists of tens of thousands of frames stay fluid.
// Everything here runs on the GUI thread.

#include <QAbstractScrollArea>
#include <QColor>
#include <QRect>
#include <QStringList>

#include "lists/file_list.h"

class QPainter;

namespace nocturo {

/// The colour text of colour `ink` is drawn in on `fill`: ink itself when it
/// stands out enough (a contrast ratio of 3 or more), otherwise ink mixed
/// towards white or black, whichever needs less of it, until it does. Keeps
/// the list's black, blue and red readable on a selection colour of any
/// brightness.
QColor ReadableInk(const QColor& ink, const QColor& fill);

/// The contrast ratio of two colours, 1 (none) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

/// A check list over a FileList. Each row is kRowHeight pixels high: a check
/// box at the left (greyed for a disabled entry), then the entry's file name
/// drawn by state: enabled and checked black regular, enabled and unchecked
/// blue italic, disabled red italic; a selected row is filled with the
/// selection colour, its text colour made readable on it (ReadableInk).
///
/// The user acts on the list directly: a left click selects with the usual
/// extended-selection rules and makes the row current, a click on the check
/// box of an enabled entry toggles its check mark, the arrow and page keys
/// move the current entry, the space bar toggles the current entry's check
/// mark. Keys with Ctrl held are left to the window.
class CheckListBox : public QAbstractScrollArea, private FileListObserver {
    Q_OBJECT

  public:
    static constexpr int kRowHeight = 16;

    explicit CheckListBox(QWidget* parent = nullptr);
    ~CheckListBox() override;

    CheckListBox(const CheckListBox&) = delete;
    CheckListBox& operator=(const CheckListBox&) = delete;

    /// Shows `list` (not owned; nullptr detaches). The widget observes the
    /// list until it is detached, another list is attached or the widget is
    /// destroyed; the list must outlive that time.
    void SetList(FileList* list);
    FileList* List() const { return list_; }

    /// The list the commands act on is drawn on white, the other one on
    /// light grey.
    void SetIsCurrentList(bool isCurrent);
    bool IsCurrentList() const { return isCurrentList_; }
    /// The colour of the list's background (rows that are not selected and
    /// the space below the last row).
    QColor BackgroundColor() const;

    /// Rectangle of row `index` in viewport coordinates; it may lie outside
    /// the viewport when the row is scrolled away. Null for an index outside
    /// the list.
    QRect RowRect(int index) const;
    /// The check box of row `index` in viewport coordinates; null for an
    /// index outside the list.
    QRect CheckBoxRect(int index) const;
    /// The part of row `index` right of the check box, where the name is
    /// written; null for an index outside the list.
    QRect TextRect(int index) const;
    /// The row under a viewport point, or -1 (above the first or below the
    /// last row, or no list).
    int RowAt(const QPoint& viewportPos) const;

    /// The index of the topmost row shown.
    int TopRow() const;
    /// How many rows fit entirely into the viewport (at least 1).
    int VisibleRowCount() const;
    /// Scrolls as little as needed to show row `index` entirely. Indices
    /// outside the list are ignored.
    void ScrollToRow(int index);

    /// Number of rows drawn since the widget was created. A diagnostic for
    /// tests: drawing must stay proportional to the rows shown.
    long long PaintedRowCount() const { return paintedRows_; }

  signals:
    /// The user clicked a row or moved the current entry with the keys.
    void entryClicked(int index);
    /// The widget received the keyboard focus.
    void entered();
    /// Local files were dropped on the list, in drop order.
    void filesDropped(const QStringList& paths);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void ListChanged(const FileList& list, const ListChange& change) override;

    void UpdateScrollRange();
    /// Schedules a repaint of the rows first..last that are on screen.
    void UpdateRows(int first, int last);
    void DrawRow(QPainter& painter, int index, const QRect& rowRect);
    /// Applies a click or key move to the selection and the current entry,
    /// as one change of the list.
    void SelectTo(int index, bool extend, bool toggle, bool keepOthers);
    int CheckColumnWidth() const;

    FileList* list_ = nullptr;
    bool isCurrentList_ = true;
    /// Where a Shift range starts: the last row clicked or moved to without
    /// Shift. -1 when unknown; then the current entry serves.
    int anchor_ = -1;
    /// The current index the widget last drew, to clear its focus frame.
    int drawnCurrent_ = -1;
    long long paintedRows_ = 0;
};

}  // namespace nocturo
