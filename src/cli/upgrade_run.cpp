// SPDX-License-Identifier: Apache-2.0
#include "cli/upgrade_run.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "app/settings.h"

#include "cli/adapter_choice.h"
#include "cli/batch_rules.h"
#include "cli/batch_summary.h"
#include "cli/failed_devices.h"
#include "cli/local_adapters.h"
#include "cli/progress_display.h"
#include "cli/resume_plan.h"
#include "cli/site_outcomes.h"
#include "cli/site_search.h"
#include "cli/upgrade_images.h"
#include "discovery/discovery_endpoints.h"
#include "discovery/device_type.h"
#include "discovery/intake.h"
#include "discovery/come_back_tap.h"
#include "engine/come_back_watch.h"
#include "engine/engine_worker_watch.h"
#include "engine/observer_fan.h"
#include "engine/upgrade_engine.h"
#include "log/debug_line.h"
#include "log/log_dir.h"
#include "journal/batch_journal.h"
#include "journal/journal_files.h"
#include "log/log_file.h"
#include "platform/console.h"
#include "platform/console_streams.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "platform/stop_signals.h"
#include "platform/timing.h"
#include "platform/wakeup.h"
#include "texts/ui_texts.h"
#include "window/headless_window.h"

namespace quillon::cli {
namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer's report goes to standard error: never throw it away.
constexpr bool kKeepStderr = true;
#else
constexpr bool kKeepStderr = false;
#endif

std::string no_such_adapter(const std::vector<LocalAdapter>& adapters, const std::string& name) {
    return "upgrade: no adapter \"" + name +
           "\" with an IPv4 address (adapters: " + adapter_names(adapters) + ")";
}

// The logs of the run: in <dir>/log like the desktop program, or straight into --log-dir.
void open_run_logs(const UpgradeOptions& opt, bool debug, RunLogs& logs, std::string& folder) {
    if (opt.log_dir.empty()) {
        const std::string dir = current_dir();
        open_logs(dir, debug, logs);
        folder = join_path(dir, "log");
        return;
    }
    folder = absolute_path(opt.log_dir);
    ensure_dir(folder);
    logs.userReport.Open(user_report_path(folder));
    if (debug) {
        logs.debug_log_path = logs.debugLog.start(folder);
        logs.deviceLog.Open(join_path(folder, "upgrade_dev.log"));
    }
    logs.deviceLog.WriteInfo("upgrade start !\n");
}

// The type name the person means, in the language of the texts ("panel" finds "PANEL").
std::string canonical_type(const std::string& wanted) {
    for (int code :
         {kTypePanel, kTypeWall, kTypePerson, kTypeCenter, kTypeMonitor, kTypeLift, kTypeOther}) {
        const std::string name = device_type_name(code);
        if (name.size() == wanted.size() &&
            std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return name;
    }
    return std::string();
}

std::string type_names() {
    std::string out;
    for (int code :
         {kTypePanel, kTypeWall, kTypePerson, kTypeCenter, kTypeMonitor, kTypeLift, kTypeOther})
        out += (out.empty() ? "" : ", ") + device_type_name(code);
    return out;
}

class UpgradeRun {
public:
    explicit UpgradeRun(const UpgradeOptions& opt) : opt_(opt) {}
    // What the import unpacked goes, however the run ended (as EXIT does after an import).
    ~UpgradeRun() { remove_unpacked(images_); }
    int run();

private:
    int prepare_images();
    int start_discovery();
    bool search_window();  // false: interrupted
    int list_devices();
    int start_batch();
    void wait_batch();
    int finish();

    const UpgradeOptions& opt_;
    bool debug_ = false;
    bool fake_ = false;
    bool range_mode_ = false;
    AddressRange range_{};
    std::string type_;
    ChosenImages images_;
    std::string log_folder_;
    std::set<int> batch_rows_;  // list mode: the rows ticked at START
    ResumePlan resume_;         // --resume: the batch continued
    // --devices-from: the site list, and what the search for its devices found.
    std::vector<SiteDevice> site_;
    std::vector<SiteCheck> site_checks_;

    StopSignals signals_;  // first: every thread started later inherits its mask
    ConsoleStreams streams_;
    std::unique_ptr<ProgressDisplay> display_;
    RunLogs logs_;
    std::optional<QuietDebugLines> quiet_;  // the diagnostics, without a debug log
    BatchSummary summary_;  // before the engine: the driver reports to it until it is stopped
    std::unique_ptr<BatchJournal> journal_;
    std::unique_ptr<BatchRules> rules_;  // --canary, --max-failed; the engine points into it
    ObserverFan observers_;              // the summary and the journal
    std::unique_ptr<HeadlessWindow> window_;
    // After the window (its thread writes rows and report lines), before the engine (the
    // driver waits for it).
    std::unique_ptr<ComeBackWatch> come_back_;
    std::unique_ptr<UpgradeEngine> engine_;
    std::unique_ptr<EngineWorkerWatch> watch_;
    std::unique_ptr<DeviceIntake> intake_;
    std::unique_ptr<ComeBackTap> tap_;  // the intake's answers, also to the come-back watcher
    std::unique_ptr<SiteAnswers> site_answers_;  // in front of tap_: the site list's answers
    std::unique_ptr<DiscoveryEndpoints>
        discovery_;  // one endpoint, or one per adapter (--adapter all)
    std::unique_ptr<SearchSenderFor<DiscoveryEndpoints>> sender_;
    bool discovery_up_ = false;
};

int UpgradeRun::run() {
    prepare_console();

    const Settings settings = load_settings(current_dir());
    ui_texts().use_english = settings.use_english;
    ui_texts().apply_language();
    debug_ = opt_.debug || settings.debug;
    fake_ = opt_.fake_burn || settings.fake_burn;

    display_ = std::make_unique<ProgressDisplay>(streams_.ui_fd(),
                                                 supports_live_display(streams_.ui_fd()) &&
                                                     !opt_.verbose);
    // A command line that cannot run is refused before the logs are opened: opening empties the
    // report, which still holds the last batch's lines.
    if (!opt_.range.empty()) {
        std::string err;
        auto r = parse_range(opt_.range, err);
        if (!r) {
            display_->message("upgrade: --range " + opt_.range + ": " + err);
            return kExitBadUsage;
        }
        range_mode_ = true;
        range_ = *r;
    }
    if (!opt_.type.empty()) {
        type_ = canonical_type(opt_.type);
        if (type_.empty()) {
            display_->message("upgrade: --type " + opt_.type + " is none of: " + type_names());
            return kExitBadUsage;
        }
    }
    if (std::string package; !opt_.package.empty() && !package_is_file(opt_.package, package)) {
        display_->message("upgrade: no package " + package + " (not a file)");
        return kExitBadUsage;
    }
    if (!opt_.adapter.empty() && opt_.adapter != kAllAdapters) {
        const std::vector<LocalAdapter> adapters = list_local_adapters();
        if (!choose_adapter(adapters, opt_.adapter)) {
            display_->message(no_such_adapter(adapters, opt_.adapter));
            return kExitBadUsage;
        }
    }

    // --devices-from: a bad list is refused before anything is sent (or the report emptied).
    if (std::string err;
        !opt_.devices_from.empty() && !read_site_list(opt_.devices_from, site_, err)) {
        display_->message("upgrade: --devices-from " + err);
        return kExitBadUsage;
    }

    if (opt_.resume) {
        // Before the logs are opened: a resume that cannot run leaves the last report as it is.
        const std::string folder = opt_.log_dir.empty() ? join_path(current_dir(), "log")
                                                        : absolute_path(opt_.log_dir);
        const int rc = plan_resume(folder, opt_.resume_journal, resume_,
                                   [this](const std::string& t) { display_->message(t); });
        if (rc >= 0) return rc;
        fake_ = fake_ || resume_.doc.fake_burn;
    }
    // The canary and the halt threshold, from here or from the batch resumed.
    RuleSettings rules;
    if (std::string err; !choose_rules(opt_, opt_.resume ? &resume_.doc : nullptr, rules, err,
                                       [this](const std::string& t) { display_->message(t); })) {
        display_->message("upgrade: --max-failed " + err);
        return kExitBadUsage;
    }

    open_run_logs(opt_, debug_, logs_, log_folder_);
    if (!logs_.userReport.is_open())
        display_->message("warning: the report " + user_report_path(log_folder_) +
                          " cannot be written; the batch runs without it");
    if (debug_ && logs_.debug_log_path.empty())
        display_->message("warning: the debug log cannot be written in " + log_folder_);
    // The engine's diagnostics must not reach the summary on standard output.
    if (!debug_ || logs_.debug_log_path.empty()) quiet_.emplace();
    if (!opt_.verbose && !kKeepStderr) streams_.discard_stderr();

    if (const int rc = prepare_images(); rc >= 0) return rc;

    window_ = std::make_unique<HeadlessWindow>(logs_.userReport,
                                               std::vector<std::string>{T(TextId::type_all)});
    // Closed until the search window (or the --device list) opens it: an answer that comes
    // before (a late one to an earlier search, somebody else's search) lists no device.
    window_->flags().close_intake();
    window_->set_message_handler([this](const std::string& text) { display_->message(text); });
    const std::string report = user_report_path(log_folder_);
    window_->set_report_handler([this, report] { display_->message("Report: " + report); });

    engine_ = std::make_unique<UpgradeEngine>();
    engine_->set_window(window_.get());
    engine_->set_upgrade_port(uint16_t(opt_.upgrade_port));
    engine_->set_fake_burn(fake_ ? 1 : 0);
    journal_ = std::make_unique<BatchJournal>(log_folder_);
    if (opt_.resume) journal_->set_continues(journal_file_name(resume_.journal_path));
    observers_.add(&summary_);
    observers_.add(journal_.get());
    engine_->set_observer(&observers_);
    // A threshold passed stops the batch as Ctrl-C does; the window hears it on its own thread.
    rules_ = std::make_unique<BatchRules>(
        rules, [this](const std::string& t) { display_->message(t); },
        [this](const std::string& why) {
            engine_->request_stop();
            window_->post([this, why] {
                window_->set_stop_enabled(false);
                display_->message("Stopping: " + why);
            });
        });
    rules_->attach(*engine_, observers_);
    journal_->set_rules(rules.canary, rules.max_failed_text());
    watch_ = std::make_unique<EngineWorkerWatch>(*engine_);
    intake_ = std::make_unique<DeviceIntake>(*window_, *watch_);
    come_back_ = std::make_unique<ComeBackWatch>();
    come_back_->set_limit(
        std::chrono::seconds(opt_.come_back >= 0 ? opt_.come_back : settings.come_back));
    engine_->set_come_back(come_back_.get());
    tap_ = std::make_unique<ComeBackTap>(*intake_, *come_back_);
    site_answers_ = std::make_unique<SiteAnswers>(*tap_);
    discovery_ = std::make_unique<DiscoveryEndpoints>([] { return T(TextId::st_ready); });
    sender_ = std::make_unique<SearchSenderFor<DiscoveryEndpoints>>(*discovery_);

    if (fake_) display_->message("fake burn!");
    if (const int rc = start_discovery(); rc >= 0) return rc;
    engine_->start_driver();

    if (const int rc = list_devices(); rc >= 0) return rc;
    if (const int rc = start_batch(); rc >= 0) return rc;
    wait_batch();
    return finish();
}

// -1 to go on, else the exit code.
int UpgradeRun::prepare_images() {
    if (opt_.resume) {
        images_ = resume_.images;  // checked against the journal
        return -1;
    }
    return choose_images(opt_, images_, [this](const std::string& t) { display_->message(t); });
}

int UpgradeRun::start_discovery() {
    const std::vector<LocalAdapter> adapters = list_local_adapters();
    const std::vector<LocalAdapter> chosen = chosen_adapters(adapters, opt_.adapter);
    const bool all = opt_.adapter == kAllAdapters;
    const bool search_needed = (!range_mode_ && opt_.devices.empty()) || !type_.empty();
    if (chosen.empty()) {
        if (!opt_.adapter.empty() && !all) {
            display_->message(no_such_adapter(adapters, opt_.adapter));
            return kExitBadUsage;
        }
        if (search_needed) {
            display_->message(
                std::string("upgrade: no network adapter with an IPv4 address is up") +
                (all ? "" : "; name one with --adapter") +
                " (adapters: " + adapter_names(adapters) + ")");
            return kExitSomeFailed;
        }
        display_->message(
            "warning: no network adapter is up: devices are upgraded without the "
            "address-conflict check's answers");
        return -1;
    }
    const auto port = uint16_t(opt_.discovery_port);
    const auto say = [this](const std::string& t) { display_->message(t); };
    if (start_endpoints(*discovery_, site_answers_.get(), chosen, port, "upgrade", say) == 0) {
        discovery_->stop();
        if (search_needed) return kExitSomeFailed;
        display_->message(
            "warning: devices are upgraded without the address-conflict check's answers");
        return -1;
    }
    discovery_up_ = true;
    engine_->set_search(sender_.get());
    const std::string where = listening_adapters(*discovery_);
    if (all)
        journal_->set_adapter(kAllAdapters, where);
    else
        journal_->set_adapter(chosen.front().name, ipv4_text(chosen.front().address));
    if (search_needed)
        display_->message("Searching on " + where + " for " +
                          std::to_string(timing().search_window.count()) + " ms...");
    return -1;
}

bool UpgradeRun::search_window() {
    WindowFlags& flags = window_->flags();
    flags.open_search_window();
    const auto end = std::chrono::steady_clock::now() + timing().search_window;
    discovery_->search(1);
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        if (signals_.wait(std::min<std::chrono::milliseconds>(left, 100ms))) {
            flags.close_intake();
            return false;
        }
    }
    // Closed before anything works on the list (the type filter, the range box, START's copy of
    // the ticked rows): an answer read after this lists nothing.
    flags.close_intake();
    return true;
}

int UpgradeRun::list_devices() {
    HeadlessWindow& w = *window_;
    if (!opt_.devices.empty()) {
        // As the intake adds a device that answered: a ticked "Ready" row, with the texts an
        // answer without id, MAC and version gives.
        // The intake stays closed meanwhile: only the named devices are listed.
        for (const std::string& ip : opt_.devices) {
            if (intake_->add_named_device(ip) < 0)
                display_->message("upgrade: " + ip + " is listed once only");
        }
    } else if (!site_.empty()) {
        // --devices-from: each listed device searched for by its address (site_search.h).
        if (!discovery_up_) return kExitSomeFailed;
        SiteSearchHooks hooks{[this](const std::string& ip) { discovery_->search(0, ip.c_str()); },
                              [this](std::chrono::milliseconds d) { return signals_.wait(d); },
                              [this](const std::string& t) { display_->message(t); },
                              timing().search_window};
        if (!find_site_devices(site_, *site_answers_, w, hooks, site_checks_)) {
            display_->message("Interrupted: nothing was upgraded");
            return kExitInterrupted;
        }
        if (w.row_count() == 0)
            return summary_without_batch(site_checks_, kExitNothingToDo, opt_.json, opt_.csv,
                                         streams_.out_fd(), user_report_path(log_folder_),
                                         [this](const std::string& t) { display_->message(t); });
    } else if (!range_mode_ || !type_.empty()) {
        if (!discovery_up_) return kExitSomeFailed;
        if (!search_window()) {
            display_->message("Interrupted: nothing was upgraded");
            return kExitInterrupted;
        }
        display_->message(std::to_string(w.row_count()) + " device" +
                          (w.row_count() == 1 ? "" : "s") + " found");
        // A resume takes the devices its batch still owes, found again, and nothing else.
        if (opt_.resume &&
            list_pending_devices(w, *intake_, resume_.pending,
                                 [this](const std::string& t) { display_->message(t); }) == 0) {
            display_->message("None of the devices still to do can be reached: nothing to upgrade");
            return kExitNothingToDo;
        }
    }

    if (!type_.empty()) w.set_type_filter({T(TextId::type_all), type_}, 1);
    if (range_mode_) {
        // The range box is ticked: answers refresh the scanned rows. A range START with nothing
        // ticked empties the list and the range records; what the search saw stays in
        // found_records for the type filter.
        w.set_range_box(true);
        w.clear_rows();
        w.clear_records(RecordTable::range);
        return -1;
    }
    if (!type_.empty()) {
        w.run([&] {
            DeviceTable& t = w.device_table();
            for (int r = 0; r < t.row_count(); ++r)
                if (t.get_cell(r, col_type) != type_) t.set_check(r, false);
        });
    }
    if (w.row_count() == 0 || w.count_checked() == 0) {
        display_->message(w.row_count() == 0
                              ? "No device found: nothing to upgrade"
                              : "No device of type " + type_ + ": nothing to upgrade");
        return kExitNothingToDo;
    }
    return -1;
}

int UpgradeRun::start_batch() {
    HeadlessWindow& w = *window_;
    UpgradeEngine& e = *engine_;
    w.run([&] {
        const DeviceTable& t = w.device_table();
        for (int r = 0; r < t.row_count(); ++r)
            if (t.get_check(r)) batch_rows_.insert(r);
    });
    BatchSettings batch;
    for (int i = 0; i < 4; ++i) {
        batch.url[i] = images_.paths[std::size_t(i)];
        batch.reboot_after[i] = images_.reboot_after[std::size_t(i)];
    }
    batch.ip_scan = range_mode_ ? 1 : 0;
    batch.ip_begin = range_.begin;
    batch.ip_end = range_.end;
    const bool resume_settings = opt_.resume && !opt_.threads_given;
    batch.thread_num = std::clamp(resume_settings ? resume_.doc.threads : opt_.threads, 1,
                                  kWorkers);
    e.set_auto_retry(opt_.auto_retry || (opt_.resume && resume_.doc.auto_retry) ? 1 : 0);
    w.flags().close_intake();
    w.flags().conflict_watch = 1;
    w.leave_idle();
    w.set_stop_enabled(true);
    e.start_batch(batch);
    debug_line("upgrade thread %d\n", batch.thread_num);
    logs_.deviceLog.WriteInfo("app_upgrade is ok !\n");
    display_->start(w, e);
    return -1;
}

void UpgradeRun::wait_batch() {
    // Sleeps until the batch ends or a signal comes: the window's idle handler wakes it through
    // a wake-up, so nothing looks every few milliseconds through a batch of hours.
    Wakeup ended;
    window_->set_idle_handler([&ended] { ended.signal(); });
    struct ClearHandler {
        HeadlessWindow& w;
        ~ClearHandler() { w.set_idle_handler(nullptr); }  // before the wake-up goes
    } clear{*window_};
    while (!window_->wait_idle(0ms)) {
        const bool signalled = signals_.wait_or(ended.handle());
        ended.clear();
        if (!signalled) continue;
        if (signals_.count() == 1) {
            // STOP answered Yes: the devices in hand finish, no other begins, no retry pass.
            engine_->request_stop();
            window_->set_stop_enabled(false);
            display_->message(
                "Stopping: the devices in hand finish, no other begins "
                "(Ctrl-C again ends at once)");
            continue;
        }
        display_->message("Ended at once: a device in hand may be left half upgraded");
        std::_Exit(kExitInterrupted);
    }
}

int UpgradeRun::finish() {
    display_->stop();
    engine_->stop_driver();
    if (discovery_up_) discovery_->stop();

    SummaryDoc doc;
    doc.mode = range_mode_ ? "range" : "list";
    doc.images = summary_.images();
    // A batch stopped before the driver took it loaded nothing: that is no image check failing.
    const bool abandoned = summary_.was_abandoned();
    doc.images_bad = !summary_.images_were_loaded() && !abandoned;
    doc.unreachable = summary_.silent();
    doc.passes = summary_.passes();
    doc.stopped = signals_.count() > 0;
    doc.fake_burn = fake_;
    doc.counter = window_->widgets().counter;
    doc.report_path = user_report_path(log_folder_);
    const auto tried = summary_.tried();
    window_->run([&] {
        const DeviceTable& t = window_->device_table();
        for (int r = 0; r < t.row_count(); ++r) {
            // List mode: the rows ticked at START; a range scan: every row it added.
            if (!range_mode_ && !batch_rows_.count(r)) continue;
            DeviceSummary d;
            auto it = tried.find(r);
            if (it != tried.end())
                d = it->second;
            else
                d.outcome = "not started";
            d.ip = t.get_cell(r, col_ip);
            if (!t.get_cell(r, col_mac).empty()) d.mac = t.get_cell(r, col_mac);
            d.type = t.get_cell(r, col_type);
            doc.devices.push_back(d);
        }
    });
    if (!site_.empty()) merge_site_outcomes(doc.devices, site_checks_);  // --devices-from
    // The adapter each device answered on.
    for (DeviceSummary& d : doc.devices) d.adapter = discovery_->adapter_of(d.ip);

    int rc = kExitAllUpgraded;
    if (doc.images_bad)
        rc = kExitImagesBad;
    else if (engine_->echo_failed())
        rc = kExitSomeFailed;
    else if (doc.devices.empty())
        rc = kExitNothingToDo;
    else
        for (const auto& d : doc.devices)
            if (d.outcome != "success") rc = kExitSomeFailed;
    // Every device took its images, but a success is not reported for one that never came back.
    if (rc == kExitAllUpgraded)
        for (const auto& d : doc.devices)
            if (d.came_back == 0) rc = kExitNotBack;
    // A range scan stopped on request leaves addresses unvisited, and no row names them: it is
    // not a clean run, however the devices it reached did.
    if (range_mode_ && doc.stopped && !doc.images_bad) rc = kExitSomeFailed;
    if (abandoned) rc = kExitInterrupted;  // Ctrl-C before the batch began
    // The site's record file: a device list that cannot be written is not a clean run.
    if (!opt_.csv.empty()) {
        const std::string text = summary_csv(doc);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> csv(open_for_writing(opt_.csv),
                                                            &std::fclose);
        const bool written = csv &&
                             std::fwrite(text.data(), 1, text.size(), csv.get()) == text.size() &&
                             std::fclose(csv.release()) == 0;
        if (!written) {
            display_->message("upgrade: cannot write " + opt_.csv + ": the device list is missing");
            if (rc == kExitAllUpgraded) rc = kExitSomeFailed;
        }
    }
    // Failures first: the report's SUMMARY lines of a batch that ran, and the --failed-to list.
    const auto limit_s =
        std::chrono::duration_cast<std::chrono::seconds>(come_back_->limit()).count();
    const std::vector<DeviceOutcome> outcomes = summary_outcomes(doc, int(limit_s));
    if (summary_.images_were_loaded()) write_summary_lines(logs_.userReport, outcomes);
    if (!opt_.failed_to.empty() && !write_site_list(opt_.failed_to, needing_attention(outcomes))) {
        display_->message("upgrade: cannot write " + opt_.failed_to +
                          ": the failed devices' list is missing");
        if (rc == kExitAllUpgraded) rc = kExitSomeFailed;
    }
    if (summary_.images_were_loaded() && !journal_->ok())
        display_->message("warning: the batch journal " + journal_->path() +
                          " could not be written whole: a crash would not be resumable");
    // A rule that ended the batch: named in the summary, and never a clean run.
    doc.canary = rules_->settings().canary;
    doc.max_failed = rules_->settings().max_failed_text();
    doc.halted = rules_->halted();
    if (!doc.halted.empty() && (rc == kExitAllUpgraded || rc == kExitNotBack)) rc = kExitSomeFailed;
    doc.exit_code = rc;

    std::string out = opt_.json ? summary_json(doc) : summary_table(doc);
    if (!opt_.json) out += failed_lines(needing_attention(outcomes));  // last, after the table
    // A summary that cannot be written (a full disk, a closed pipe) is not a clean run either.
    if ((!doc.images_bad || opt_.json) && !write_all_fd(streams_.out_fd(), out) &&
        rc == kExitAllUpgraded)
        rc = kExitSomeFailed;
    return rc;
}

}  // namespace

int run_upgrade(const UpgradeOptions& opt) {
    UpgradeRun run(opt);
    return run.run();
}

}  // namespace quillon::cli
