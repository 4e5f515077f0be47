// Fitting a dialog template's captions to the font in use. The template's
// sizes were drawn for a narrower font than many desktops give; where a
// caption needs more room than its control has, the control grows (a
// right-aligned label to the left, anything else to the right), the controls
// beside it move aside so that each row keeps its order and its gaps, and
// the window widens with them.
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

namespace pyrrow::ui {

struct CaptionPlace {
    QRect rect;       // where the template puts the control, in pixels
    int needed = 0;   // the width its caption needs; 0 without a caption
    bool growsLeft = false;
};

// The width w needs to show its caption whole in its font and style; 0 for
// a control without a caption.
int CaptionWidth(QWidget* w);

// The controls' rectangles, in the order given, once every caption fits;
// window is the template's window size on the way in and the size that
// holds the controls on the way out.
std::vector<QRect> FitCaptions(const std::vector<CaptionPlace>& controls, QSize* window);

}  // namespace pyrrow::ui
