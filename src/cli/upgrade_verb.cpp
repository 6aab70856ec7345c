// SPDX-License-Identifier: Apache-2.0
#include "cli/upgrade_verb.h"

#include <memory>

#include "cli/upgrade_options.h"
#include "cli/upgrade_run.h"
#include "engine/failure_threshold.h"

namespace quillon::cli {
namespace {

constexpr const char* kFooter =
    R"(Devices come from one search (the default: a broadcast search on the adapter, answers
taken for 3 seconds), from --device (repeatable), from --devices-from, or from --range, whose
addresses are probed with ICMP echo (needs CAP_NET_RAW, or a group inside
net.ipv4.ping_group_range).

--devices-from FILE reads a site list: one address a line, or a CSV (UTF-8) whose header line
has an ip column and may have mac and name columns, in any order (other columns are ignored;
a field holding a comma or a quote is written in double quotes; a header separated by ';'
makes ';' the separator). Blank lines and lines that
begin with # are skipped. A bad line (no address, a bad MAC, an address or MAC listed twice, a
line over 4096 bytes) refuses the whole list with the file, the line and why, before anything
is sent (exit code 2). Each listed device is searched for at its address; one that does not
answer is reported "not found", one that answers with another MAC than the listed one (or
where two devices answer) is refused as a "conflict"; neither is upgraded, and both make the
exit code 1 (4 when no listed device is left). The names go into the summary, the JSON and
the CSV.

With --adapter all the search runs on every adapter that is up at once; a device that answers
on two adapters is listed once, and the JSON summary names the adapter each device answered
on ("adapter"). The upgrade connections go by the system's routing, as always.

Logs go to the folder "log" below the working directory, as the desktop program writes them
(or straight into --log-dir): upgrade_user.html always, upgrade_dev.log and the debug log with
--debug. config.ini in the working directory is read as the desktop program reads it.
Progress and messages are written to standard error; the summary to standard output.
Ctrl-C stops after the devices in hand (no device is begun, no retry pass runs); a second
Ctrl-C ends at once.

After its reboot every upgraded device is searched for again, every 5 seconds, until it
answers from its address with its MAC, or --come-back SECONDS (300) have passed. The batch
ends when every device is back or past that limit; Ctrl-C ends the wait at once and the
devices not yet back are reported as not checked. The summary tells per device came_back
(true, false, or null when not checked), version_before, version_after and back_after_s.

At the end of the batch the report gets SUMMARY lines: the counts of each outcome (upgraded
and back, upgraded (come-back not checked), failed, not back, back with the old version, not
found, not started), then a line per device that needs attention: all but the upgraded ones.
Those devices are printed last, after the table, their addresses on one line that --device
takes as it is (--device A B C); --failed-to FILE writes them as a site list (ip,mac,name), and
the JSON summary lists them in needs_attention.

Every batch writes a journal into the log folder (journal_*.jsonl, the newest 20 are kept):
one line per event, each forced to the disk before the batch goes on. A batch that died (a
kill, a crash, a power cut) leaves its journal without an end; --resume runs the devices of
that batch that did not succeed, with the same images (refused, exit code 2, when an image file
is no longer the one the batch began with), found again by MAC, else by address; devices cut
off in the middle of an image begin again from their first image. `quillon-cli history` lists
the journals.

--canary N upgrades the first N devices of the list alone first (one pass, no retry) and
waits for them to come back; the others follow only if all N were upgraded and came back.
Otherwise the batch stops there, says why and exits with 1; the others are not touched. With
the come-back check off (--come-back 0, or fake burn) nobody can see a device come back: the
canary is then judged by its upgrades alone, and it says so. A batch of no more than N devices
runs as one batch. The list's order is that of the --device options, else the order in which
the devices answered the search. --canary needs a device list: not with --range.

--max-failed N (or P%, a share of the devices of the pass) stops the batch as Ctrl-C does once
more devices than that have failed in one pass: the devices in hand finish, none begins, no
retry pass runs; the summary names the threshold. Both are written in the journal, and
--resume keeps them (a canary that passed there is not run again) unless given anew.

Exit codes:
  0    every device was upgraded
  1    some device failed or was not begun (a range scan stopped before its end too),
       or the batch could not run, or the summary could not be written; a device of
       --devices-from not found or refused for a conflict (also: a canary that did
       not pass, a --max-failed stop)
  2    the command line is wrong (a --package that is no file, a bad --devices-from
       list too); --resume: no unfinished batch, or an image file changed since the
       batch began
  3    the image set failed its check (missing image file, bad checksum, bad package)
  4    nothing to upgrade: no device found or answering
  5    every device took its images, but some did not come back after the reboot
       (1 wins when some device failed)
  130  interrupted before the batch began, or ended at once by a second Ctrl-C)";

// --canary and --max-failed.
bool valid_rules(const UpgradeOptions& o, std::string& why) {
    std::string err;
    if (!o.max_failed.empty() && !parse_failure_limit(o.max_failed, err)) {
        why = "--max-failed " + err;
        return false;
    }
    if (o.canary > 0 && !o.range.empty()) {
        why =
            "--canary needs a list of devices: a --range scan finds its devices one address at a time";
        return false;
    }
    return true;
}

bool valid_options(const UpgradeOptions& o, std::string& why) {
    bool any_image = false;
    for (const auto& p : o.slot_paths) any_image = any_image || !p.empty();
    if (o.resume) {
        // The batch resumed names its images and devices itself.
        if (any_image || !o.package.empty() || !o.devices.empty() || !o.range.empty() ||
            !o.type.empty() || !o.devices_from.empty()) {
            why =
                "--resume takes the images and devices of the batch it continues: give no "
                "image, --package, --device, --range or --type";
            return false;
        }
        return valid_rules(o, why);
    }
    if (!any_image && o.package.empty()) {
        why = "no image: give --boot, --kernel, --system, --fw or --package";
        return false;
    }
    if (any_image && !o.package.empty()) {
        why = "give either image files or --package, not both";
        return false;
    }
    if (!o.devices.empty() && !o.range.empty()) {
        why = "give either --device or --range, not both";
        return false;
    }
    // --devices-from: the list names the devices; its devices' types are known only once found.
    if (!o.devices_from.empty() && (!o.devices.empty() || !o.range.empty() || !o.type.empty())) {
        why =
            "--devices-from names the devices itself: give no --device, --range or --type with it";
        return false;
    }
    if (!o.type.empty() && !o.devices.empty()) {
        why = "--type goes with a search or --range: a device given by --device has no known type";
        return false;
    }
    for (const auto& d : o.devices) {
        if (!is_host_address(d)) {
            why = "--device " + d + " is not the IPv4 address of a host";
            return false;
        }
    }
    if (!o.range.empty()) {
        std::string err;
        if (!parse_range(o.range, err)) {
            why = "--range " + o.range + ": " + err;
            return false;
        }
    }
    return valid_rules(o, why);
}

}  // namespace

void add_upgrade_verb(CLI::App& app, std::function<int()>& action) {
    auto opt = std::make_shared<UpgradeOptions>();
    CLI::App* v =
        app.add_subcommand("upgrade",
                           "Upgrade a whole batch of devices, as START does in the window");
    // Only "-" starts an option, on Windows too: CLI11's Windows-style options would take a path
    // such as /fw/pkg.zip for an option "/fw" there.
    v->allow_windows_style_options(false);
    v->footer(kFooter);
    v->add_option("--boot", opt->slot_paths[0], "BOOT image file")->group("Images");
    v->add_option("--kernel", opt->slot_paths[1], "KERNEL image file")->group("Images");
    v->add_option("--system", opt->slot_paths[2], "SYSTEM image file")->group("Images");
    v->add_option("--fw", opt->slot_paths[3], "FW (application) image file")->group("Images");
    v->add_option("--package", opt->package,
                  "firmware package (.zip): unpacked beside itself and sorted into the four slots")
        ->group("Images");
    v->add_option("--device", opt->devices, "upgrade the device at this address (repeatable)")
        ->group("Devices");
    v->add_option("--devices-from", opt->devices_from,
                  "upgrade the devices of a site list: one address a line, or a CSV with a header "
                  "line that has an ip column (and optional mac and name columns)")
        ->group("Devices")
        ->option_text("FILE");
    v->add_option("--range", opt->range,
                  "probe and upgrade A.B.C.D to A.B.C.E (last number 1..254)")
        ->group("Devices");
    v->add_option(
         "--type", opt->type,
         "only devices of this type (PANEL, WALL, PERSON, CENTER, MONITOR, LIFT, OTHER); with --range a search first tells the types")
        ->group("Devices");
    v->add_option(
         "--adapter", opt->adapter,
         "network adapter for discovery, or \"all\" for every adapter that is up (default: the "
         "first one that is up, real adapters before virtual ones; see `quillon-cli adapters`)")
        ->group("Devices");
    v->add_option("--threads", opt->threads, "devices upgraded at the same time")
        ->check(CLI::Range(1, 10))
        ->capture_default_str();
    v->add_flag("--auto-retry", opt->auto_retry,
                "retry the failed devices, up to 10 passes in all");
    v->add_flag("--fake-burn", opt->fake_burn,
                "simulate every upgrade; nothing is sent to a device");
    v->add_option("--come-back", opt->come_back,
                  "after its reboot, wait up to SECONDS for each device to answer again (default: "
                  "come_back in config.ini, else 300; 0: no check)")
        ->check(CLI::Range(0, 86400))
        ->option_text("SECONDS");
    v->add_option("--resume", opt->resume_journal,
                  "continue an unfinished batch: its devices that did not succeed, with its images "
                  "(JOURNAL: default the newest unfinished journal in the log folder)")
        ->expected(0, 1)
        ->type_name("[JOURNAL]");
    // The canary wave and the halt threshold.
    v->add_option("--canary", opt->canary,
                  "upgrade the first N devices alone first; the others only if all N were upgraded "
                  "and came back (0: none)")
        ->check(CLI::Range(0, 100000))
        ->option_text("N");
    v->add_option("--max-failed", opt->max_failed,
                  "stop as Ctrl-C does once more than N devices (or P% of them) failed in one pass")
        ->option_text("N|P%");
    v->add_flag("--debug", opt->debug, "also write the device log and the debug log");
    v->add_option("--log-dir", opt->log_dir, "write the log files into this folder");
    v->add_flag("--json", opt->json, "print the summary as JSON");
    v->add_option("--csv", opt->csv, "also write the results to FILE as CSV, one line per device");
    // Failures first: the devices to look at again, as a site list.
    v->add_option("--failed-to", opt->failed_to,
                  "also write the devices that need attention (failed, not back, back with the old "
                  "version, not found, not started) to FILE as a site list (ip,mac,name)")
        ->type_name("FILE");
    v->add_flag("-v,--verbose", opt->verbose,
                "also show the console diagnostics (no live display)");
    // For the project's tests only: devices on other ports than the real ones.
    v->add_option("--upgrade-port", opt->upgrade_port)->check(CLI::Range(1, 65535))->group("");
    v->add_option("--discovery-port", opt->discovery_port)->check(CLI::Range(1, 65535))->group("");
    v->callback([opt, &action, v] {
        opt->resume = v->count("--resume") > 0;
        opt->threads_given = v->count("--threads") > 0;
        opt->canary_given = v->count("--canary") > 0;
        std::string why;
        if (!valid_options(*opt, why)) throw CLI::ValidationError("upgrade", why);
        action = [opt] { return run_upgrade(*opt); };
    });
}

}  // namespace quillon::cli
