#include "proclaunch/object_access.h"

#include "proclaunch/step_log.h"

#include <cstring>

namespace proclaunch {

namespace {

constexpr BYTE kWindowStationInheritedFlags = CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE;
constexpr ACCESS_MASK kGenericAll = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;
constexpr ACCESS_MASK kWindowStationAll = WINSTA_ACCESSCLIPBOARD | WINSTA_ACCESSGLOBALATOMS | WINSTA_CREATEDESKTOP |
                                          WINSTA_ENUMDESKTOPS | WINSTA_ENUMERATE | WINSTA_EXITWINDOWS |
                                          WINSTA_READATTRIBUTES | WINSTA_READSCREEN | WINSTA_WRITEATTRIBUTES |
                                          DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER;
constexpr ACCESS_MASK kDesktopAll = DESKTOP_READOBJECTS | DESKTOP_CREATEWINDOW | DESKTOP_CREATEMENU |
                                    DESKTOP_HOOKCONTROL | DESKTOP_JOURNALRECORD | DESKTOP_JOURNALPLAYBACK |
                                    DESKTOP_ENUMERATE | DESKTOP_WRITEOBJECTS | DESKTOP_SWITCHDESKTOP | DELETE |
                                    READ_CONTROL | WRITE_DAC | WRITE_OWNER;
static_assert(kGenericAll == 0xF0000000 && kWindowStationAll == 0x000F037F && kDesktopAll == 0x000F01FF,
              "the granted masks");

const GrantedAce kWindowStationEntries[] = {
    {kWindowStationInheritedFlags, kGenericAll, L"AddAceToWindowStation: Add the first ACE to the window station:"},
    {NO_PROPAGATE_INHERIT_ACE, kWindowStationAll, L"AddAceToWindowStation: Add the second ACE to the window station:"},
};

const GrantedAce kDesktopEntries[] = {
    {0, kDesktopAll, L"AddAceToDesktop: Add ACE to the DACL:"},
};

void SetTemplate(ACCESS_ALLOWED_ACE* ace, const GrantedAce& entry)
{
    ace->Header.AceFlags = entry.flags;
    ace->Mask = entry.mask;
}

DWORD LastErrorOr(DWORD fallback)
{
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// The last lines of a failed grant. Its buffers go with the caller's
// locals, whose release keeps the code set here.
bool GrantFailed(const ObjectGrant& grant, DWORD code)
{
    LogStep(grant.inCatch);
    LogStep(grant.freeBuffers);
    LogStep(grant.returnFalse);
    ::SetLastError(code);
    return false;
}

// The shared body of the two grant routines.
bool AddAcesToObject(const SecurityApi& api, const ObjectGrant& grant, HANDLE object, PSID sid)
{
    LogStep(grant.start);
    LaunchHeapBlock newDescriptor;
    LaunchHeapBlock oldDescriptor;
    LaunchHeapBlock newDacl;

    LogStep(grant.obtainDescriptor);
    SECURITY_INFORMATION requested = DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    if (!api.GetUserObjectSecurity(object, &requested, nullptr, 0, &needed)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            return GrantFailed(grant, error);
        }
    }
    oldDescriptor = AllocateLaunchBlock(needed);
    if (!oldDescriptor) {
        return GrantFailed(grant, HeapMemoryMissing);
    }
    newDescriptor = AllocateLaunchBlock(needed);
    if (!newDescriptor) {
        return GrantFailed(grant, HeapMemoryMissing);
    }
    if (!api.GetUserObjectSecurity(object, &requested, oldDescriptor.get(), needed, &needed)) {
        return GrantFailed(grant, ::GetLastError());
    }

    LogStep(grant.createDacl);
    if (!api.InitializeSecurityDescriptor(newDescriptor.get(), SECURITY_DESCRIPTOR_REVISION)) {
        return GrantFailed(grant, ::GetLastError());
    }

    LogStep(grant.getDacl);
    BOOL daclPresent = FALSE;
    BOOL daclDefaulted = FALSE;
    PACL oldDacl = nullptr;
    if (!api.GetSecurityDescriptorDacl(oldDescriptor.get(), &daclPresent, &oldDacl, &daclDefaulted)) {
        return GrantFailed(grant, ::GetLastError());
    }

    const DWORD mergeFailure = MergeGrantedAces(api, grant, oldDacl, daclPresent, sid, &newDacl);
    if (mergeFailure != ERROR_SUCCESS) {
        return GrantFailed(grant, mergeFailure);
    }

    LogStep(grant.setDacl);
    if (!api.SetSecurityDescriptorDacl(newDescriptor.get(), TRUE, static_cast<PACL>(newDacl.get()), FALSE)) {
        return GrantFailed(grant, ::GetLastError());
    }

    LogStep(grant.setDescriptor);
    if (!api.SetUserObjectSecurity(object, &requested, newDescriptor.get())) {
        return GrantFailed(grant, ::GetLastError());
    }

    LogStep(grant.freeBuffers);
    newDacl.reset();
    oldDescriptor.reset();
    newDescriptor.reset();
    LogStep(grant.returnTrue);
    return true;
}

}  // namespace

const ObjectGrant WindowStationGrant = {
    kWindowStationEntries,
    2,
    L"AddAceToWindowStation",
    L"AddAceToWindowStation: Obtain the DACL for the window station:",
    L"AddAceToWindowStation: Create a new DACL:",
    L"AddAceToWindowStation: Get the DACL from the security descriptor:",
    L"AddAceToWindowStation: Initialize the ACL:",
    L"AddAceToWindowStation: Call only if the DACL is not NULL:",
    L"AddAceToWindowStation: Compute the size of the new ACL:",
    L"AddAceToWindowStation: Allocate memory for the new ACL:",
    L"AddAceToWindowStation: Pre-create base of ACEs to be added",
    L"AddAceToWindowStation: CopySid",
    L"AddAceToWindowStation: If DACL is present, check for existing instances of our ACEs int the DACL to "
    L"calculate the new size:",
    L"AddAceToWindowStation: Initialize the new DACL:",
    L"AddAceToWindowStation: If DACL is present, copy it to a new DACL:",
    L"AddAceToWindowStation: Copy the ACEs to the new ACL:",
    L"AddAceToWindowStation: Get an ACE:",
    L"AddAceToWindowStation: Add the ACE to the new ACL:",
    L"AddAceToWindowStation: Set a new DACL for the security descriptor:",
    L"AddAceToWindowStation: Set the new security descriptor for the window station:",
    L"AddAceToWindowStation: Free the allocated buffers:",
    L"AddAceToWindowStation: in catch (error)",
    L"AddAceToWindowStation: return true",
    L"AddAceToWindowStation: return false",
};

const ObjectGrant DesktopGrant = {
    kDesktopEntries,
    1,
    L"AddAceToDesktop",
    L"AddAceToDesktop: Obtain the security descriptor for the desktop object:",
    L"AddAceToDesktop: Create a new DACL:",
    L"AddAceToDesktop: Get the DACL from the security descriptor:",
    L"AddAceToDesktop: Initialize the ACL:",
    L"AddAceToDesktop: Call only if the DACL is not NULL:",
    L"AddAceToDesktop: Compute the size of the new ACL:",
    L"AddAceToDesktop: Allocate buffer for the new ACL:",
    L"AddAceToDesktop: Pre-create the ACE to be added",
    L"AddAceToDesktop: CopySid",
    L"AddAceToDesktop: If DACL is present, check for existing instances of our ACE int the DACL to calculate "
    L"the new size:",
    L"AddAceToDesktop: Initialize the new ACL:",
    L"AddAceToDesktop: If DACL is present, copy it to a new DACL:",
    L"AddAceToDesktop: Copy the ACEs to the new ACL:",
    L"AddAceToDesktop: Get an ACE:",
    L"AddAceToDesktop: Add the ACE to the new ACL:",
    L"AddAceToDesktop: Set new DACL to the new security descriptor.",
    L"AddAceToDesktop: Set the new security descriptor for the desktop object:",
    L"AddAceToDesktop: Free buffers:",
    L"AddAceToDesktop: in catch (error)",
    L"AddAceToDesktop: return true",
    L"AddAceToDesktop: return false",
};

bool CompareAces(const ACCESS_ALLOWED_ACE* granted, const ACCESS_ALLOWED_ACE* existing)
{
    LogStep(L"CompareAces");
    const bool identical = granted->Header.AceFlags == existing->Header.AceFlags &&
                           granted->Header.AceSize == existing->Header.AceSize &&
                           granted->Header.AceType == existing->Header.AceType && granted->Mask == existing->Mask &&
                           std::memcmp(&granted->SidStart, &existing->SidStart,
                                       granted->Header.AceSize - offsetof(ACCESS_ALLOWED_ACE, SidStart)) == 0;
    LogStep(identical ? L"CompareAces return true" : L"CompareAces return false");
    return identical;
}

DWORD MergeGrantedAces(const SecurityApi& api, const ObjectGrant& grant, PACL oldDacl, BOOL daclPresent, PSID sid,
                       LaunchHeapBlock* newDacl)
{
    LogStep(grant.initializeAcl);
    LogStep(grant.onlyIfNotNull);
    ACL_SIZE_INFORMATION sizes = {};
    sizes.AclBytesInUse = sizeof(ACL);
    if (oldDacl != nullptr) {
        if (!api.GetAclInformation(oldDacl, &sizes, sizeof(sizes), AclSizeInformation)) {
            return LastErrorOr(ERROR_INVALID_ACL);
        }
    }

    LogStep(grant.computeSize);
    const DWORD sidLength = api.GetLengthSid(sid);
    const DWORD aceLength = sidLength + offsetof(ACCESS_ALLOWED_ACE, SidStart);
    // A SID longer than an ACE can describe would give a nonsense size.
    if (sidLength > SECURITY_MAX_SID_SIZE) {
        return LastErrorOr(ERROR_INVALID_SID);
    }
    DWORD newSize = sizes.AclBytesInUse + static_cast<DWORD>(grant.entryCount) * aceLength;

    LogStep(grant.allocateDacl);
    LaunchHeapBlock dacl = AllocateLaunchBlock(newSize);
    if (!dacl) {
        return HeapMemoryMissing;
    }

    LogStep(grant.precreateAce);
    LaunchHeapBlock aceBlock = AllocateLaunchBlock(aceLength);
    if (!aceBlock) {
        return HeapMemoryMissing;
    }
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(aceBlock.get());
    ace->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    ace->Header.AceSize = static_cast<WORD>(aceLength);
    if (grant.entryCount == 1) {
        SetTemplate(ace, grant.entries[0]);
    }

    LogStep(grant.copySid);
    if (!api.CopySid(sidLength, &ace->SidStart, sid)) {
        return LastErrorOr(ERROR_INVALID_SID);
    }

    // An entry identical to a granted one is dropped from its old place.
    auto isGranted = [&](const ACCESS_ALLOWED_ACE* existing, DWORD* sizeToDrop) {
        bool granted = false;
        for (size_t i = 0; i < grant.entryCount; ++i) {
            SetTemplate(ace, grant.entries[i]);
            if (CompareAces(ace, existing)) {
                granted = true;
                if (sizeToDrop != nullptr) {
                    *sizeToDrop += existing->Header.AceSize;
                }
            }
        }
        return granted;
    };

    LogStep(grant.checkExisting);
    if (daclPresent && sizes.AceCount != 0) {
        DWORD dropped = 0;
        for (DWORD index = 0; index < sizes.AceCount; ++index) {
            void* existing = nullptr;
            if (!api.GetAce(oldDacl, index, &existing)) {
                return LastErrorOr(ERROR_INVALID_ACL);
            }
            if (static_cast<const ACE_HEADER*>(existing)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
                isGranted(static_cast<const ACCESS_ALLOWED_ACE*>(existing), &dropped);
            }
        }
        newSize -= dropped;
    }

    LogStep(grant.initializeNewDacl);
    if (!api.InitializeAcl(static_cast<PACL>(dacl.get()), newSize, ACL_REVISION)) {
        return LastErrorOr(ERROR_INVALID_ACL);
    }

    LogStep(grant.ifPresentCopy);
    if (daclPresent) {
        LogStep(grant.copyAces);
        for (DWORD index = 0; index < sizes.AceCount; ++index) {
            LogStep(grant.getAce);
            void* existing = nullptr;
            if (!api.GetAce(oldDacl, index, &existing)) {
                return LastErrorOr(ERROR_INVALID_ACL);
            }
            const auto* header = static_cast<const ACE_HEADER*>(existing);
            if (header->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                isGranted(static_cast<const ACCESS_ALLOWED_ACE*>(existing), nullptr)) {
                continue;
            }
            LogStep(grant.addOldAce);
            if (!api.AddAce(static_cast<PACL>(dacl.get()), ACL_REVISION, MAXDWORD, existing, header->AceSize)) {
                return LastErrorOr(ERROR_INVALID_ACL);
            }
        }
    }

    for (size_t i = 0; i < grant.entryCount; ++i) {
        LogStep(grant.entries[i].addLine);
        SetTemplate(ace, grant.entries[i]);
        if (!api.AddAce(static_cast<PACL>(dacl.get()), ACL_REVISION, MAXDWORD, ace, aceLength)) {
            return LastErrorOr(ERROR_INVALID_ACL);
        }
    }

    aceBlock.reset();
    *newDacl = std::move(dacl);
    return ERROR_SUCCESS;
}

bool AddAceToWindowStation(const SecurityApi& api, HWINSTA windowStation, PSID sid)
{
    return AddAcesToObject(api, WindowStationGrant, windowStation, sid);
}

bool AddAceToDesktop(const SecurityApi& api, HDESK desktop, PSID sid)
{
    return AddAcesToObject(api, DesktopGrant, desktop, sid);
}

}  // namespace proclaunch
