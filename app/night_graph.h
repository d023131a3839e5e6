#pragma once
// The night graph: a panel below the view that plots the mean luminosity of
// every entry of the left list, in list order, so that frames spoilt by
// clouds, headlights or dawn stand out. The values are measured at reduced
// size on worker threads and kept per file; the panel only paints them.

#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "engine/night_measure.h"
#include "lists/file_list.h"

class QAction;
class QMenu;
class QProgressBar;
class QPushButton;
class QRubberBand;

namespace nocturo {

/// The plot itself. Click a point: entryClicked. Drag across it:
/// rangeSelected. Drag the horizontal limit line: limitChanged.
class TNightGraph : public QWidget {
    Q_OBJECT
  public:
    explicit TNightGraph(const FileList& list, QWidget* parent = nullptr);

    void SetPoints(std::vector<NightPoint> points);
    const std::vector<NightPoint>& Points() const { return points_; }

    /// The limit line's value; none until there is a measured point. Until
    /// SetLimit it follows the brightest frame, just above it.
    std::optional<double> Limit() const { return limit_; }
    void SetLimit(double limit);

    /// Geometry shared by painting, the mouse and the tests.
    QRect PlotRect() const;
    /// Centre x of entry i's column.
    double EntryX(int index) const;
    /// The entry whose column holds x (clamped to the list), -1 without one.
    int EntryAt(double x) const;
    double ValueY(double value) const;
    double YValue(double y) const;
    /// Top of the value scale.
    double ScaleTop() const { return scaleTop_; }

  signals:
    void entryClicked(int index);
    void rangeSelected(int first, int last);
    void limitChanged(double limit);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum class Drag { None, Pending, Range, Limit };
    void UpdateScale();

    const FileList& list_;
    std::vector<NightPoint> points_;
    std::optional<double> limit_;
    bool limitMoved_ = false;
    double scaleTop_ = 1;
    Drag drag_ = Drag::None;
    QPoint pressPos_;
    int dragX_ = 0;
};

/// The panel: the graph, a progress bar with Cancel while measuring, and
/// the limit command. It watches the left list: new names are measured,
/// and every change repaints.
class TPanelGraph : public QWidget, public FileListObserver {
    Q_OBJECT
  public:
    TPanelGraph(FileList& list, QWidget* parent = nullptr);
    ~TPanelGraph() override;

    TNightGraph* Graph() const { return graph_; }
    LuminosityCache& Cache() { return cache_; }
    bool Measuring() const;
    /// Measures every entry (a file whose value is current is only
    /// looked at); the panel measures by itself when shown and when names
    /// arrive.
    void MeasureAll();
    /// Blocks until the measuring ends, then shows its values (tests).
    void WaitForMeasuring();

    void ListChanged(const FileList& list, const ListChange& change) override;

  signals:
    /// "Uncheck frames above the line" unchecked this many entries.
    void framesUnchecked(int count);
    /// "Uncheck bright frames" unchecked and selected this many entries,
    /// the first at index `first` (-1 for none).
    void brightFramesUnchecked(int count, int first);
    /// "Save values as CSV..." chosen.
    void saveCsvRequested();
    /// Measuring has come to `done` of `total` files; running false once
    /// it has ended or was cancelled.
    void measuring(int done, int total, bool running);

  public slots:
    void ButtonGraphCancelClick();
    void UncheckAbove1Click();
    void UncheckBright1Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void MeasureMissing();
    void StartMeasuring(std::vector<std::string> names);
    void Poll();
    void Refresh();

    FileList& list_;
    LuminosityCache cache_;
    std::unique_ptr<NightMeasurer> measurer_;
    TNightGraph* graph_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QAction* cancelMeasure_ = nullptr;
    QPushButton* uncheckAbove_ = nullptr;
    QMenu* menu_ = nullptr;
    QTimer poll_;
    QTimer listSettled_;
    bool cancelled_ = false;
};

}  // namespace nocturo
