#include "launcher/installed_folder.h"

#include "common/media_files.h"
#include "common/unique_resource.h"
#include "launcher/file_operations.h"

#include <aclapi.h>
#include <sddl.h>

namespace launcher {

namespace {

// Any of these lets its holder put or change files in the folder, or give
// itself that right.
constexpr ACCESS_MASK kChangingRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                        FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL | MAXIMUM_ALLOWED;

bool IsSidText(PSID sid, const wchar_t* text)
{
    PSID known = nullptr;
    if (!::ConvertStringSidToSidW(text, &known)) {
        return false;
    }
    const common::UniqueLocalMem owned(known);
    return ::EqualSid(sid, known) != FALSE;
}

bool IsAdministrative(PSID sid)
{
    static const wchar_t* const kTrusted[] = {
        L"S-1-5-18",      // SYSTEM
        L"S-1-5-32-544",  // Administrators
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
    };
    for (const wchar_t* text : kTrusted) {
        if (IsSidText(sid, text)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool OnlyAdministratorsCanChange(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) || !owner || !IsAdministrative(owner)) {
        return false;
    }
    BOOL present = FALSE;
    BOOL daclDefaulted = FALSE;
    PACL dacl = nullptr;
    // No access list at all lets everyone do everything.
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &daclDefaulted) || !present || !dacl) {
        return false;
    }
    ACL_SIZE_INFORMATION size = {};
    if (!::GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation)) {
        return false;
    }
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) {
            return false;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            continue;
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            return false;  // a kind this rule does not read: not vouched for
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        // What a creator gets on its own files needs it to create them first.
        if ((allowed->Mask & kChangingRights) != 0 && !IsAdministrative(sid) && !IsSidText(sid, L"S-1-3-0")) {
            return false;
        }
    }
    return true;
}

bool IsInstalledProductFolder(const std::wstring& folder, const common::MediaList* list, DecisionTrace& trace)
{
    const std::wstring marker = folder + L"\\uninstall.dat";
    if (!PathExists(marker)) {
        return false;
    }
    if (!list) {
        trace.Line(L"uninstall mode: \"" + marker + L"\" exists");
        return true;
    }
    // The media's own archive beside it: this is the media, wherever it lies.
    if (common::CheckMediaFile(*list, folder, L"archive.jar")) {
        trace.Line(L"uninstall mode: not taken, \"" + folder + L"\" holds the media's archive.jar");
        return false;
    }
    common::UniqueFile handle(::CreateFileW(folder.c_str(), READ_CONTROL,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!handle || ::GetSecurityInfo(handle.get(), SE_FILE_OBJECT,
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                     nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        trace.Line(L"uninstall mode: not taken, the access of \"" + folder + L"\" cannot be read");
        return false;
    }
    const common::UniqueLocalMem ownedDescriptor(descriptor);
    if (!OnlyAdministratorsCanChange(descriptor)) {
        trace.Line(L"uninstall mode: not taken, others than administrators may change \"" + folder + L"\"");
        return false;
    }
    trace.Line(L"uninstall mode: \"" + marker + L"\" exists in a folder only administrators can change");
    return true;
}

}  // namespace launcher
