// SPDX-License-Identifier: Apache-2.0
#include "window/qt/ipv4_edit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace quillon {

Ipv4Edit::Ipv4Edit(QWidget* parent) : QLineEdit(parent) {
    // Up to four groups of up to three digits; partial input stays editable.
    static const QRegularExpression kDotted(QStringLiteral("^\\d{0,3}(\\.\\d{0,3}){0,3}$"));
    setValidator(new QRegularExpressionValidator(kDotted, this));
    setMaxLength(15);
}

std::array<uint8_t, 4> Ipv4Edit::octets() const {
    std::array<uint8_t, 4> out{};
    const QStringList parts = text().split(QLatin1Char('.'));
    for (int i = 0; i < 4 && i < parts.size(); ++i) {
        bool ok = false;
        const int v = parts[i].toInt(&ok);
        out[i] = ok ? static_cast<uint8_t>(v > 255 ? 255 : (v < 0 ? 0 : v)) : 0;
    }
    return out;
}

uint32_t Ipv4Edit::address() const {
    const auto o = octets();
    return (uint32_t{o[0]} << 24) | (uint32_t{o[1]} << 16) | (uint32_t{o[2]} << 8) | o[3];
}

void Ipv4Edit::set_address_text(const std::string& dotted) {
    setText(QString::fromStdString(dotted));
}

}  // namespace quillon
