// SPDX-License-Identifier: Apache-2.0
#include "cli/verb_package.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <ostream>

#include "cli/text_out.h"
#include "cli/verbs.h"
#include "images/image_slots.h"
#include "images/package_import.h"
#include "platform/files.h"

namespace quillon {

namespace {

using cli::json_string;
using cli::terminal_text;

// Keeps what the import says, so that it can be printed in the chosen format.
class CollectingSink : public MessageSink {
public:
    void message(const std::string& text) override { messages.push_back(text); }
    void debug(const std::string& text) override { details.push_back(text); }
    std::vector<std::string> messages;
    std::vector<std::string> details;
};

std::string join(const std::vector<std::string>& v, const char* sep) {
    std::string o;
    for (const std::string& s : v) {
        if (!o.empty()) o += sep;
        o += s;
    }
    return o;
}

void print_json(std::ostream& out, const std::string& package, const std::string& unzip_dir,
                const SlotPaths& slots, const RebootFlags& flags, const std::string& error,
                const std::string& detail) {
    out << "{\"package\":" << json_string(package) << ",\"unzip_dir\":" << json_string(unzip_dir)
        << ",\"ok\":" << (error.empty() ? "true" : "false");
    if (!error.empty()) out << ",\"error\":" << json_string(error);
    if (!detail.empty()) out << ",\"detail\":" << json_string(detail);
    out << ",\"slots\":[";
    for (int i = 0; i < kSlotCount; ++i) {
        out << (i ? "," : "") << "{\"slot\":" << json_string(kSlots[i].name)
            << ",\"role\":" << json_string(kSlots[i].role) << ",\"path\":" << json_string(slots[i])
            << ",\"reboot_after\":" << (flags[i] ? "true" : "false") << "}";
    }
    out << "]}\n";
}

void print_table(std::ostream& out, const std::string& package, const std::string& unzip_dir,
                 const SlotPaths& slots, const RebootFlags& flags) {
    // Entry names come from the package: nothing in them may steer the terminal.
    out << "package: " << terminal_text(package) << "\n"
        << "folder:  " << terminal_text(unzip_dir) << "\n"
        << "SLOT    REBOOT  PATH\n";
    for (int i = 0; i < kSlotCount; ++i) {
        char head[32];
        std::snprintf(head, sizeof head, "%-7s %-6s ", kSlots[i].name, flags[i] ? "yes" : "no");
        out << head << terminal_text(slots[i]) << "\n";
    }
}

}  // namespace

int run_package_verb(const PackageVerbOptions& opts, std::ostream& out, std::ostream& err) {
    // The window always has a full path from its file dialog; a command line may give a relative one.
    std::string package = opts.package;
    if (!package.empty()) {
        package = absolute_path(package);
    }

    SlotPaths slots;
    RebootFlags flags{};
    std::string unzip_dir;
    CollectingSink sink;
    // Only a package file leads to the folder beside it being emptied: a folder named here
    // (the unpacked images themselves, say) or a mistyped name must not cost that folder.
    const bool is_file = is_regular_file(package);
    ImportStatus st = ImportStatus::no_package;
    if (is_file) {
        delete_previous_import(package);
        st = import_package_files(package, unzip_dir, slots, flags, sink);
    }

    std::string error;
    if (st == ImportStatus::no_package) {
        error = "no such file: " + package;
    } else if (st == ImportStatus::failed) {
        error = join(sink.messages, " ");
    } else {
        bool any = false;
        for (const std::string& s : slots) any = any || !s.empty();
        if (!any) error = std::string("no image file in ") + unzip_dir + " matches a slot";
    }
    const std::string detail = join(sink.details, "; ");

    if (opts.json)
        print_json(out, package, unzip_dir, slots, flags, error, detail);
    else
        print_table(out, package, unzip_dir, slots, flags);
    if (!error.empty()) {
        err << "quillon-cli: " << terminal_text(error) << "\n";
        if (!detail.empty()) err << "quillon-cli: " << terminal_text(detail) << "\n";
        return 1;
    }
    return 0;
}

CLI::App* add_package_verb(CLI::App& app, PackageVerbOptions& opts) {
    CLI::App* sub = app.add_subcommand(
        "package",
        "Unpack a firmware package beside itself and show which image goes to which slot");
    // Only "-" starts an option, on Windows too: CLI11's Windows-style options would take a path
    // such as /fw/pkg.zip for an option "/fw" there.
    sub->allow_windows_style_options(false);
    sub->add_option("PKG", opts.package, "the .zip package")->required();
    sub->add_flag("--json", opts.json, "print one JSON object instead of the table");
    return sub;
}

namespace cli {

// The entry in the tool's verb table.
void add_package_verb(CLI::App& app, VerbAction& action) {
    auto opts = std::make_shared<PackageVerbOptions>();
    CLI::App* sub = quillon::add_package_verb(app, *opts);
    sub->callback([opts, &action] {
        action = [opts] { return run_package_verb(*opts, std::cout, std::cerr); };
    });
}

}  // namespace cli

}  // namespace quillon
