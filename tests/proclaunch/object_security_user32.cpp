// Stands in for user32 in tests: Wine keeps no security for window stations
// and desktops through the user-object calls, so these two reach the same
// handles' security through the kernel-object calls, which Wine stores and
// checks. Everything else is forwarded to user32 (see the .def file).

#include <windows.h>

extern "C" {

BOOL WINAPI StandinGetUserObjectSecurity(HANDLE object, PSECURITY_INFORMATION requested,
                                         PSECURITY_DESCRIPTOR descriptor, DWORD length, LPDWORD needed)
{
    return ::GetKernelObjectSecurity(object, *requested, descriptor, length, needed);
}

BOOL WINAPI StandinSetUserObjectSecurity(HANDLE object, PSECURITY_INFORMATION information,
                                         PSECURITY_DESCRIPTOR descriptor)
{
    return ::SetKernelObjectSecurity(object, *information, descriptor);
}

}
