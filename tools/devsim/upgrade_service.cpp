// SPDX-License-Identifier: Apache-2.0
#include "upgrade_service.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace quillon::devsim {

namespace {

void signal_fd(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(fd, &one, sizeof one);
}

// A socket filter that takes nothing: on a listener, connection attempts vanish unanswered.
bool set_drop_all(int fd, bool on) {
    if (!on) {
        const int unused = 0;  // the kernel wants an int-sized value even here
        return ::setsockopt(fd, SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused) == 0;
    }
    sock_filter code[] = {BPF_STMT(BPF_RET | BPF_K, 0)};
    sock_fprog prog{1, code};
    return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog) == 0;
}

// Close without lingering: the peer gets a reset, as from a device that has no such connection.
void reset_close(UniqueFd& fd) {
    linger l{1, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    fd.reset();
}

}  // namespace

UpgradeService::UpgradeService(FleetState& state, const SimOptions& options, RecordLog& log)
    : state_(state), options_(options), log_(log), ctx_{state, options, log, -1, nullptr} {}

UpgradeService::~UpgradeService() { stop(); }

std::string UpgradeService::open_listener(std::size_t i) {
    const DeviceSpec& d = state_.fleet().devices()[i];
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return std::string("socket: ") + std::strerror(errno);
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(options_.upgrade_port);
    sa.sin_addr = d.addr;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        return "cannot bind " + d.ip + ":" + std::to_string(options_.upgrade_port) + ": " +
               std::strerror(errno);
    if (::listen(fd.get(), 64) != 0)
        return "cannot listen on " + d.ip + ": " + std::strerror(errno);
    listeners_[i] = std::move(fd);
    dropping_[i] = false;
    return {};
}

std::string UpgradeService::start() {
    stop_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop_.valid() || !wake_.valid()) return std::string("eventfd: ") + std::strerror(errno);
    ctx_.stop_fd = stop_.get();
    ctx_.on_reboot = [this] { device_went_away(); };

    const std::size_t n = state_.fleet().size();
    listeners_.clear();
    listeners_.resize(n);
    dropping_.assign(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        if (state_.fleet().devices()[i].faults.refuses_always()) continue;
        if (std::string err = open_listener(i); !err.empty()) {
            listeners_.clear();
            return err;
        }
    }
    thread_ = std::thread([this] { run(); });
    return {};
}

void UpgradeService::stop() {
    if (!thread_.joinable()) return;
    signal_fd(stop_.get());
    thread_.join();
}

void UpgradeService::device_went_away() {
    std::unique_lock lock(away_mutex_);
    const uint64_t mine = ++away_requested_;
    signal_fd(wake_.get());
    away_cv_.wait(lock, [&] { return away_done_ >= mine || stopping_; });
}

void UpgradeService::reconcile(Clock::time_point now) {
    const auto& devices = state_.fleet().devices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].faults.refuses_always()) continue;
        const bool up = state_.is_up(i, now);
        if (options_.down_mode == DownMode::silent) {
            if (listeners_[i].valid() && dropping_[i] == up) {
                if (set_drop_all(listeners_[i].get(), !up)) dropping_[i] = !up;
            }
            if (!up && listeners_[i].valid()) {
                // Attempts that completed before the filter went on belong to the old life.
                for (;;) {
                    UniqueFd c(::accept4(listeners_[i].get(), nullptr, nullptr, SOCK_CLOEXEC));
                    if (!c.valid()) break;
                    reset_close(c);
                }
            }
        } else if (up && !listeners_[i].valid()) {
            if (std::string err = open_listener(i); !err.empty())
                std::fprintf(stderr, "quillon-devsim: %s (will try again)\n", err.c_str());
        } else if (!up && listeners_[i].valid()) {
            listeners_[i].reset();
        }
    }
}

void UpgradeService::accept_all(std::size_t i) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t plen = sizeof peer;
        UniqueFd c(::accept4(listeners_[i].get(), reinterpret_cast<sockaddr*>(&peer), &plen,
                             SOCK_CLOEXEC));
        if (!c.valid()) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED)
                std::fprintf(stderr, "quillon-devsim: accept: %s\n", std::strerror(errno));
            return;
        }
        // The device is the address the tool connected to.
        sockaddr_in local{};
        socklen_t llen = sizeof local;
        int dev = -1;
        if (::getsockname(c.get(), reinterpret_cast<sockaddr*>(&local), &llen) == 0)
            dev = state_.fleet().find(local.sin_addr);
        if (dev < 0 || !state_.is_up(static_cast<std::size_t>(dev), Clock::now())) {
            reset_close(c);
            continue;
        }
        ++connections_;
        // Counted here, in accept order, so that "first=N" faults see the connections in the
        // order in which the tool made them.
        const auto index = static_cast<std::size_t>(dev);
        const int attempt = state_.begin_connection(index);
        const Faults& faults = state_.fleet().devices()[index].faults;
        if (faults.refuse && faults.strikes(attempt)) {
            refuse_session(ctx_, index, attempt, std::move(c));
            continue;
        }
        auto w = std::make_unique<Worker>();
        Worker* wp = w.get();
        wp->thread = std::thread([this, wp, index, attempt, fd = std::move(c)]() mutable {
            if (run_session(ctx_, index, attempt, std::move(fd)) == "success") ++successes_;
            wp->done = true;
        });
        workers_.push_back(std::move(w));
    }
}

void UpgradeService::reap(bool all) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || (*it)->done) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void UpgradeService::run() {
    std::vector<pollfd> fds;
    std::vector<std::size_t> owner;
    bool dirty = true;
    std::optional<Clock::time_point> due;  // the next return of an away device
    for (;;) {
        auto now = Clock::now();
        if (due && now >= *due) dirty = true;
        if (dirty) {
            reconcile(now);
            dirty = false;
        }
        reap(false);

        fds.clear();
        owner.clear();
        fds.push_back({stop_.get(), POLLIN, 0});
        fds.push_back({wake_.get(), POLLIN, 0});
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (!listeners_[i].valid()) continue;
            fds.push_back({listeners_[i].get(), POLLIN, 0});
            owner.push_back(i);
        }
        int timeout = 1000;  // also the pace at which finished connection threads are joined
        due = state_.next_return(now);
        if (auto back = due) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*back - now).count() +
                      1;
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, timeout));
        }
        const int r = ::poll(fds.data(), fds.size(), timeout);
        if (r < 0 && errno != EINTR) {
            std::fprintf(stderr, "quillon-devsim: upgrade poll: %s\n", std::strerror(errno));
            break;
        }
        if (fds[0].revents) break;
        if (r <= 0) {
            dirty = true;  // a device may be back
            continue;
        }
        if (fds[1].revents) {
            uint64_t v;
            [[maybe_unused]] auto n = ::read(wake_.get(), &v, sizeof v);
            uint64_t requested;
            {
                std::lock_guard lock(away_mutex_);
                requested = away_requested_;
            }
            reconcile(Clock::now());
            {
                std::lock_guard lock(away_mutex_);
                away_done_ = requested;
            }
            away_cv_.notify_all();
        }
        for (std::size_t k = 2; k < fds.size(); ++k)
            if (fds[k].revents & POLLIN) accept_all(owner[k - 2]);
    }
    {
        std::lock_guard lock(away_mutex_);
        stopping_ = true;
    }
    away_cv_.notify_all();
    // stop_ is readable now: every session sees it and ends, writing its record.
    reap(true);
    listeners_.clear();
}

}  // namespace quillon::devsim
