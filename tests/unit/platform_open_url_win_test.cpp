// SPDX-License-Identifier: Apache-2.0
// Opening a URL through ShellExecuteW. The test makes quillon_argv_echo the handler of HTML files
// and of http URLs, so it runs only under Wine, in the run's own prefix: on a real PC it would
// change the browser.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/open_url.h"
#include "platform/run_program.h"
#include "platform/utf16_win.h"
#include "support/files.h"
#include "support/wait_until.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

bool under_wine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// The default value of a key under HKEY_CLASSES_ROOT, set for the test and put back after it
// (Wine looks up associations there, not in the user's own classes).
class ClassDefault {
public:
    ClassDefault(std::wstring key, const std::wstring& value) : key_(std::move(key)) {
        HKEY k = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
            existed_ = true;
            wchar_t buf[1024];
            DWORD size = sizeof buf, type = 0;
            if (::RegQueryValueExW(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf),
                                   &size) == ERROR_SUCCESS &&
                type == REG_SZ) {
                had_value_ = true;
                old_.assign(buf, size / sizeof(wchar_t));
                while (!old_.empty() && old_.back() == L'\0') old_.pop_back();
            }
            ::RegCloseKey(k);
        }
        ok_ = write(value);
    }
    ~ClassDefault() {
        if (!existed_) {
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key_.c_str());
            ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key_.c_str());
        } else if (had_value_) {
            write(old_);
        }
    }
    ClassDefault(const ClassDefault&) = delete;
    ClassDefault& operator=(const ClassDefault&) = delete;
    bool ok() const { return ok_; }

private:
    bool write(const std::wstring& value) {
        HKEY k = nullptr;
        if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &k, nullptr) != ERROR_SUCCESS)
            return false;
        const LONG r = ::RegSetValueExW(k, nullptr, 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(value.c_str()),
                                        DWORD((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(k);
        return r == ERROR_SUCCESS;
    }
    std::wstring key_, old_;
    bool existed_ = false, had_value_ = false, ok_ = false;
};

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
    test::wait_until(
        [&] {
            got = read_file(marker);
            return got == want;
        },
        15s);
    return got;
}

// "file:///" and the path with '/' separators, every byte outside the unreserved set escaped.
std::string file_url_of(const std::string& path) {
    std::string url = "file:///";
    for (unsigned char c : path) {
        if (c == '\\')
            url += '/';
        else if (std::isalnum(c) || c == '/' || c == ':' || c == '.' || c == '_' || c == '-')
            url += char(c);
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
        echo_ = widen(test::beside_this_program("quillon_argv_echo.exe"));
        wchar_t tmp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, tmp), 0u);
        dir_ = std::wstring(tmp) + L"quillon \x56FA\x4EF6 v2";  // "固件" and a blank
        ::CreateDirectoryW(dir_.c_str(), nullptr);
        marker_ = dir_ + L"\\opened.txt";
        ::DeleteFileW(marker_.c_str());
        ASSERT_EQ(::SetEnvironmentVariableW(L"QUILLON_ARGV_ECHO_TO", marker_.c_str()), TRUE);
        const std::wstring command = L"\"" + echo_ + L"\" \"%1\"";
        keys_.push_back(std::make_unique<ClassDefault>(L".html", L"QuillonTest.html"));
        keys_.push_back(
            std::make_unique<ClassDefault>(L"QuillonTest.html\\shell\\open\\command", command));
        keys_.push_back(std::make_unique<ClassDefault>(L"http\\shell\\open\\command", command));
        for (const auto& k : keys_) ASSERT_TRUE(k->ok());
    }
    void TearDown() override {
        while (!keys_.empty()) keys_.pop_back();  // put back in the reverse order
        if (dir_.empty()) return;
        ::SetEnvironmentVariableW(L"QUILLON_ARGV_ECHO_TO", nullptr);
        ::DeleteFileW(marker_.c_str());
        ::DeleteFileW((dir_ + L"\\upgrade_user.html").c_str());
        ::RemoveDirectoryW(dir_.c_str());
    }
    std::wstring echo_, dir_, marker_;
    std::vector<std::unique_ptr<ClassDefault>> keys_;
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
