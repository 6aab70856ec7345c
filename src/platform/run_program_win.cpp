// SPDX-License-Identifier: Apache-2.0
#include "platform/run_program.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/utf16_win.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    ~Handle() { reset(); }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != nullptr; }
    void reset(HANDLE h = nullptr) {
        if (h_) ::CloseHandle(h_);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }

private:
    HANDLE h_ = nullptr;
};

// The attribute list that limits inheritance to the handles named: without it a child would
// inherit every inheritable handle of this process, including another thread's pipe to its
// own child, which would then see no end of its output until this child ends too.
class HandleList {
public:
    explicit HandleList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        initialised_ = true;
        ok_ = ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                          handles_.data(), handles_.size() * sizeof(HANDLE),
                                          nullptr, nullptr) != 0;
    }
    ~HandleList() {
        if (initialised_)
            ::DeleteProcThreadAttributeList(
                reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()));
    }
    HandleList(const HandleList&) = delete;
    HandleList& operator=(const HandleList&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() {
        return ok_ ? reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()) : nullptr;
    }

private:
    std::vector<HANDLE> handles_;  // must outlive the list, which points into it
    std::vector<unsigned char> storage_;
    bool initialised_ = false;
    bool ok_ = false;
};

bool is_file(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ends_with_ci(const std::wstring& s, const wchar_t* tail) {
    const std::size_t n = std::wcslen(tail);
    return s.size() >= n && ::_wcsicmp(s.c_str() + s.size() - n, tail) == 0;
}

// The name as it is when it already names an .exe or .com file, else with each of them added.
std::wstring resolve(const std::wstring& base) {
    if (ends_with_ci(base, L".exe") || ends_with_ci(base, L".com"))
        return is_file(base) ? base : L"";
    for (const wchar_t* ext : {L".exe", L".com"}) {
        std::wstring candidate = base + ext;
        if (is_file(candidate)) return candidate;
    }
    return {};
}

std::wstring full_path(const std::wstring& path) {
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    const DWORD got = ::GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
    if (got == 0 || got >= n) return path;
    out.resize(got);
    return out;
}

std::wstring environment(const wchar_t* name) {
    const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::wstring out(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(name, out.data(), n);
    out.resize(got < n ? got : 0);
    return out;
}

std::wstring system_directory() {
    wchar_t buf[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

std::wstring find_executable_w(const std::wstring& name) {
    if (name.empty()) return {};
    if (name.find_first_of(L"\\/:") != std::wstring::npos) {
        std::wstring found = resolve(name);
        return found.empty() ? found : full_path(found);
    }
    std::wstring dirs = environment(L"PATH");
    if (dirs.empty()) dirs = system_directory();
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(L';', start);
        if (end == std::wstring::npos) end = dirs.size();
        std::wstring dir = dirs.substr(start, end - start);
        start = end + 1;
        // A PATH entry may be quoted; an empty one would mean the working directory, which is
        // not searched: a program of that name there is not the one meant.
        dir.erase(std::remove(dir.begin(), dir.end(), L'"'), dir.end());
        if (dir.empty()) continue;
        if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
        std::wstring found = resolve(dir + name);
        if (!found.empty()) return full_path(found);
    }
    return {};
}

struct Started {
    Handle process;
    Handle thread;  // its first thread, suspended when CREATE_SUSPENDED was asked for
    std::string error;
};

// Creates the process with the given inherited standard handles (none when null).
Started create_process(const std::vector<std::string>& argv, DWORD flags, HANDLE std_in,
                       HANDLE std_out) {
    Started s;
    std::wstring exe;
    if (!utf8_to_utf16(argv[0], exe)) {
        s.error = "the program name is not valid UTF-8";
        return s;
    }
    exe = find_executable_w(exe);
    if (exe.empty()) {
        s.error = argv[0] + ": not found";
        return s;
    }
    std::string line8;
    std::wstring line;
    if (!windows_command_line(argv, line8) || !utf8_to_utf16(line8, line)) {
        s.error = argv[0] +
                  ": an argument cannot be passed (NUL byte, invalid UTF-8 or a quote "
                  "in the program name)";
        return s;
    }
    if (line.size() >= 32767) {
        s.error = argv[0] + ": the command line is too long";
        return s;
    }

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si.StartupInfo;
    std::vector<HANDLE> inherit;
    if (std_in && std_out) {
        si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        si.StartupInfo.hStdInput = std_in;
        si.StartupInfo.hStdOutput = std_out;
        si.StartupInfo.hStdError = std_out;
        inherit = {std_in, std_out};
    }
    HandleList list(inherit);
    const bool inherits = !inherit.empty();
    if (inherits && list.get()) {
        si.StartupInfo.cb = sizeof si;
        si.lpAttributeList = list.get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION pi{};
    // CreateProcessW may write into the command line buffer.
    std::vector<wchar_t> buf(line.begin(), line.end());
    buf.push_back(L'\0');
    if (!::CreateProcessW(exe.c_str(), buf.data(), nullptr, nullptr, inherits ? TRUE : FALSE,
                          flags | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &si.StartupInfo,
                          &pi)) {
        s.error = argv[0] + ": " + win32_error_text(::GetLastError());
        return s;
    }
    s.thread.reset(pi.hThread);
    s.process.reset(pi.hProcess);
    return s;
}

}  // namespace

std::string find_executable(const std::string& name) {
    std::wstring wide;
    if (!utf8_to_utf16(name, wide)) return {};
    std::string out;
    utf16_to_utf8(find_executable_w(wide), out);
    return out;
}

std::vector<std::string> ping_command(const std::string& address, int count) {
    if (!detail::is_dotted_ipv4(address) || count < 1 || count > 100) return {};
    return {"ping", "-n", std::to_string(count), address};
}

std::string current_executable_path() {
    std::wstring buf(MAX_PATH, L'\0');
    for (int i = 0; i < 6; ++i) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            std::string out;
            utf16_to_utf8(buf, out);
            return out;
        }
        buf.resize(buf.size() * 2);
    }
    return {};
}

ProgramResult run_program(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                          std::size_t max_output) {
    ProgramResult res;
    if (argv.empty() || argv[0].empty()) {
        res.error = "no program given";
        return res;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!::CreatePipe(&r, &w, &inheritable, 0)) {
        res.error = "pipe: " + win32_error_text(::GetLastError());
        return res;
    }
    Handle read_end(r);
    Handle write_end(w);
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    Handle null_in(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!null_in.valid()) {
        res.error = "NUL: " + win32_error_text(::GetLastError());
        return res;
    }

    // The job holds the program and whatever it starts, so a timeout ends them all.
    Handle job(::CreateJobObjectW(nullptr, nullptr));
    Started child = create_process(argv, CREATE_SUSPENDED | CREATE_NO_WINDOW, null_in.get(),
                                   write_end.get());
    if (!child.process.valid()) {
        res.error = child.error;
        return res;
    }
    // Into the job before it runs, so that everything it starts is in the job as well.
    const bool in_job = job.valid() && ::AssignProcessToJobObject(job.get(), child.process.get());
    ::ResumeThread(child.thread.get());
    res.started = true;
    write_end.reset();  // only the child holds the write end now, so its exit ends the stream
    null_in.reset();

    const auto deadline = Clock::now() + timeout;
    auto remaining_ms = [&]() {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() < 0 ? DWORD(0) : DWORD(std::min<long long>(left.count(), 0x7FFFFFFF));
    };

    // An anonymous pipe cannot be waited on with a time limit: look at it, read what is there,
    // and otherwise wait a little (on the process while it runs).
    char buf[4096];
    bool eof = false;
    while (!eof) {
        DWORD avail = 0;
        if (!::PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &avail, nullptr)) {
            eof = true;  // every write end is closed (ERROR_BROKEN_PIPE)
            break;
        }
        if (avail > 0) {
            DWORD n = 0;
            if (!::ReadFile(read_end.get(), buf, std::min<DWORD>(avail, sizeof buf), &n, nullptr) ||
                n == 0) {
                eof = true;
                break;
            }
            const std::size_t room = max_output > res.output.size() ? max_output - res.output.size()
                                                                    : 0;
            const std::size_t take = std::min<std::size_t>(n, room);
            res.output.append(buf, take);
            if (take < n) res.output_truncated = true;
            continue;
        }
        const DWORD left = remaining_ms();
        if (left == 0) break;
        if (::WaitForSingleObject(child.process.get(), 0) == WAIT_OBJECT_0)
            ::Sleep(std::min<DWORD>(left, 10));  // ended; someone it started still writes
        else
            ::WaitForSingleObject(child.process.get(), std::min<DWORD>(left, 10));
    }

    if (eof && ::WaitForSingleObject(child.process.get(), remaining_ms()) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (::GetExitCodeProcess(child.process.get(), &code)) res.exit_code = int(code);
        return res;
    }
    res.timed_out = true;
    if (in_job) ::TerminateJobObject(job.get(), 1);
    ::TerminateProcess(child.process.get(), 1);
    ::WaitForSingleObject(child.process.get(), 5000);
    return res;
}

int spawn_detached(const std::vector<std::string>& argv) {
    if (argv.empty() || find_executable(argv[0]).empty()) return -1;
    // No console, no inherited handles, a process group of its own; out of this process's job
    // where that is allowed, so that it outlives us even when the job would end with us.
    const DWORD flags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP;
    Started s = create_process(argv, flags | CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr);
    if (!s.process.valid()) s = create_process(argv, flags, nullptr, nullptr);
    return s.process.valid() ? 0 : -1;
}

}  // namespace quillon
