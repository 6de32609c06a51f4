#pragma once
// With a list of its media's files, the launcher hands Java only the listed
// "archive.jar" and "archive.gif", held with read sharing only until the Java
// installer has ended, and passes over a "JVM" folder or "JRE.exe" beside it
// that the list does not name. In uninstall mode it runs from the product's
// installed folder, which the product's installer protects, and the list is
// not used.

#include "common/media_files.h"
#include "launcher/decision_trace.h"

#include <string>

namespace launcher {

// Checks folder\name against the list and holds it; a refusal is traced as
// "<what>: <path> differs from the media: <why>".
// With copyPath, the file is copied there in the read that checks it, and
// the check holds the copy.
common::MediaFileCheck CheckBesideLauncher(const common::MediaList& list, const std::wstring& folder,
                                           const std::wstring& name, const wchar_t* what, DecisionTrace& trace,
                                           const std::wstring& copyPath = std::wstring());

}  // namespace launcher
