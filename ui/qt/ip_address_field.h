// An IP-address field of four octets in the manner of the common control:
// four boxes of 0 to 255 separated by dots; a blank field reads as 0.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include <array>
#include <cstdint>

namespace pyrrow::ui {

class IpAddressField : public QWidget {
    Q_OBJECT
public:
    explicit IpAddressField(QWidget* parent = nullptr);

    // First octet in the most significant byte; blank octets count as 0.
    std::uint32_t Address() const;
    void SetAddress(std::uint32_t address);
    QLineEdit* Octet(int index) const { return m_octets[static_cast<std::size_t>(index)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OctetEdited(std::size_t index, const QString& text);
    // Puts the focus on the octet after index, its text selected.
    void MoveOn(std::size_t index);

    std::array<QLineEdit*, 4> m_octets{};
    // The octet that typed digits have just moved the focus to, or null.
    QLineEdit* m_movedOnTo = nullptr;
};

}  // namespace pyrrow::ui
