// SPDX-License-Identifier: MIT
// brimsel-lights.exe: brimsel-ctl.exe --openrgb --telemetry with no console
// window, for the login on Windows. It runs the brimsel-ctl.exe beside it
// with its own arguments added, its messages appended to lights.log in
// %LOCALAPPDATA%\Brimsel tool, and starts it again 10 s after it fails (a
// port that another program held may be free then), as the systemd unit
// does on Linux. It ends with brimsel-ctl.exe's status when that ends well.
#include <windows.h>

#include <string>

namespace {

std::wstring besideMe(const wchar_t *file)
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + file;
}

HANDLE openLog()
{
    wchar_t local[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return INVALID_HANDLE_VALUE;
    const std::wstring folder = std::wstring(local) + L"\\Brimsel tool";
    CreateDirectoryW(folder.c_str(), nullptr);
    // Bounded: past 1 MiB the log starts again, the last one kept beside it.
    const std::wstring path = folder + L"\\lights.log";
    WIN32_FILE_ATTRIBUTE_DATA about;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &about) &&
        (about.nFileSizeHigh || about.nFileSizeLow > 1024 * 1024))
        MoveFileExW(path.c_str(), (path + L".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE log = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return log;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    std::wstring command = L"\"" + besideMe(L"brimsel-ctl.exe") + L"\" --openrgb --telemetry";
    if (arguments && *arguments)
        command += L" " + std::wstring(arguments);
    for (;;) {
        // Again at every start, so that it is trimmed then too.
        const HANDLE log = openLog();
        STARTUPINFOW start{};
        start.cb = sizeof start;
        if (log != INVALID_HANDLE_VALUE) {
            start.dwFlags = STARTF_USESTDHANDLES;
            start.hStdInput = nullptr;
            start.hStdOutput = log;
            start.hStdError = log;
        }
        PROCESS_INFORMATION process{};
        std::wstring line = command; // CreateProcessW may write to it
        const bool started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE,
                                            CREATE_NO_WINDOW, nullptr, nullptr, &start, &process);
        if (!started && log != INVALID_HANDLE_VALUE) {
            const std::string why = "brimsel-lights: cannot start brimsel-ctl.exe: error " +
                                    std::to_string(GetLastError()) + "\r\n";
            DWORD written = 0;
            WriteFile(log, why.data(), DWORD(why.size()), &written, nullptr);
        }
        if (log != INVALID_HANDLE_VALUE)
            CloseHandle(log);
        if (!started)
            return 1;
        CloseHandle(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 1;
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hProcess);
        // Ended well, stopped by a signal (128 + its number), or another
        // agent runs (5); a crash (0xC0000005 and the like) starts it again.
        if (status == 0 || status == 5 || (status >= 128 && status <= 255))
            return int(status);
        Sleep(10000);
    }
}
