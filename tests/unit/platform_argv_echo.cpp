// SPDX-License-Identifier: Apache-2.0
// Test helper: writes the arguments it received (all but the program name) as "<bytes>:<text>\n"
// each, in UTF-8, so a test sees exactly what a started program got. On Windows the arguments
// are split from the command line by CommandLineToArgvW, the rules programs there live by.
//   --exit N        exit with status N after writing
//   --sleep-ms N    sleep N milliseconds first
//   --spawn-sleeper FILE   (Windows) first start a copy of itself that sleeps a minute holding
//                          the same standard handles, and write that copy's process id to FILE
// With QUILLON_ARGV_ECHO_TO set, the text goes into that file instead of standard output.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#endif

namespace {

std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> out;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int n = 0;
    wchar_t** w = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    for (int i = 1; w && i < n; ++i) {
        const int len = ::WideCharToMultiByte(CP_UTF8, 0, w[i], -1, nullptr, 0, nullptr, nullptr);
        std::string a(len > 0 ? std::size_t(len) : 1u, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, w[i], -1, a.data(), len, nullptr, nullptr);
        a.resize(a.size() - 1);
        out.push_back(a);
    }
    if (w) ::LocalFree(w);
#else
    for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
#endif
    return out;
}

std::FILE* output() {
#ifdef _WIN32
    if (const wchar_t* to = ::_wgetenv(L"QUILLON_ARGV_ECHO_TO")) return ::_wfopen(to, L"wb");
    ::_setmode(::_fileno(stdout), _O_BINARY);
#else
    if (const char* to = std::getenv("QUILLON_ARGV_ECHO_TO")) return std::fopen(to, "wb");
#endif
    return stdout;
}

#ifdef _WIN32
void spawn_sleeper(const std::string& pid_file) {
    wchar_t self[MAX_PATH];
    if (::GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return;
    std::wstring line = L"\"" + std::wstring(self) + L"\" --sleep-ms 60000";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return;
    if (std::FILE* f = std::fopen(pid_file.c_str(), "wb")) {
        std::fprintf(f, "%lu", static_cast<unsigned long>(pi.dwProcessId));
        std::fclose(f);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = arguments(argc, argv);
    int status = 0;
#ifdef _WIN32
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--spawn-sleeper") spawn_sleeper(args[i + 1]);
#endif
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--exit") status = std::atoi(args[i + 1].c_str());
        if (args[i] == "--sleep-ms")
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(args[i + 1].c_str())));
    }
    std::string text;
    for (const auto& a : args) text += std::to_string(a.size()) + ":" + a + "\n";
    std::FILE* f = output();
    if (!f) return 125;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
    if (f != stdout) std::fclose(f);
    return status;
}
