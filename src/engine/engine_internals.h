// SPDX-License-Identifier: Apache-2.0
#pragma once
// The engine's members, opened for its own unit tests and benchmarks, which set up one image set
// or one worker slot and look at what a single step did. No front end includes this: programs
// use UpgradeEngine's public calls.
#include "engine/upgrade_engine.h"

namespace quillon {

class EngineInternals : public UpgradeEngine {
public:
    // image set
    using UpgradeEngine::m_url;
    using UpgradeEngine::m_img_data;
    using UpgradeEngine::m_img_len;
    using UpgradeEngine::m_img_head;
    using UpgradeEngine::m_img_crc32;
    using UpgradeEngine::m_reboot_after;
    using UpgradeEngine::m_last_img;
    using UpgradeEngine::m_img_count;
    using UpgradeEngine::load_images;
    using UpgradeEngine::release_images;
    // batch settings and state
    using UpgradeEngine::m_dlg;
    using UpgradeEngine::m_search;
    using UpgradeEngine::m_observer;
    using UpgradeEngine::m_come_back;
    using UpgradeEngine::m_first_wave;
    using UpgradeEngine::m_port;
    using UpgradeEngine::m_driver_thread;
    using UpgradeEngine::m_running;
    using UpgradeEngine::m_ip_begin;
    using UpgradeEngine::m_ip_end;
    using UpgradeEngine::m_ip_scan;
    using UpgradeEngine::m_thread_num;
    using UpgradeEngine::m_total;
    using UpgradeEngine::m_done;
    using UpgradeEngine::m_left;
    using UpgradeEngine::m_auto_retry;
    using UpgradeEngine::m_try_count;
    using UpgradeEngine::m_fake_burn;
    using UpgradeEngine::m_echo_unavailable;
    using UpgradeEngine::m_echo_failed;
    using UpgradeEngine::m_pass;
    using UpgradeEngine::g_run_lock;
    using UpgradeEngine::g_list_lock;
    // worker slots
    using UpgradeEngine::m_sock;
    using UpgradeEngine::m_sent;
    using UpgradeEngine::m_thread;
    using UpgradeEngine::m_thread_live;
    using UpgradeEngine::m_ip_conflict;
    using UpgradeEngine::m_img_percent;
    using UpgradeEngine::m_dev_percent;
    using UpgradeEngine::m_need_reboot;
    using UpgradeEngine::set_cur_device;
    using UpgradeEngine::cur_ip;
    using UpgradeEngine::cur_mac;
    using UpgradeEngine::cur_device;
    using UpgradeEngine::set_status;
    using UpgradeEngine::status;
    // the steps of the exchange, the checks and the driver
    using UpgradeEngine::connect_device;
    using UpgradeEngine::process_one;
    using UpgradeEngine::recv_cmd;
    using UpgradeEngine::fake_process_one;
    using UpgradeEngine::ping_device;
    using UpgradeEngine::echo_unavailable_text;
    using UpgradeEngine::check_ip_conflict;
    using UpgradeEngine::start_batch;
    using UpgradeEngine::driver_loop;
    using UpgradeEngine::run_batch;
    using UpgradeEngine::assign_rows;
    using UpgradeEngine::worker_main;
    using UpgradeEngine::process_list;
    using UpgradeEngine::process_range;
};

}  // namespace quillon
