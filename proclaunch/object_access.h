#pragma once
// Access for a logon SID to the interactive window station and desktop:
// access-allowed entries added to each object's DACL. The old entries keep
// their order, identical copies of the granted ones are dropped, and the
// granted ones go to the end, so repeated launches never pile up entries.

#include "proclaunch/launch_heap.h"
#include "proclaunch/security_api.h"

#include <windows.h>

namespace proclaunch {

struct GrantedAce {
    BYTE flags;
    ACCESS_MASK mask;
    const wchar_t* addLine;  // written before the entry is appended
};

// Everything that differs between the window station and the desktop.
struct ObjectGrant {
    const GrantedAce* entries;
    size_t entryCount;
    const wchar_t* start;
    const wchar_t* obtainDescriptor;
    const wchar_t* createDacl;
    const wchar_t* getDacl;
    const wchar_t* initializeAcl;
    const wchar_t* onlyIfNotNull;
    const wchar_t* computeSize;
    const wchar_t* allocateDacl;
    const wchar_t* precreateAce;
    const wchar_t* copySid;
    const wchar_t* checkExisting;
    const wchar_t* initializeNewDacl;
    const wchar_t* ifPresentCopy;
    const wchar_t* copyAces;
    const wchar_t* getAce;
    const wchar_t* addOldAce;
    const wchar_t* setDacl;
    const wchar_t* setDescriptor;
    const wchar_t* freeBuffers;
    const wchar_t* inCatch;
    const wchar_t* returnTrue;
    const wchar_t* returnFalse;
};

extern const ObjectGrant WindowStationGrant;  // two entries
extern const ObjectGrant DesktopGrant;        // one entry

// True when flags, size, type and mask agree and the SIDs are equal byte
// for byte.
bool CompareAces(const ACCESS_ALLOWED_ACE* granted, const ACCESS_ALLOWED_ACE* existing);

// The new DACL for an object whose old one is `oldDacl` (null with
// `daclPresent` false when there is none, null with it true for a null
// DACL). Returns 0 and the DACL in *newDacl, or the failure code.
DWORD MergeGrantedAces(const SecurityApi& api, const ObjectGrant& grant, PACL oldDacl, BOOL daclPresent, PSID sid,
                       LaunchHeapBlock* newDacl);

// Grant the SID the window station's two entries or the desktop's one. The
// handles need READ_CONTROL and WRITE_DAC. On false the last-error code is
// the failing call's or HeapMemoryMissing.
bool AddAceToWindowStation(const SecurityApi& api, HWINSTA windowStation, PSID sid);
bool AddAceToDesktop(const SecurityApi& api, HDESK desktop, PSID sid);

}  // namespace proclaunch
