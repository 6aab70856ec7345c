// SPDX-License-Identifier: Apache-2.0
#pragma once
// Several observers of one batch: the engine takes one, the front ends often want two (the
// headless summary and the batch journal). Every event goes to each, in the order they were added.
#include <vector>

#include "engine/batch_observer.h"

namespace quillon {

class ObserverFan final : public BatchObserver {
public:
    // Before the driver starts; null is ignored.
    void add(BatchObserver* observer) {
        if (observer) observers_.push_back(observer);
    }

    void images_loaded(const UpgradeEngine& engine) override {
        for (auto* o : observers_) o->images_loaded(engine);
    }
    void pass_started(int pass, int total, bool range) override {
        for (auto* o : observers_) o->pass_started(pass, total, range);
    }
    void device_taken(const DeviceTaken& device) override {
        for (auto* o : observers_) o->device_taken(device);
    }
    void image_finished(const ImageFinished& image) override {
        for (auto* o : observers_) o->image_finished(image);
    }
    void device_ended(const DeviceResult& result) override {
        for (auto* o : observers_) o->device_ended(result);
    }
    void address_silent(const std::string& ip) override {
        for (auto* o : observers_) o->address_silent(ip);
    }
    void batch_abandoned() override {
        for (auto* o : observers_) o->batch_abandoned();
    }
    void device_came_back(const ComeBackResult& result) override {
        for (auto* o : observers_) o->device_came_back(result);
    }
    void rule_decided(const BatchRuleEvent& event) override {
        for (auto* o : observers_) o->rule_decided(event);
    }
    void batch_ended(const BatchEnded& end) override {
        for (auto* o : observers_) o->batch_ended(end);
    }

private:
    std::vector<BatchObserver*> observers_;  // written before the driver starts, read-only after
};

}  // namespace quillon
