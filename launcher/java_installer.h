#pragma once
// The Java installer: the archive it runs from, with its splash image, and
// its start with the chosen runtime.

#include "common/media_files.h"
#include "launcher/run_context.h"

#include <string>

namespace launcher {

struct JavaArchive {
    enum class Status {
        Ready,
        NotTaken,  // not the media's archive: reported as a missing one
        Missing,
    };
    Status status = Status::Missing;
    std::wstring archivePath;
    std::wstring imagePath;
    bool imageTaken = false;   // imagePath is there and may be handed to Java
    std::wstring ownFolder;    // where an embedded archive (resource 1000) was written, in the run folder
    // The media's archive.jar and archive.gif, unchangeable until the Java
    // installer has ended.
    common::MediaFileCheck heldArchive;
    common::MediaFileCheck heldImage;
};

// The embedded archive written into a folder of the run's own (removed with
// the run folder), or else the archive beside the launcher, checked against
// the media's list.
JavaArchive PrepareJavaArchive(const RunContext& run);

struct JavaInstallerRun {
    bool started = false;
    DWORD startError = ERROR_SUCCESS;
    DWORD exitCode = 0;
    std::wstring how;          // "directly (/normalprocess)" or "in the interactive session"
    std::wstring commandLine;  // as the trace shows it
};

// Starts javaw.exe and waits for it: directly on /normalprocess, otherwise in
// the interactive session; with heldProgram, only when the started program
// is that file.
JavaInstallerRun StartJavaInstaller(const RunContext& run, const std::wstring& program, const std::wstring& arguments,
                                    HANDLE heldProgram = nullptr);

}  // namespace launcher
