#pragma once
// Folders of a program's own for what it writes and then runs. Every user
// may create files in the system temporary folder and both programs run
// elevated, so what they start lies in a folder that only administrators
// can change, made by the program itself in the same run.

#include "common/unique_resource.h"

#include <windows.h>

#include <string>
#include <utility>

namespace common {

// Owner Administrators; full access for SYSTEM and Administrators, passed on
// to everything created below; nothing inherited from the parent.
extern const wchar_t kProtectedFolderSddl[];

// The descriptor of kProtectedFolderSddl, in a block of its own.
UniqueLocalMem ProtectedFolderDescriptor();

// Creates the folder with that descriptor in the one call. False when the
// folder is there already (an earlier run's, or someone else's) or cannot
// be made.
bool CreateProtectedFolder(const std::wstring& path);

// A new protected folder below `parent` whose name nobody can know in
// advance; empty when none could be made.
std::wstring CreateUniqueProtectedFolder(const std::wstring& parent);

// A protected folder of this run, made by Create and removed with
// everything below it when its owner lets it go.
class RunFolder {
public:
    RunFolder() = default;
    ~RunFolder() { Remove(); }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    RunFolder(RunFolder&& other) noexcept : m_path(std::move(other.m_path)) { other.m_path.clear(); }
    RunFolder& operator=(RunFolder&& other) noexcept
    {
        if (this != &other) {
            Remove();
            m_path = std::move(other.m_path);
            other.m_path.clear();
        }
        return *this;
    }

    // A new unguessable protected folder below `parent`; false (and no
    // folder) when none could be made.
    bool Create(const std::wstring& parent);
    void Remove();
    const std::wstring& path() const { return m_path; }
    // Its "Temp", made protected, for the children's TEMP and TMP; empty
    // when there is no folder or the subfolder cannot be made.
    std::wstring CreateChildTemp() const;

private:
    std::wstring m_path;
};

}  // namespace common
