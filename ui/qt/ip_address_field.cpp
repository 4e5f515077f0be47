#include "ui/qt/ip_address_field.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>

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
        // Three digits move on to the next octet, as the common control does.
        if (i + 1 < m_octets.size()) {
            connect(octet, &QLineEdit::textEdited, this, [this, i](const QString& text) {
                if (text.size() == 3)
                    m_octets[i + 1]->setFocus();
            });
        }
    }
    setFocusProxy(m_octets[0]);
}

std::uint32_t IpAddressField::Address() const
{
    std::uint32_t address = 0;
    for (const QLineEdit* octet : m_octets)
        address = (address << 8) | (octet->text().toUInt() & 0xFF);
    return address;
}

void IpAddressField::SetAddress(std::uint32_t address)
{
    for (std::size_t i = 0; i < m_octets.size(); ++i)
        m_octets[i]->setText(QString::number((address >> (8 * (3 - i))) & 0xFF));
}

bool IpAddressField::eventFilter(QObject* watched, QEvent* event)
{
    // A dot moves on to the next octet.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Period) {
        for (std::size_t i = 0; i + 1 < m_octets.size(); ++i) {
            if (watched == m_octets[i]) {
                m_octets[i + 1]->setFocus();
                m_octets[i + 1]->selectAll();
                return true;
            }
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pyrrow::ui
