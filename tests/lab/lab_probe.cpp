// SPDX-License-Identifier: Apache-2.0
// quillon-lab-probe: the lab tests' small client. Sends one search (broadcast or directed) and
// prints every answer, or upgrades one device with a generated image and prints its records.
//
//   quillon-lab-probe search [--to ADDR] [--window-ms MS]      one line per answer:
//       FROM IP ID MAC VERSION
//   quillon-lab-probe upgrade ADDR [--size N] [--seed S] [--reboot]
//       records: S10 S20 ... F1
//       digest: <zlib crc32 of the data sent>
//
// A broadcast is sent only from inside the tool's namespace of a lab (ql-pc-*), never from the
// machine's own namespace.
#include <dirent.h>
#include <sys/stat.h>
#include <zlib.h>

#include <CLI/CLI.hpp>
#include <cstdio>

#include "lab_client.h"

using namespace quillon::labtest;

namespace {

// True when this process runs in the tool's namespace of a lab (a netns named ql-pc-*): the
// only place this client may broadcast.
bool in_lab_namespace() {
    struct stat self {};
    if (::stat("/proc/self/ns/net", &self) != 0) return false;
    DIR* dir = ::opendir("/run/netns");
    if (!dir) return false;
    bool found = false;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.rfind("ql-pc-", 0) != 0) continue;
        struct stat ns {};
        if (::stat(("/run/netns/" + name).c_str(), &ns) == 0 && ns.st_ino == self.st_ino &&
            ns.st_dev == self.st_dev)
            found = true;
    }
    ::closedir(dir);
    return found;
}

std::string text(const std::optional<std::string>& v) {
    return v ? (v->empty() ? "\"\"" : *v) : "-";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"quillon-lab-probe: search and upgrade client for the lab tests"};
    app.require_subcommand(1);

    std::string to = "255.255.255.255", bind = "0.0.0.0";
    uint16_t port = 8400, bind_port = 0;
    int window_ms = 1500;
    auto* s = app.add_subcommand("search", "send one search request and print the answers");
    s->add_option("--to", to, "destination (default: the limited broadcast)");
    s->add_option("--port", port, "discovery port");
    s->add_option("--bind", bind, "local address");
    s->add_option("--bind-port", bind_port, "local port (0: any)");
    s->add_option("--window-ms", window_ms, "how long answers are gathered");

    std::string target;
    uint16_t up_port = 9800;
    std::size_t size = 100000;
    uint32_t seed = 1;
    bool reboot = false;
    int limit_s = 60;
    auto* u = app.add_subcommand("upgrade", "send a generated image to one device");
    u->add_option("address", target, "the device")->required();
    u->add_option("--port", up_port, "upgrade port");
    u->add_option("--size", size, "image data bytes");
    u->add_option("--seed", seed, "seed of the generated data");
    u->add_flag("--reboot", reboot, "send the reboot record after F 1");
    u->add_option("--limit-s", limit_s, "give up after this many seconds");
    CLI11_PARSE(app, argc, argv);

    if (s->parsed()) {
        const in_addr dst = addr(to);
        const bool broadcast = (ntohl(dst.s_addr) & 0xFF) == 0xFF;
        if (broadcast && !in_lab_namespace()) {
            std::fprintf(stderr,
                         "quillon-lab-probe: refusing to broadcast outside a lab namespace\n");
            return 2;
        }
        auto answers = search(dst, port, std::chrono::milliseconds(window_ms), addr(bind),
                              bind_port, broadcast);
        for (const auto& a : answers)
            std::printf("%s %s %s %s %s\n", a.from.c_str(), text(a.answer.ip).c_str(),
                        text(a.answer.id).c_str(), text(a.answer.mac).c_str(),
                        text(a.answer.version).c_str());
        return 0;
    }

    const Image img = make_image(size, seed);
    UpgradeClient c;
    const ConnectResult cr = c.connect(addr(target), up_port, std::chrono::seconds(5));
    if (cr != ConnectResult::connected) {
        std::printf("connect: %s\n", cr == ConnectResult::refused   ? "refused"
                                     : cr == ConnectResult::timeout ? "timeout"
                                                                    : "error");
        return 1;
    }
    if (!c.send_image(img, img.data.size())) std::printf("send: failed\n");
    auto recs = c.read_until_finish(std::chrono::seconds(limit_s));
    std::printf("records:");
    for (const auto& r : recs) std::printf(" %s", r.text().c_str());
    std::printf("\n");
    std::printf("digest: %08lx\n",
                crc32(crc32(0L, Z_NULL, 0), img.data.data(), static_cast<uInt>(img.data.size())));
    const bool ok = !recs.empty() && recs.back().cmd == 3 && recs.back().value != 0;
    if (ok && reboot) {
        std::printf("reboot: %s\n", c.send_reboot() && c.wait_closed(std::chrono::seconds(5))
                                        ? "closed"
                                        : "not closed");
    }
    return ok ? 0 : 1;
}
