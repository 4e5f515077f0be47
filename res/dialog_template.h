// The main dialog's template as data: size, caption, font and every control
// with its id, kind, caption, position and size in dialog units, and its
// initial state. A host builds its window from this table.
#pragma once

#include <span>

namespace pyrrow::res {

enum class ControlKind {
    PushButton,
    BitmapButton,
    RadioButton,
    Label,
    ReadOnlyEdit,
    DropDownList,
    IpAddress,
    ProgressBar,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char16_t* caption;
    int x, y, width, height;  // dialog units; a drop-down list's height includes its open list
    bool enabled;
    bool tabStop;
    bool startsGroup;
    bool alignRight;  // a label's text ends at its right edge, beside the control it names
};

struct DialogTemplate {
    int id;
    const char16_t* caption;
    const char16_t* fontName;
    int fontPoints;
    int width, height;  // dialog units
    std::span<const ControlTemplate> controls;  // in template and tab order
};

const DialogTemplate& MainDialogTemplate();

}  // namespace pyrrow::res
