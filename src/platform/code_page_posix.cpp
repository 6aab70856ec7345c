// SPDX-License-Identifier: Apache-2.0
#include <iconv.h>

#include "platform/code_page.h"

namespace quillon {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

bool gbk_to_utf8(const std::string& gbk, std::string& result) {
    Converter conv("UTF-8", "GBK");
    if (!conv.valid()) return false;
    std::string out(gbk.size() * 2 + 4, '\0');  // a GBK character (2 bytes) is 3 in UTF-8
    char* in = const_cast<char*>(gbk.data());
    std::size_t in_left = gbk.size();
    char* at = out.data();
    std::size_t out_left = out.size();
    if (::iconv(conv.get(), &in, &in_left, &at, &out_left) == static_cast<std::size_t>(-1) ||
        in_left != 0)
        return false;
    out.resize(out.size() - out_left);
    result = std::move(out);
    return true;
}

}  // namespace quillon
