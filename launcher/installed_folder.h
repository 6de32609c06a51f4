#pragma once
// Whether the folder beside the launcher is the installed product's, where
// "uninstall.dat" turns the launcher into the uninstaller. On media anyone
// who can put a file beside the launcher could plant that marker, and in
// uninstall mode the media's list is not used: a launcher that carries a
// list believes the marker only in a folder that nobody but administrators
// can change, and never beside the media's own "archive.jar".

#include "common/media_list.h"
#include "launcher/decision_trace.h"

#include <windows.h>

#include <string>

namespace launcher {

// The descriptor lets no one but SYSTEM, Administrators and TrustedInstaller
// (and, for what they create themselves, its creators) create, change or
// delete anything in the folder or change the folder's own access: its owner
// is one of those, and no allowing entry gives anyone else any write, delete
// or access-changing right, whatever it applies to.
bool OnlyAdministratorsCanChange(PSECURITY_DESCRIPTOR descriptor);

// "uninstall.dat" is there, and with a list the folder passes the rule above
// through a handle to it and does not hold the media's listed "archive.jar".
// The trace says which.
bool IsInstalledProductFolder(const std::wstring& folder, const common::MediaList* list, DecisionTrace& trace);

}  // namespace launcher
