// SPDX-License-Identifier: Apache-2.0
#include <cstdio>
#include <string>

#include "platform/utf16_win.h"
#include "platform/zip_archive.h"

namespace quillon {
namespace {

// minizip's file functions (ioapi.h) over the C runtime's wide-character calls. The "file name"
// handed through minizip is our UTF-8 text.
voidpf ZCALLBACK open_file(voidpf, const void* name, int mode) {
    std::wstring w;
    if (!name || !utf8_to_utf16(static_cast<const char*>(name), w)) return nullptr;
    const wchar_t* how = L"rb";
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
        how = (mode & ZLIB_FILEFUNC_MODE_EXISTING) ? L"r+b" : L"wb";
    }
    return ::_wfopen(w.c_str(), how);
}

uLong ZCALLBACK read_file(voidpf, voidpf f, void* buf, uLong size) {
    return uLong(std::fread(buf, 1, size, static_cast<FILE*>(f)));
}

uLong ZCALLBACK write_file(voidpf, voidpf f, const void* buf, uLong size) {
    return uLong(std::fwrite(buf, 1, size, static_cast<FILE*>(f)));
}

ZPOS64_T ZCALLBACK tell_file(voidpf, voidpf f) {
    return ZPOS64_T(::_ftelli64(static_cast<FILE*>(f)));
}

long ZCALLBACK seek_file(voidpf, voidpf f, ZPOS64_T offset, int origin) {
    int how = SEEK_SET;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR)
        how = SEEK_CUR;
    else if (origin == ZLIB_FILEFUNC_SEEK_END)
        how = SEEK_END;
    return ::_fseeki64(static_cast<FILE*>(f), static_cast<__int64>(offset), how) == 0 ? 0 : -1;
}

int ZCALLBACK close_file(voidpf, voidpf f) { return std::fclose(static_cast<FILE*>(f)); }

int ZCALLBACK error_file(voidpf, voidpf f) { return std::ferror(static_cast<FILE*>(f)); }

}  // namespace

void fill_zip_file_functions(zlib_filefunc64_def* funcs) {
    *funcs = zlib_filefunc64_def{};
    funcs->zopen64_file = open_file;
    funcs->zread_file = read_file;
    funcs->zwrite_file = write_file;
    funcs->ztell64_file = tell_file;
    funcs->zseek64_file = seek_file;
    funcs->zclose_file = close_file;
    funcs->zerror_file = error_file;
    funcs->opaque = nullptr;
}

}  // namespace quillon
