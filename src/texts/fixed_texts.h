#pragma once
// Texts that are the same in both languages and so are not in the text table.

namespace quillon::fixed_text {

inline constexpr const char* kCaption = "Upgrade";          // caption of every message box
inline constexpr const char* kFakeBurn = "fake burn!";      // start-up warning in fake-burn mode
inline constexpr const char* kBadIp = "无效的IP地址";       // the first adapter address does not parse
inline constexpr const char* kAboutItem = "关于 Quillon(&A)...";  // menu item opening the about box

}  // namespace quillon::fixed_text
