// SPDX-License-Identifier: Apache-2.0
#include "simulator.h"

#include <cerrno>
#include <cstring>

namespace quillon::devsim {

Simulator::Simulator(Fleet fleet, SimOptions options)
    : fleet_(std::move(fleet)),
      options_(std::move(options)),
      state_(fleet_),
      discovery_(state_, options_),
      upgrade_(state_, options_, log_) {}

Simulator::~Simulator() { stop(); }

std::string Simulator::start() {
    if (!log_.open(options_.record_path))
        return "cannot create record file '" + options_.record_path + "': " + std::strerror(errno);
    if (std::string err = upgrade_.start(); !err.empty()) return err;
    if (std::string err = discovery_.start(); !err.empty()) {
        upgrade_.stop();
        return err;
    }
    return {};
}

void Simulator::stop() {
    discovery_.stop();
    upgrade_.stop();
}

}  // namespace quillon::devsim
