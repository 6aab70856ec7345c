// SPDX-License-Identifier: Apache-2.0
#include "app/qt/quillon_app.h"

#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/qt/unfinished_batch_check.h"
#include "app/settings.h"
#include "log/log_dir.h"
#include "log/log_file.h"
#include "platform/adapters.h"
#include "texts/fixed_texts.h"
#include "texts/ui_texts.h"
#include "window/qt/gui_window_port.h"

namespace quillon {

CQuillonApp::CQuillonApp(AppOptions options) : options_(std::move(options)) {}

CQuillonApp::~CQuillonApp() { shutdown(); }

void CQuillonApp::shutdown() {
    // The receive thread and the driver may be waiting for the window thread: stop serving them
    // first (their requests return at once), then stop them.
    if (dlg_) static_cast<GuiWindowPort&>(dlg_->port()).close();
    endpoint_.stop();
    if (driver_started_) {
        engine_.stop_driver();  // idle here: a batch in progress ends the process at EXIT
        driver_started_ = false;
    }
}

int CQuillonApp::init_instance() {
    dlg_ = options_.make_window ? options_.make_window() : std::make_unique<CQuillonDlg>();
    if (!dlg_) return -1;
    CQuillonDlg& dlg = *dlg_;
    dlg.set_engine(&link_);
    dlg.on_program_end = [this](bool batch) { end_program(batch); };

    // Log folder and user report; the device log's path is prepared for debug mode.
    const std::string cwd = current_dir();
    const std::string log_dir = join_path(cwd, "log");
    ensure_dir(log_dir);
    dlg.user_report().Open(user_report_path(log_dir));
    const std::string device_log_path = join_path(log_dir, "upgrade_dev.log");

    // Marker files and config.ini.
    const Settings settings = load_settings(cwd);
    ui_texts().use_english = settings.use_english;
    debug_mode_ = settings.debug;
    engine_.set_fake_burn(settings.fake_burn);

    if (debug_mode_) {
        debug_log_.start(log_dir);
        dlg.device_log().Open(device_log_path);
    }
    if (settings.fake_burn) dlg.show_message("fake burn!");

    ui_texts().apply_language();
    dlg.device_log().WriteInfo("upgrade start !\n");
    dlg.apply_texts();
    dlg.init_controls();

    std::vector<std::string> names, ips;
    for (const Adapter& a : list_ipv4_adapters()) {
        names.push_back(a.name);
        ips.push_back(a.ipv4);
    }
    dlg.set_adapters(names, ips);

    // Discovery, engine, driver, the first search.
    dlg.flags().intake_closed = 0;
    intake_ = std::make_unique<DeviceIntake>(dlg.port(), watch_);
    come_back_ = std::make_unique<ComeBackWatch>();
    come_back_->set_limit(std::chrono::seconds(settings.come_back));
    engine_.set_come_back(come_back_.get());
    tap_ = std::make_unique<ComeBackTap>(*intake_, *come_back_);
    if (options_.network) {
        auto& port = static_cast<GuiWindowPort&>(dlg.port());
        const unsigned discovery_port = options_.discovery_port;
        runner_ = std::make_unique<DiscoveryRunner>(
            endpoint_, *tap_, options_.discovery_port, [&port] { port.serve_posted(); },
            [&dlg, discovery_port] {
                std::fprintf(
                    stderr,
                    "discovery: UDP port %u is in use; is another Quillon program running?\n",
                    discovery_port);
                dlg.show_message(fixed_text::kPortInUse);
            });
        if (runner_->start(dlg.bind_addr()) != 0) {
            std::fprintf(stderr, "discovery: the sockets on port %u could not be set up\n",
                         static_cast<unsigned>(options_.discovery_port));
        }
        dlg.set_discovery(runner_.get());
        search_sender_ = std::make_unique<SearchSenderFor<BrelkMulEvent>>(endpoint_);
        engine_.set_search(search_sender_.get());
    } else {
        dlg.set_discovery(options_.discovery);
    }
    engine_.set_window(&dlg.port());
    journal_ = std::make_unique<BatchJournal>(log_dir);
    if (!names.empty()) journal_->set_adapter(names.front(), ips.front());
    outcomes_ = std::make_unique<BatchOutcomes>(dlg.user_report());
    observers_.add(journal_.get());
    observers_.add(outcomes_.get());
    engine_.set_observer(&observers_);
    if (options_.start_driver) {
        engine_.start_driver();
        driver_started_ = true;
    }
    if (options_.network) {
        endpoint_.search(1);
    } else if (options_.discovery) {
        options_.discovery->search(1, nullptr);
    }
    // A batch that died: once the start-up search has listed the devices, those it upgraded
    // are unticked and the person is told.
    dlg.on_search_window_end = [&dlg, log_dir] { check_unfinished_batch(dlg, log_dir); };
    dlg.start_search_window();

    dlg.showNormal();
    return 0;
}

void CQuillonApp::end_program(bool batch_running) {
    if (!batch_running) return;  // the window closes and run() returns
    // EXIT during a batch: the workers are not waited for; they end with the process. Every
    // log line is already flushed by its writer; the debug log is standard output.
    std::fflush(nullptr);
    std::_Exit(0);
}

int CQuillonApp::run() {
    const int rc = QApplication::exec();
    shutdown();
    return rc;
}

}  // namespace quillon
