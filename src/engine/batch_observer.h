// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a front end may learn of a batch besides the window: the image set as loaded, each pass,
// each device taken, each image finished, each device's end, each silent address and the end of
// the batch. The headless tool builds its summary from it and both programs keep the batch
// journal with it. Every call is optional (empty defaults).
#include <chrono>
#include <string>
#include <vector>

namespace quillon {

class UpgradeEngine;

// A worker takes a device, before its first image.
struct DeviceTaken {
    int pass = 0;
    int worker = 0;
    int row = 0;
    bool range = false;
    std::string ip, mac;  // the MAC is empty in a range pass (it is learnt at the device's end)
};

// One image of a device has ended, after all its attempts.
struct ImageFinished {
    int pass = 0;
    int worker = 0;
    int row = 0;
    std::string ip, mac;
    int slot = 0;  // 0..3 = BOOT, KERNEL, SYSTEM, FW
    bool success = false;
};

// The batch is over: every pass has ended.
struct BatchEnded {
    int passes = 0;
    bool stopped = false;  // a graceful stop was asked for
};

struct DeviceResult {
    int pass = 0;  // 0 = the first pass
    int worker = 0;
    int row = 0;
    bool range = false;  // taken from the range scan (range pass)
    bool success = false;
    std::string ip, mac;
    unsigned slots_done = 0;  // bit j: the image of slot j finished on the device in this visit
    std::chrono::nanoseconds elapsed{0};
};

// What became of a device after its reboot: whether it answered a directed search again, from
// the same address with the MAC the row knows, within the come-back limit.
struct ComeBackResult {
    int row = 0;
    std::string ip, mac;
    bool checked =
        false;  // false: the wait ended (STOP) before the device was back or past its limit
    bool came_back = false;  // it answered within the limit
    std::string version_before,
        version_after;  // the row's version at START; the one it answered with
    int seconds = 0;    // from the reboot record to its answer (or to the limit)
};

// A rule the front end set on the batch has decided something: a canary wave passed or did not
// (quillon-cli --canary), or more devices failed in a pass than allowed (--max-failed).
struct BatchRuleEvent {
    std::string rule;       // "canary" or "max_failed"
    std::string outcome;    // canary: "passed", "failed", "whole batch"; max_failed: "reached"
    bool halts = false;     // the batch ends here: no further device is begun
    int pass = 0;           // the pass it was decided in (0 = the first)
    std::vector<int> rows;  // canary: the rows of its wave
    std::string why;        // one line for a person
};

class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    // Driver thread, right after the image set loaded: the engine's image members may be read
    // (they stay unchanged until the batch ends).
    virtual void images_loaded(const UpgradeEngine& /*engine*/) {}
    // Driver thread, after a pass has been set up.
    virtual void pass_started(int /*pass*/, int /*total*/, bool /*range*/) {}
    // A worker thread, at the end of a device, under g_list_lock, after the row, the report line
    // and the counter have been written. Must not call the window or take g_list_lock.
    virtual void device_ended(const DeviceResult& /*result*/) {}
    // A worker thread, before the first image of a device (no lock held). Must not call the
    // window.
    virtual void device_taken(const DeviceTaken& /*device*/) {}
    // A worker thread, when one image of the device has ended, before the next one is begun
    // (no lock held). Must not call the window.
    virtual void image_finished(const ImageFinished& /*image*/) {}
    // A worker thread: an address of the range that did not answer the echo.
    virtual void address_silent(const std::string& /*ip*/) {}
    // Driver thread: a START was stopped before the driver took it; nothing was loaded or begun.
    virtual void batch_abandoned() {}
    // The come-back watcher's thread, once per device of the batch that was sent the reboot
    // record and is watched (back, past its limit, or left unchecked by STOP). Every call comes
    // before the end of the batch. Must not call the window or take g_list_lock.
    virtual void device_came_back(const ComeBackResult& /*result*/) {}
    // A rule decided (canary_wave.h, failure_threshold.h): on the driver thread for
    // a canary, on a worker thread under g_list_lock for max_failed (as device_ended). Must not
    // call the window or take g_list_lock.
    virtual void rule_decided(const BatchRuleEvent& /*event*/) {}
    // Driver thread, once a batch that loaded its images is over: after its last pass and after
    // everything else it reports (the last call of a batch), before the end message is shown.
    virtual void batch_ended(const BatchEnded& /*end*/) {}
};

}  // namespace quillon
