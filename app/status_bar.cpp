#include "app/status_bar.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

namespace nocturo {

namespace {

// Room around a panel's text: the frame and the text's margins.
constexpr int kTextRoom = 2 + 2 * 3 + 2;

// A panel that gives up room for a later one keeps at least this much.
constexpr int kNarrowestPanel = 120;

// The width of text with every digit written as the font's widest digit:
// the most any text of that shape can need.
int WidestAdvance(const QFontMetrics& metrics, QString text) {
    QChar widest('0');
    for (char c = '1'; c <= '9'; ++c) {
        if (metrics.horizontalAdvance(QChar(c)) > metrics.horizontalAdvance(widest)) {
            widest = QChar(c);
        }
    }
    for (QChar& c : text) {
        if (c.isDigit()) {
            c = widest;
        }
    }
    return metrics.horizontalAdvance(text);
}

}  // namespace

StatusPanels::StatusPanels(std::vector<int> widths, QWidget* parent)
    : QWidget(parent),
      widths_(std::move(widths)),
      shown_(widths_),
      longest_(widths_.size()),
      texts_(widths_.size()) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

int StatusPanels::PanelWidth(int panel) const {
    return panel >= 0 && panel < PanelCount() ? shown_[panel] : 0;
}

void StatusPanels::SetLongestText(int panel, const QString& text) {
    if (panel >= 0 && panel < PanelCount()) {
        longest_[panel] = text;
        UpdateWidths();
    }
}

void StatusPanels::UpdateWidths() {
    QFont italic = font();
    italic.setItalic(true);
    const QFontMetrics regular(font());
    const QFontMetrics slanted(italic);
    for (int i = 0; i < PanelCount(); ++i) {
        int need = 0;
        if (!longest_[i].isEmpty()) {
            need =
                std::max(WidestAdvance(regular, longest_[i]), WidestAdvance(slanted, longest_[i])) +
                kTextRoom;
        }
        shown_[i] = std::max(widths_[i], need);
    }
    update();
}

void StatusPanels::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateWidths();
    }
}

QString StatusPanels::PanelText(int panel) const {
    return panel >= 0 && panel < PanelCount() ? texts_[panel] : QString();
}

void StatusPanels::SetPanelText(int panel, const QString& text) {
    if (panel < 0 || panel >= PanelCount() || texts_[panel] == text) {
        return;
    }
    texts_[panel] = text;
    update();
}

void StatusPanels::WidenPanelFor(int panel, const QString& text) {
    if (panel < 0 || panel >= PanelCount()) {
        return;
    }
    QFont font = this->font();
    font.setItalic(true);  // the wider of the two styles
    const int needed = QFontMetrics(font).horizontalAdvance(text) + 10;
    if (needed > widths_[panel]) {
        widths_[panel] = needed;
        UpdateWidths();
    }
}

void StatusPanels::SetErrorStyle(bool error) {
    if (error_ != error) {
        error_ = error;
        update();
    }
}

std::vector<int> StatusPanels::PlacedWidths() const {
    std::vector<int> placed = shown_;
    int last = PanelCount() - 1;
    while (last >= 0 && texts_[last].isEmpty()) {
        --last;
    }
    int end = 0;
    for (int i = 0; i <= last; ++i) {
        end += placed[i];
    }
    // The widest panel before the last one with text narrows first.
    for (int overflow = end - width(); overflow > 0;) {
        int widest = -1;
        for (int i = 0; i < last; ++i) {
            if (placed[i] > kNarrowestPanel && (widest < 0 || placed[i] > placed[widest])) {
                widest = i;
            }
        }
        if (widest < 0) {
            break;
        }
        const int give = std::min(overflow, placed[widest] - kNarrowestPanel);
        placed[widest] -= give;
        overflow -= give;
    }
    return placed;
}

QRect StatusPanels::PanelRect(int panel) const {
    if (panel < 0 || panel >= PanelCount()) {
        return {};
    }
    const std::vector<int> placed = PlacedWidths();
    int x = 0;
    for (int i = 0; i < panel; ++i) {
        x += placed[i];
    }
    return QRect(x, 1, placed[panel] - 2, height() - 2);
}

QSize StatusPanels::sizeHint() const {
    return {400, fontMetrics().height() + 8};
}

QSize StatusPanels::minimumSizeHint() const {
    return {0, fontMetrics().height() + 8};
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QFont font = this->font();
    font.setItalic(error_);
    painter.setFont(font);
    const QColor ink = error_ ? QColor(255, 0, 0) : QColor(0, 0, 0);
    const std::vector<int> placed = PlacedWidths();
    int x = 0;
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect panel(x, 1, placed[i] - 2, height() - 2);
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.rect = panel;
        frame.lineWidth = 1;
        frame.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, this);
        painter.setPen(ink);
        painter.drawText(panel.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft, texts_[i]);
        x += placed[i];
    }
}

}  // namespace nocturo
