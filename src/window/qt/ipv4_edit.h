// SPDX-License-Identifier: Apache-2.0
#pragma once
// The range start: one line that takes a dotted IPv4 address. Like an address control, a field
// left blank reads as 0.
#include <QLineEdit>

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

class Ipv4Edit : public QLineEdit {
    Q_OBJECT
public:
    explicit Ipv4Edit(QWidget* parent = nullptr);

    // The four fields, blank or unparsable ones as 0, values above 255 as 255.
    std::array<uint8_t, 4> octets() const;
    // First octet most significant.
    uint32_t address() const;
    void set_address_text(const std::string& dotted);
};

}  // namespace quillon
