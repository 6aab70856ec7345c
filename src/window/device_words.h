// SPDX-License-Identifier: Apache-2.0
#pragma once
// The words and numbers a device's row and the status widgets show for what the engine reports
// in the device's terms (window_port.h). The desktop window and the headless window share them,
// so both show the same bytes; the words are the current language's (UiTexts).
#include <chrono>
#include <ctime>
#include <string>

#include "contract/window_port.h"
#include "contract/worker_status.h"

namespace quillon {

// PERCENT of a device: "[K.S]: 37%", "[K.B]: 62%", "[K.F]: 100%" (slot letter, phase letter,
// the device's share), with a trailing space for a simulated upgrade's sending share.
std::string image_progress_text(const ImageProgress& p);
// STAT of a device in an image's phase: "sending", "burning", "finish".
const std::string& image_phase_word(ImagePhase phase);
// STAT of a device in another state: "connecting", "running", "Connection lost", "not back".
const std::string& device_state_word(DeviceState state);
// STAT at a device's end: "success" or "failure".
const std::string& outcome_word(bool success);
// ELAPSED: "12 s"; a negative duration is shown as 0 s.
std::string elapsed_text(std::chrono::seconds elapsed);
// BEGIN TIME: the local time as "2024-05-06 07:08:09".
std::string begin_time_text(std::time_t at);
// The counter beside the ALL bar: "( 3/12 )".
std::string counter_text(int done, int total);
// The text of a batch's message box.
const std::string& batch_message_text(BatchMessage what);
// A worker's status line: "IP:10.0.0.5  connecting ... (2)", "IP:10.0.0.5  running ... (1)",
// "IP:10.0.0.5  image[boot] sending [40%]", "IP:10.0.0.5  image[boot] finish",
// "IP:10.0.0.5 unreachable "; empty while the worker has done nothing yet.
std::string worker_status_text(const WorkerStatus& s);
// The status line while the end of a batch waits for rebooted devices to come back.
std::string awaiting_text(int devices);

}  // namespace quillon
