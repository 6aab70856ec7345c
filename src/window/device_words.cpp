// SPDX-License-Identifier: Apache-2.0
#include "window/device_words.h"

#include <algorithm>
#include <cstdio>

#include "platform/local_time.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

// The slot letters of PERCENT: boot, kernel, system, app.
constexpr const char* kSlotLetters[] = {"B", "K", "S", "A"};
constexpr int kSlotCount = int(sizeof kSlotLetters / sizeof kSlotLetters[0]);
// The slot names of the status line.
constexpr const char* kSlotNames[kSlotCount] = {"boot", "kernel", "system", "app"};

}  // namespace

std::string image_progress_text(const ImageProgress& p) {
    const char* slot = p.slot >= 0 && p.slot < kSlotCount ? kSlotLetters[p.slot] : "?";
    const char* phase = p.phase == ImagePhase::sending   ? "S"
                        : p.phase == ImagePhase::burning ? "B"
                                                         : "F";
    const char* tail = p.simulated && p.phase == ImagePhase::sending ? " " : "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "[%s.%s]: %d%%%s", slot, phase, p.device_percent, tail);
    return buf;
}

const std::string& image_phase_word(ImagePhase phase) {
    switch (phase) {
        case ImagePhase::sending: return T(TextId::ph_sending);
        case ImagePhase::burning: return T(TextId::ph_burning);
        case ImagePhase::finished: break;
    }
    return T(TextId::ph_finish);
}

const std::string& device_state_word(DeviceState state) {
    switch (state) {
        case DeviceState::connecting: return T(TextId::st_connecting);
        case DeviceState::running: return T(TextId::st_running);
        case DeviceState::lost: return T(TextId::st_lost);
        case DeviceState::not_back: break;
    }
    return T(TextId::st_not_back);
}

const std::string& outcome_word(bool success) {
    return T(success ? TextId::st_success : TextId::st_failure);
}

std::string elapsed_text(std::chrono::seconds elapsed) {
    const long long s = std::max<long long>(elapsed.count(), 0);
    return std::to_string(s) + " s";
}

std::string begin_time_text(std::time_t at) { return local_time_text(at); }

std::string counter_text(int done, int total) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%3d/%-3d)", done, total);
    return buf;
}

const std::string& batch_message_text(BatchMessage what) {
    switch (what) {
        case BatchMessage::done: return T(TextId::msg_batch_done);
        case BatchMessage::stopped: return T(TextId::msg_batch_stopped);
        case BatchMessage::image_bad: return T(TextId::msg_image_bad);
        case BatchMessage::echo_unavailable: break;
    }
    return T(TextId::msg_echo_unavailable);
}

std::string worker_status_text(const WorkerStatus& s) {
    const std::string ip = "IP:" + s.ip;
    switch (s.activity) {
        case WorkerActivity::idle: return {};
        case WorkerActivity::connecting:
        case WorkerActivity::connected: {
            const TextId word = s.activity == WorkerActivity::connecting ? TextId::st_connecting
                                                                         : TextId::st_running;
            return ip + "  " + T(word) + " ... (" + std::to_string(s.attempt) + ")";
        }
        case WorkerActivity::image: {
            const char* slot = s.slot >= 0 && s.slot < kSlotCount ? kSlotNames[s.slot] : "?";
            std::string t = ip + "  " + T(TextId::ph_image) + "[" + slot + "] " +
                            image_phase_word(s.phase);
            if (s.phase != ImagePhase::finished) t += " [" + std::to_string(s.percent) + "%]";
            return t;
        }
        case WorkerActivity::unreachable: break;
    }
    return ip + " unreachable ";
}

std::string awaiting_text(int devices) {
    // The text holds "%d" where the number goes; it is no format of its own.
    std::string t = T(TextId::st_awaiting);
    const auto at = t.find("%d");
    if (at != std::string::npos) t.replace(at, 2, std::to_string(devices));
    return t;
}

}  // namespace quillon
