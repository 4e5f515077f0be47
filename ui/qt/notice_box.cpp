#include "ui/notice_box.h"

#include <QMessageBox>

namespace pyrrow::ui {

void ShowNoticeBox(const char16_t* text, const char16_t* caption)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf16(caption), QString::fromUtf16(text), QMessageBox::Ok);
    box.exec();
}

}  // namespace pyrrow::ui
