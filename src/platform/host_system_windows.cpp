// The application host's needs on Windows.
#include <windows.h>
#include <shellapi.h>

#include "platform/host_system.h"

namespace tintcheck::os {

namespace {
std::string ToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<std::size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    return utf8;
}
}  // namespace

std::vector<std::string> CommandLineArguments(int, char**) {
    // The command line as the process received it, in Unicode, whatever the console's code page.
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    if (arguments == nullptr) return result;
    for (int i = 0; i < count; ++i) result.push_back(ToUtf8(arguments[i]));
    LocalFree(arguments);
    return result;
}

void WriteStandardError(std::string_view text) noexcept {
    // Straight to the handle: the C runtime's text mode would turn each line feed into CR LF.
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0) return;
        text.remove_prefix(written);
    }
}

void SleepMilliseconds(std::int32_t milliseconds) noexcept { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace tintcheck::os
