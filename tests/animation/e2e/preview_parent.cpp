// A window for the screen saver's preview to go into, as the screen-saver
// settings of Windows give one: a top-level window whose client area is
// 152x112, at (100, 100). It prints its handle in decimal, then reads lines
// from standard input while its messages are handled:
//   child  prints "child WxH at X,Y" for the first child window (its client
//          area's size and its place in the parent's client area), or
//          "child none"
//   end    (or the end of the input) destroys the window and ends, status 0
// Each line printed is flushed at once.
//
//   e2e-preview-parent --texts TITLE
//       Prints the texts of the child windows (a message box's text and
//       button) of the top-level window titled TITLE, one a line, and ends:
//       status 0, or 1 when there is no such window.
//   e2e-preview-parent --child HWND
//       Puts a grey (0x808080) child window over the whole client area of
//       the window HWND, which another process made, and keeps it there
//       until it is ended: whether the window system shows what a child of
//       another process's window draws, as a preview is.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int client_width = 152;
constexpr int client_height = 112;
constexpr UINT report_child = WM_APP + 1;

HWND parent = nullptr;

void print_child() {
    HWND child = GetWindow(parent, GW_CHILD);
    RECT area{};
    if (child == nullptr || GetClientRect(child, &area) == 0) {
        std::printf("child none\n");
    } else {
        POINT corner{0, 0};
        ClientToScreen(child, &corner);
        ScreenToClient(parent, &corner);
        std::printf("child %ldx%ld at %ld,%ld\n", area.right - area.left, area.bottom - area.top,
                    corner.x, corner.y);
    }
    std::fflush(stdout);
}

LRESULT CALLBACK parent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case report_child:
            print_child();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wparam, lparam);
    }
}

// Standard input, on a thread of its own: the window's thread handles
// messages meanwhile, and does what each line asks.
DWORD WINAPI read_commands(LPVOID /*unused*/) {
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        if (std::strncmp(line, "child", 5) == 0) {
            PostMessageA(parent, report_child, 0, 0);
        } else if (std::strncmp(line, "end", 3) == 0) {
            break;
        }
    }
    PostMessageA(parent, WM_CLOSE, 0, 0);
    return 0;
}

BOOL CALLBACK print_text(HWND child, LPARAM /*unused*/) {
    char text[512];
    if (GetWindowTextA(child, text, sizeof text) > 0) {
        std::printf("%s\n", text);
    }
    return TRUE;
}

int print_texts(const char* title) {
    HWND window = FindWindowA(nullptr, title);
    if (window == nullptr) {
        return 1;
    }
    EnumChildWindows(window, print_text, 0);
    std::fflush(stdout);
    return 0;
}

int grey_child(const char* handle) {
    HWND owner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(handle, nullptr, 10)));
    RECT area{};
    if (IsWindow(owner) == 0 || GetClientRect(owner, &area) == 0) {
        return 1;
    }
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    window_class.lpszClassName = "grey child";
    if (RegisterClassA(&window_class) == 0 ||
        CreateWindowExA(0, "grey child", "grey child", WS_CHILD | WS_VISIBLE, 0, 0, area.right,
                        area.bottom, owner, nullptr, window_class.hInstance, nullptr) == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--texts") == 0) {
        return print_texts(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        return grey_child(argv[2]);
    }
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = parent_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    window_class.lpszClassName = "preview parent";
    if (RegisterClassA(&window_class) == 0) {
        return 1;
    }
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT outer{0, 0, client_width, client_height};
    AdjustWindowRect(&outer, style, FALSE);
    parent = CreateWindowExA(0, "preview parent", "preview parent", style, 100, 100,
                             outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                             window_class.hInstance, nullptr);
    if (parent == nullptr) {
        return 1;
    }
    ShowWindow(parent, SW_SHOWNORMAL);
    UpdateWindow(parent);
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(parent)));
    std::fflush(stdout);
    if (CreateThread(nullptr, 0, read_commands, nullptr, 0, nullptr) == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
