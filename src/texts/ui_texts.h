// SPDX-License-Identifier: Apache-2.0
#pragma once
// The table of interface texts in the chosen language (UTF-8). Filled once at start-up by
// apply_language, read-only afterwards, readable from any thread.
#include <string>

#include "platform/system_locale.h"

namespace quillon {

enum class TextId {
    title,
    image4_check,
    image3_check,
    image2_check,
    image1_check,
    zip_check,
    zip_hint,
    worker_label,
    start_button,
    search_button,
    exit_button,
    range_check,
    clean_button,
    stop_button,
    retry_check,
    select_all_check,
    threads_prefix,
    col_id,
    col_ip,
    col_devid,
    col_mac,
    col_type,
    col_status,
    col_begin,
    col_version,
    col_percent,
    col_elapsed,
    img_filter,
    zip_filter,
    msg_busy,
    msg_image_bad,
    msg_list_empty,
    msg_none_ticked,
    st_lost,
    st_success,
    st_failure,
    st_running,
    st_ready,
    st_connecting,
    msg_bad_range,
    msg_batch_done,
    msg_batch_stopped,
    ask_stop_after,
    ask_force_stop,
    ph_image,
    ph_sending,
    ph_burning,
    ph_finish,
    type_all,
    type_panel,
    type_wall,
    type_monitor,
    type_person,
    type_center,
    type_lift,
    type_other,
    msg_echo_unavailable,
    st_not_back,
    st_awaiting,
    msg_unfinished_batch,
    count_
};

class UiTexts {
public:
    // Set by start-up when the marker file or the setting forces English.
    bool use_english = false;

    // Fills every entry: English when use_english is set or the system locale is not
    // Chinese (PRC), else Chinese.
    void apply_language();
    // Fills every entry from one column; apply_language decides which.
    void fill(bool english);
    bool english() const { return english_; }

    const std::string& get(TextId id) const { return texts_[static_cast<int>(id)]; }

private:
    std::string texts_[static_cast<int>(TextId::count_)];
    bool english_ = false;
};

// The program's single table.
UiTexts& ui_texts();
inline const std::string& T(TextId id) { return ui_texts().get(id); }

}  // namespace quillon
