#include "ui/qt/caption_fit.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <numeric>

namespace pyrrow::ui {

int CaptionWidth(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text().isEmpty() ? 0 : label->sizeHint().width();
    if (auto* radio = qobject_cast<QRadioButton*>(w))
        return radio->text().isEmpty() ? 0 : radio->sizeHint().width();
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        if (button->text().isEmpty())
            return 0;
        // The style's own size hint of a button has a minimum width that
        // the template's small buttons ("...") do not need: the caption,
        // the style's margins and the frame are enough.
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
        return button->fontMetrics().horizontalAdvance(button->text()) + 2 * margin + button->width() - contents.width();
    }
    return 0;
}

std::vector<QRect> FitCaptions(const std::vector<CaptionPlace>& controls, QSize* window)
{
    std::vector<QRect> placed;
    int leftMargin = window->width();
    int rightmost = 0;
    for (const CaptionPlace& c : controls) {
        QRect r = c.rect;
        if (c.needed > r.width()) {
            if (c.growsLeft)
                r.setLeft(r.left() + r.width() - c.needed);
            else
                r.setWidth(c.needed);
        }
        placed.push_back(r);
        leftMargin = std::min(leftMargin, c.rect.left());
        rightmost = std::max(rightmost, c.rect.left() + c.rect.width());
    }

    // From left to right: a control starts no earlier than the window's
    // margin and, after each control left of it in its row, with the gap
    // the template left between them.
    std::vector<std::size_t> order(controls.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return controls[a].rect.left() < controls[b].rect.left(); });
    for (std::size_t k = 0; k < order.size(); ++k) {
        const QRect& b = controls[order[k]].rect;
        int earliest = leftMargin;
        for (std::size_t j = 0; j < k; ++j) {
            const QRect& a = controls[order[j]].rect;
            const bool sameRow = a.top() <= b.bottom() && b.top() <= a.bottom();
            if (sameRow && a.right() < b.left())
                earliest = std::max(earliest, placed[order[j]].right() + (b.left() - a.right()));
        }
        QRect& r = placed[order[k]];
        if (r.left() < earliest)
            r.moveLeft(earliest);
    }

    const int rightMargin = window->width() - rightmost;
    for (const QRect& r : placed)
        window->setWidth(std::max(window->width(), r.left() + r.width() + rightMargin));
    return placed;
}

}  // namespace pyrrow::ui
