// SPDX-License-Identifier: Apache-2.0
// quillon-cli history: the batch journals of the log folder, the newest first.
#include <cstdio>
#include <memory>

#include "platform/console_streams.h"
#include "cli/text_out.h"
#include "cli/verbs.h"
#include "engine/upgrade_engine.h"
#include "journal/journal_doc.h"
#include "journal/journal_files.h"
#include "log/log_dir.h"
#include "platform/files.h"

namespace quillon::cli {
namespace {

struct HistoryOptions {
    bool json = false;
    std::string log_dir;
};

std::string image_roles(const JournalDoc& d) {
    std::string out;
    for (const auto& im : d.images)
        out += (out.empty() ? "" : ",") + std::string(kSlotRole[im.slot]);
    return out;
}

int run_history(const HistoryOptions& o) {
    const std::string folder = o.log_dir.empty() ? join_path(current_dir(), "log")
                                                 : absolute_path(o.log_dir);
    std::string out = o.json ? "[" : "";
    int n = 0;
    for (const auto& path : list_journals(folder)) {
        JournalDoc d;
        if (!read_journal(path, d) || !d.valid) continue;
        const std::string name = journal_file_name(path);
        const std::string end = d.finished ? d.ended : "unfinished";
        if (o.json) {
            out += std::string(n ? "," : "") + "\n{\"journal\":" + json_string(name) +
                   ",\"start\":" + json_string(d.started) +
                   ",\"end\":" + (d.finished ? json_string(d.ended) : "null") +
                   ",\"unfinished\":" + (d.finished ? "false" : "true") +
                   ",\"stopped\":" + (d.stopped ? "true" : "false") +
                   // The rule (--canary, --max-failed) that ended the batch, if one did.
                   ",\"halted_by\":" + (d.halted_by.empty() ? "null" : json_string(d.halted_by)) +
                   ",\"continues\":" + (d.continues.empty() ? "null" : json_string(d.continues)) +
                   ",\"mode\":" + json_string(d.mode) +
                   ",\"devices\":" + std::to_string(d.devices.size()) +
                   ",\"succeeded\":" + std::to_string(d.succeeded()) +
                   ",\"failed\":" + std::to_string(d.failed()) +
                   ",\"not_back\":" + std::to_string(d.not_back()) + ",\"images\":[";
            for (std::size_t i = 0; i < d.images.size(); ++i)
                out += std::string(i ? "," : "") + json_string(kSlotRole[d.images[i].slot]);
            out += "],\"skipped_lines\":" + std::to_string(d.bad_lines) + "}";
        } else {
            if (n == 0) {
                char head[160];
                std::snprintf(head, sizeof head, "%-19s  %-19s  %7s  %9s  %6s  %8s  %s\n", "START",
                              "END", "DEVICES", "SUCCEEDED", "FAILED", "NOT BACK", "IMAGES");
                out += head;
            }
            char line[256];
            std::snprintf(line, sizeof line, "%-19s  %-19s  %7zu  %9d  %6d  %8d  %s\n",
                          terminal_text(d.started).c_str(), terminal_text(end).c_str(),
                          d.devices.size(), d.succeeded(), d.failed(), d.not_back(),
                          image_roles(d).c_str());
            out += line;
        }
        ++n;
    }
    if (o.json)
        out += n ? "\n]\n" : "]\n";
    else if (n == 0)
        out = "No batch journal in " + terminal_text(folder) + "\n";
    return write_all_fd(1, out) ? kExitOk : kExitFailure;
}

}  // namespace

void add_history_verb(CLI::App& app, VerbAction& action) {
    auto opt = std::make_shared<HistoryOptions>();
    CLI::App* v = app.add_subcommand("history", "List the batch journals, the newest first");
    v->footer(
        "Per batch: start, end (or \"unfinished\": the batch died, `upgrade --resume` continues\n"
        "it), devices, succeeded, failed, not back, images. Journals are read from the folder\n"
        "\"log\" below the working directory, or from --log-dir.");
    v->add_flag("--json", opt->json, "print the list as JSON");
    v->add_option("--log-dir", opt->log_dir, "read the journals from this folder");
    v->callback([opt, &action] { action = [opt] { return run_history(*opt); }; });
}

}  // namespace quillon::cli
