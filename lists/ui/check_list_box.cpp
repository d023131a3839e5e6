#include "lists/ui/check_list_box.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "lists/list_commands.h"

namespace nocturo {

namespace {

const QColor kCurrentListBackground(255, 255, 255);
const QColor kOtherListBackground(207, 207, 207);
const QColor kCheckedText(0, 0, 0);
const QColor kUncheckedText(0, 0, 255);
const QColor kDisabledText(255, 0, 0);

/// Space between the check box and the row's edges.
constexpr int kCheckMargin = 2;
/// The name starts this far right of the text area's left edge.
constexpr int kTextIndent = 2;
/// No row is wide enough to show more characters than this; a longer name
/// (a corrupt list file, say) is cut before layout so it cannot stall a
/// paint.
constexpr size_t kMaxDrawnBytes = 4096;

/// The local files among the dropped URLs, in drop order.
QStringList LocalFiles(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (!path.isEmpty()) {
                paths.append(path);
            }
        }
    }
    return paths;
}

/// Accepts a drag that carries local files as a copy: the files stay where
/// they are, the list only records their names.
template <typename Event>
void AcceptFileDrag(Event* event) {
    if (LocalFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

double RelativeLuminance(const QColor& c) {
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

QColor Mix(const QColor& from, const QColor& to, double t) {
    auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

constexpr double kReadableContrast = 3.0;
}  // namespace

CheckListBox::CheckListBox(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // paintEvent fills every pixel it is asked for; letting Qt fill the
    // background first would only paint it twice.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    verticalScrollBar()->setSingleStep(1);
    UpdateScrollRange();
}

CheckListBox::~CheckListBox() {
    if (list_ != nullptr) {
        list_->RemoveObserver(this);
    }
}

void CheckListBox::SetList(FileList* list) {
    if (list == list_) {
        return;
    }
    if (list_ != nullptr) {
        list_->RemoveObserver(this);
    }
    list_ = list;
    anchor_ = -1;
    drawnCurrent_ = -1;
    if (list_ != nullptr) {
        list_->AddObserver(this);
        drawnCurrent_ = list_->Current();
    }
    UpdateScrollRange();
    verticalScrollBar()->setValue(0);
    if (list_ != nullptr && list_->Current() >= 0) {
        ScrollToRow(list_->Current());
    }
    viewport()->update();
}

void CheckListBox::SetIsCurrentList(bool isCurrent) {
    if (isCurrent == isCurrentList_) {
        return;
    }
    isCurrentList_ = isCurrent;
    viewport()->update();
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableInk(const QColor& ink, const QColor& fill) {
    if (ContrastRatio(ink, fill) >= kReadableContrast) {
        return ink;
    }
    QColor best = ink;
    double bestContrast = ContrastRatio(ink, fill);
    for (int step = 1; step <= 20; ++step) {
        for (const QColor& end : {QColor(255, 255, 255), QColor(0, 0, 0)}) {
            const QColor candidate = Mix(ink, end, step / 20.0);
            const double contrast = ContrastRatio(candidate, fill);
            if (contrast >= kReadableContrast) {
                return candidate;
            }
            if (contrast > bestContrast) {
                best = candidate;
                bestContrast = contrast;
            }
        }
    }
    return best;
}

QColor CheckListBox::BackgroundColor() const {
    return isCurrentList_ ? kCurrentListBackground : kOtherListBackground;
}

int CheckListBox::TopRow() const {
    return verticalScrollBar()->value();
}

int CheckListBox::VisibleRowCount() const {
    return std::max(1, viewport()->height() / kRowHeight);
}

int CheckListBox::CheckColumnWidth() const {
    return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 2 * kCheckMargin;
}

QRect CheckListBox::RowRect(int index) const {
    if (list_ == nullptr || !list_->IsValidIndex(index)) {
        return {};
    }
    // A row far off screen still gets a rectangle that lies off screen, not
    // one that wrapped around: keep the offset well inside the int range.
    constexpr long long kFar = 1LL << 29;
    const long long y =
        std::clamp(static_cast<long long>(index - TopRow()) * kRowHeight, -kFar, kFar);
    return QRect(0, static_cast<int>(y), viewport()->width(), kRowHeight);
}

QRect CheckListBox::CheckBoxRect(int index) const {
    const QRect row = RowRect(index);
    if (row.isNull()) {
        return {};
    }
    const int width = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    const int height =
        std::min(kRowHeight - 2, style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this));
    return QRect(row.left() + kCheckMargin, row.top() + (kRowHeight - height) / 2, width, height);
}

QRect CheckListBox::TextRect(int index) const {
    QRect row = RowRect(index);
    if (row.isNull()) {
        return {};
    }
    row.setLeft(row.left() + CheckColumnWidth());
    return row;
}

int CheckListBox::RowAt(const QPoint& viewportPos) const {
    if (list_ == nullptr || viewportPos.y() < 0) {
        return -1;
    }
    const long long row = static_cast<long long>(TopRow()) + viewportPos.y() / kRowHeight;
    return row < list_->Count() ? static_cast<int>(row) : -1;
}

void CheckListBox::ScrollToRow(int index) {
    if (list_ == nullptr || !list_->IsValidIndex(index)) {
        return;
    }
    const int top = TopRow();
    const int visible = VisibleRowCount();
    if (index < top) {
        verticalScrollBar()->setValue(index);
    } else if (index >= top + visible) {
        verticalScrollBar()->setValue(index - visible + 1);
    }
}

void CheckListBox::UpdateScrollRange() {
    const int count = list_ != nullptr ? list_->Count() : 0;
    const int visible = VisibleRowCount();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(visible);
    bar->setRange(0, std::max(0, count - visible));
}

void CheckListBox::UpdateRows(int first, int last) {
    if (list_ == nullptr || first > last || last < 0) {
        return;
    }
    const int top = TopRow();
    // The last row that shows at least partly.
    const int bottom = top + (viewport()->height() + kRowHeight - 1) / kRowHeight - 1;
    const int from = std::max(first, top);
    const int to = std::min({last, bottom, list_->Count() - 1});
    if (from > to) {
        return;
    }
    viewport()->update(
        QRect(0, (from - top) * kRowHeight, viewport()->width(), (to - from + 1) * kRowHeight));
}

void CheckListBox::ListChanged(const FileList& list, const ListChange& change) {
    if (&list != list_) {
        return;
    }
    if (change.reset) {
        // Rows moved: an anchor index now names some other entry.
        anchor_ = -1;
        UpdateScrollRange();
        viewport()->update();
    } else {
        UpdateRows(change.first, change.last);
    }
    if (!list_->IsValidIndex(anchor_)) {
        anchor_ = -1;
    }
    if (change.currentChanged) {
        // The focus frame leaves the old current row and goes to the new one.
        UpdateRows(drawnCurrent_, drawnCurrent_);
        drawnCurrent_ = list_->Current();
        UpdateRows(drawnCurrent_, drawnCurrent_);
        ScrollToRow(drawnCurrent_);
    }
}

// --- drawing ---

void CheckListBox::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, BackgroundColor());
    if (list_ == nullptr || list_->IsEmpty()) {
        return;
    }
    const int top = TopRow();
    const int first = top + std::max(0, dirty.top()) / kRowHeight;
    const int last = std::min(list_->Count() - 1, top + std::max(0, dirty.bottom()) / kRowHeight);
    for (int index = first; index <= last; ++index) {
        DrawRow(painter, index, RowRect(index));
    }
}

void CheckListBox::DrawRow(QPainter& painter, int index, const QRect& rowRect) {
    ++paintedRows_;
    const ListEntry& entry = list_->Entries()[static_cast<size_t>(index)];

    QStyleOptionButton box;
    box.initFrom(this);
    box.rect = CheckBoxRect(index);
    box.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver | QStyle::State_Enabled);
    box.state |= entry.checked ? QStyle::State_On : QStyle::State_Off;
    if (entry.enabled) {
        box.state |= QStyle::State_Enabled;
    } else {
        box.palette.setCurrentColorGroup(QPalette::Disabled);
    }
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, this);

    QRect textRect = rowRect;
    textRect.setLeft(rowRect.left() + CheckColumnWidth());
    const QColor fill =
        entry.selected ? palette().color(QPalette::Active, QPalette::Highlight) : BackgroundColor();
    painter.fillRect(textRect, fill);

    QFont font = painter.font();
    font.setItalic(!(entry.enabled && entry.checked));
    painter.setFont(font);
    const QColor textColour = !entry.enabled  ? kDisabledText
                              : entry.checked ? kCheckedText
                                              : kUncheckedText;
    // Blue or red on a blue selection would be unreadable: a selected row
    // keeps the hue but takes a lighter or darker shade of it. Rows that are
    // not selected keep the list's own colours.
    const QColor ink = entry.selected ? ReadableInk(textColour, fill) : textColour;
    painter.setPen(ink);
    const std::string_view name = FileNamePart(entry.text);
    const QString shown = QString::fromUtf8(
        name.data(), static_cast<qsizetype>(std::min(name.size(), kMaxDrawnBytes)));
    // A frame with excluded areas carries a small dashed box at the row's
    // end, the mark of the areas drawn over it when it is shown.
    const int markWidth = entry.excluded.empty() ? 0 : rowRect.height();
    painter.drawText(textRect.adjusted(kTextIndent, 0, -markWidth, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    if (markWidth > 0) {
        const int side = std::max(4, rowRect.height() / 2);
        const QRect mark(textRect.right() - markWidth + (markWidth - side) / 2,
                         rowRect.top() + (rowRect.height() - side) / 2, side, side);
        painter.setPen(QPen(QColor(220, 40, 40), 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(mark);
    }

    if (hasFocus() && index == list_->Current()) {
        // A dotted frame in the row's text colour: styles that show focus
        // only after keyboard navigation would hide where Space acts, and
        // the text colour stays visible on the selection colour too.
        painter.setPen(QPen(ink, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(textRect.adjusted(0, 0, -1, -1));
    }
}

void CheckListBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

// --- acting on the list ---

void CheckListBox::SelectTo(int index, bool extend, bool toggle, bool keepOthers) {
    FileList::UpdateGuard update(*list_);
    int lo = index;
    int hi = index;
    if (extend) {
        if (!list_->IsValidIndex(anchor_)) {
            anchor_ = list_->IsValidIndex(list_->Current()) ? list_->Current() : index;
        }
        lo = std::min(anchor_, index);
        hi = std::max(anchor_, index);
    } else {
        anchor_ = index;
    }
    if (toggle && !extend) {
        list_->SetSelected(index, !list_->IsSelected(index));
    } else {
        // Only entries whose selection really changes are touched, so a key
        // that leaves the selection as it was changes nothing in the list.
        const int from = keepOthers ? lo : 0;
        const int to = keepOthers ? hi : list_->Count() - 1;
        for (int i = from; i <= to; ++i) {
            const bool inRange = i >= lo && i <= hi;
            if (inRange) {
                list_->SetSelected(i, true);
            } else if (!keepOthers && list_->IsSelected(i)) {
                list_->SetSelected(i, false);
            }
        }
    }
    list_->SetCurrent(index);
}

void CheckListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    const QPoint pos = event->position().toPoint();
    const int index = RowAt(pos);
    if (index < 0) {
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool shift = mods.testFlag(Qt::ShiftModifier);
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    {
        FileList::UpdateGuard update(*list_);
        SelectTo(index, shift, ctrl, ctrl);
        if (pos.x() < CheckColumnWidth()) {
            list_->ToggleCheck(index);  // refused for a disabled entry
        }
    }
    emit entryClicked(index);
}

void CheckListBox::mouseReleaseEvent(QMouseEvent* event) {
    // The press did the work; the release only ends the click.
    event->setAccepted(event->button() == Qt::LeftButton);
}

void CheckListBox::keyPressEvent(QKeyEvent* event) {
    // Ctrl and Alt chords belong to the window's shortcuts and key handler.
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (list_ == nullptr ||
        mods.testAnyFlags(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
    }
    const int count = list_->Count();
    const int current = list_->Current();

    if (event->key() == Qt::Key_Space) {
        list_->ToggleCheck(current);  // refused for a disabled entry or none
        event->accept();
        return;
    }

    const int page = std::max(1, VisibleRowCount() - 1);
    int target;
    switch (event->key()) {
        case Qt::Key_Up:
            target = current - 1;
            break;
        case Qt::Key_Down:
            target = current + 1;
            break;
        case Qt::Key_PageUp:
            target = current - page;
            break;
        case Qt::Key_PageDown:
            target = current < 0 ? page : current + page;
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = count - 1;
            break;
        default:
            event->ignore();
            return;
    }
    event->accept();
    if (count == 0) {
        return;
    }
    target = std::clamp(target, 0, count - 1);

    // Report the move only when the list changed: the model notifies
    // nothing when the current entry and the selection stay as they were.
    bool changed = false;
    struct Watch : FileListObserver {
        bool* changed;
        explicit Watch(bool* flag) : changed(flag) {}
        void ListChanged(const FileList&, const ListChange&) override { *changed = true; }
    } watch(&changed);
    list_->AddObserver(&watch);
    SelectTo(target, mods.testFlag(Qt::ShiftModifier), false, false);
    list_->RemoveObserver(&watch);

    ScrollToRow(target);
    if (changed) {
        emit entryClicked(target);
    }
}

void CheckListBox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    if (list_ != nullptr) {
        UpdateRows(list_->Current(), list_->Current());
    }
    emit entered();
}

void CheckListBox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    if (list_ != nullptr) {
        UpdateRows(list_->Current(), list_->Current());
    }
}

// --- dropping files ---

void CheckListBox::dragEnterEvent(QDragEnterEvent* event) {
    AcceptFileDrag(event);
}

void CheckListBox::dragMoveEvent(QDragMoveEvent* event) {
    AcceptFileDrag(event);
}

void CheckListBox::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    AcceptFileDrag(event);
    emit filesDropped(paths);
}

}  // namespace nocturo
