#include "ui/qt/ip_address_field.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>

#include <algorithm>
#include <utility>

namespace pyrrow::ui {

IpAddressField::IpAddressField(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (std::size_t i = 0; i < m_octets.size(); ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* octet = new QLineEdit(this);
        octet->setValidator(new QIntValidator(0, 255, octet));
        octet->setMaxLength(3);
        octet->setAlignment(Qt::AlignCenter);
        octet->installEventFilter(this);
        layout->addWidget(octet, 1);
        m_octets[i] = octet;
        connect(octet, &QLineEdit::textEdited, this, [this, i](const QString& text) { OctetEdited(i, text); });
    }
    setFocusProxy(m_octets[0]);
}

void IpAddressField::OctetEdited(std::size_t index, const QString& text)
{
    QLineEdit* octet = m_octets[index];
    // The validator lets 256 to 999 through as unfinished input; the octet
    // shows its highest value instead, as the common control does.
    if (text.toUInt() > 255)
        octet->setText(QStringLiteral("255"));
    // A third digit typed at the end moves on to the next octet.
    if (index + 1 < m_octets.size() && octet->text().size() == 3 && octet->cursorPosition() == 3) {
        MoveOn(index);
        m_movedOnTo = m_octets[index + 1];
    }
}

void IpAddressField::MoveOn(std::size_t index)
{
    m_octets[index + 1]->setFocus();
    m_octets[index + 1]->selectAll();
}

std::uint32_t IpAddressField::Address() const
{
    std::uint32_t address = 0;
    for (const QLineEdit* octet : m_octets)
        address = (address << 8) | std::min(octet->text().toUInt(), 255u);
    return address;
}

void IpAddressField::SetAddress(std::uint32_t address)
{
    for (std::size_t i = 0; i < m_octets.size(); ++i)
        m_octets[i]->setText(QString::number((address >> (8 * (3 - i))) & 0xFF));
}

bool IpAddressField::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        m_movedOnTo = nullptr;
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const QLineEdit* movedOnTo = std::exchange(m_movedOnTo, nullptr);
    if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Period)
        return QWidget::eventFilter(watched, event);
    // A dot moves on to the next octet, unless three digits have just done
    // so: "192.168" is typed with its dot, and the dot must not skip "168".
    if (watched == movedOnTo)
        return true;
    for (std::size_t i = 0; i + 1 < m_octets.size(); ++i) {
        if (watched == m_octets[i]) {
            MoveOn(i);
            break;
        }
    }
    return true;
}

}  // namespace pyrrow::ui
