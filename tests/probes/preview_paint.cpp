// Paints the control-panel preview in-process and compares it with the logo stretched over
// the same area, since another process's drawing into a child window does not reach the
// screen under Wine. Usage: probe_preview_paint <vellutor.scr> <width> <height>
#include "host/win/saver_session.h"
#include "host/win/saver_window.h"
#include "resources/win/scoped.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createHost(int width, int height) {
    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = hostProc;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = "PreviewProbeHost";
    hostClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterClassA(&hostClass);
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, WS_POPUP, FALSE);
    return CreateWindowExA(WS_EX_TOPMOST, hostClass.lpszClassName, "host", WS_POPUP | WS_VISIBLE,
                           10, 10, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                           nullptr, hostClass.hInstance, nullptr);
}

void pumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

// The 32-bit pixels of `width` x `height` drawn by `draw` into a memory context.
template <typename Draw> std::vector<DWORD> capture(int width, int height, Draw draw) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    ScopedMemoryDC memory(CreateCompatibleDC(nullptr));
    ScopedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    if (!memory || !bitmap)
        return pixels;
    {
        ScopedSelect selected(memory.get(), bitmap.get());
        draw(memory.get());
        GdiFlush();
    }
    const DWORD* source = static_cast<const DWORD*>(bits);
    pixels.assign(source, source + pixels.size());
    return pixels;
}

int channelDistance(DWORD a, DWORD b) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int d =
            std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        worst = d > worst ? d : worst;
    }
    return worst;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::puts("usage: probe_preview_paint <vellutor.scr> <width> <height>");
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    ScopedLibrary saver(LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!saver) {
        std::puts("error cannot load the saver's resources");
        return 2;
    }
    HINSTANCE self = GetModuleHandleA(nullptr);
    // The logo lives in the saver's resources, the window class in this program.
    SaverSession session(saver.get(), false, true);
    HWND host = createHost(width, height);
    session.setParent(host);
    session.measure(host);
    SaverWindow::registerClass(self);
    SaverWindow saverWindow(session);
    HWND window = saverWindow.create(self, SW_SHOW);
    if (!window) {
        std::puts("error no saver window");
        return 2;
    }
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    pumpFor(300);

    ScopedWindowDC shown(window);
    std::vector<DWORD> seen = capture(width, height, [&](HDC dc) {
        BitBlt(dc, 0, 0, width, height, shown.get(), 0, 0, SRCCOPY);
    });
    ScopedBitmap logo(LoadBitmapA(saver.get(), "LOGO"));
    std::vector<DWORD> expected = capture(width, height, [&](HDC dc) {
        ScopedMemoryDC source(CreateCompatibleDC(dc));
        ScopedSelect selected(source.get(), logo.get());
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, width, height, source.get(), 0, 0, 100, 100, SRCCOPY);
    });

    int differing = 0;
    for (size_t i = 0; i < seen.size(); ++i)
        differing += channelDistance(seen[i], expected[i]) > 24;
    std::printf("pixels %d\ndiffering %d\ncorner %06lx %06lx\n", width * height, differing,
                seen[0] & 0xFFFFFFul, expected[0] & 0xFFFFFFul);
    std::fflush(stdout);
    ExitProcess(0); // no shutdown: this probe only paints
}
