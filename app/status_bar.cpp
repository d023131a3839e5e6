#include "app/status_bar.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace nocturo {

StatusPanels::StatusPanels(std::vector<int> widths, QWidget* parent)
    : QWidget(parent), widths_(std::move(widths)), texts_(widths_.size()) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
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

int StatusPanels::PanelWidth(int panel) const {
    return panel >= 0 && panel < PanelCount() ? widths_[panel] : 0;
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
        update();
    }
}

void StatusPanels::SetErrorStyle(bool error) {
    if (error_ != error) {
        error_ = error;
        update();
    }
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
    int x = 0;
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect panel(x, 1, widths_[i] - 2, height() - 2);
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.rect = panel;
        frame.lineWidth = 1;
        frame.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, this);
        painter.setPen(ink);
        painter.drawText(panel.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft, texts_[i]);
        x += widths_[i];
    }
}

}  // namespace nocturo
