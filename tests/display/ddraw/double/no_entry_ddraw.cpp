// A ddraw.dll without DirectDrawCreate: stands in for a broken DirectDraw
// module, so that the display's look-up of the entry can be made to fail.
// Its one export tells a test that this module, and not another ddraw.dll,
// is the one loaded.
#include <windows.h>

extern "C" {

int quenlixor_double_no_entry() {
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

}  // extern "C"
