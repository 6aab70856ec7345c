// Opening a URL through ShellExecuteW. The test makes quillon_argv_echo the handler of HTML files
// and of http URLs for the current user, so it runs only under Wine, in the run's own prefix:
// on a real PC it would change the user's browser.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/open_url.h"
#include "platform/run_program.h"
#include "platform/utf16_win.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

bool under_wine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

bool set_default(const std::wstring& key, const std::wstring& value) {
    HKEY k = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                          nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r = ::RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    DWORD((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(k);
    return r == ERROR_SUCCESS;
}

std::string read_file(const std::wstring& path) {
    std::string out;
    if (std::FILE* f = ::_wfopen(path.c_str(), L"rb")) {
        char buf[1024];
        out.assign(buf, std::fread(buf, 1, sizeof buf, f));
        std::fclose(f);
    }
    return out;
}

std::string wait_for(const std::wstring& marker, const std::string& want) {
    std::string got;
    for (int i = 0; i < 1500 && got != want; ++i) {
        std::this_thread::sleep_for(10ms);
        got = read_file(marker);
    }
    return got;
}

// "file:///" and the path with '/' separators, every byte outside the unreserved set escaped.
std::string file_url_of(const std::string& path) {
    std::string url = "file:///";
    for (unsigned char c : path) {
        if (c == '\\') url += '/';
        else if (std::isalnum(c) || c == '/' || c == ':' || c == '.' || c == '_' || c == '-') url += char(c);
        else {
            char esc[4];
            std::snprintf(esc, sizeof esc, "%%%02X", c);
            url += esc;
        }
    }
    return url;
}

class OpenUrlWin : public testing::Test {
protected:
    void SetUp() override {
        if (!under_wine()) GTEST_SKIP() << "changes the user's file associations: Wine only";
        const std::string self = current_executable_path();
        echo_ = widen(self.substr(0, self.find_last_of("/\\") + 1) + "quillon_argv_echo.exe");
        wchar_t tmp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, tmp), 0u);
        dir_ = std::wstring(tmp) + L"quillon \x56FA\x4EF6 v2";  // "固件" and a blank
        ::CreateDirectoryW(dir_.c_str(), nullptr);
        marker_ = dir_ + L"\\opened.txt";
        ::DeleteFileW(marker_.c_str());
        ASSERT_EQ(::SetEnvironmentVariableW(L"QUILLON_ARGV_ECHO_TO", marker_.c_str()), TRUE);
        const std::wstring command = L"\"" + echo_ + L"\" \"%1\"";
        ASSERT_TRUE(set_default(L"Software\\Classes\\.html", L"QuillonTest.html"));
        ASSERT_TRUE(set_default(L"Software\\Classes\\QuillonTest.html\\shell\\open\\command", command));
        ASSERT_TRUE(set_default(L"Software\\Classes\\http\\shell\\open\\command", command));
    }
    void TearDown() override {
        if (dir_.empty()) return;
        ::SetEnvironmentVariableW(L"QUILLON_ARGV_ECHO_TO", nullptr);
        ::DeleteFileW(marker_.c_str());
        ::DeleteFileW((dir_ + L"\\upgrade_user.html").c_str());
        ::RemoveDirectoryW(dir_.c_str());
    }
    std::wstring echo_, dir_, marker_;
};

TEST_F(OpenUrlWin, AFileUrlOpensTheFileItNames) {
    const std::wstring page = dir_ + L"\\upgrade_user.html";
    {
        std::FILE* f = ::_wfopen(page.c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        std::fputs("<html></html>", f);
        std::fclose(f);
    }
    const std::string path = narrow(page);
    ASSERT_EQ(open_url(file_url_of(path)), 0) << file_url_of(path);
    EXPECT_EQ(wait_for(marker_, std::to_string(path.size()) + ":" + path + "\n"),
              std::to_string(path.size()) + ":" + path + "\n");
}

TEST_F(OpenUrlWin, AWebPageGoesToTheHandlerOfItsScheme) {
    const std::string url = "http://127.0.0.1/";
    ASSERT_EQ(open_url(url), 0);
    const std::string want = std::to_string(url.size()) + ":" + url + "\n";
    EXPECT_EQ(wait_for(marker_, want), want);
}

TEST_F(OpenUrlWin, ARefusedUrlIsNotHandedOver) {
    EXPECT_EQ(open_url("C:\\windows\\system32\\notepad.exe"), -1);
    EXPECT_EQ(open_url(file_url_of("C:\\windows\\system32\\notepad.exe")), -1);
}

}  // namespace
}  // namespace quillon
