// SPDX-License-Identifier: Apache-2.0
#pragma once
// Texts that are the same in both languages and so are not in the text table.

namespace quillon::fixed_text {

inline constexpr const char* kCaption = "Upgrade";      // caption of every message box
inline constexpr const char* kFakeBurn = "fake burn!";  // start-up warning in fake-burn mode
inline constexpr const char* kBadIp = "无效的IP地址";   // the first adapter address does not parse
inline constexpr const char* kAboutItem = "关于 Quillon(&A)...";  // menu item opening the about box
// Start-up warning when the discovery port of the chosen adapter is taken, by another Quillon
// program most likely (both languages in one text, as it is not in the text table).
inline constexpr const char* kPortInUse =
    "UDP port 8400 of this network adapter is in use (by another Quillon program?): this window "
    "will not list the devices' answers. Close the other program and start this one again.\n"
    "此网卡的 UDP 8400 端口已被占用（另一个 Quillon 程序？）：本窗口不会列出设备的应答。"
    "请关闭另一个程序后重新启动本程序。";

}  // namespace quillon::fixed_text
