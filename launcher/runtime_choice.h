#pragma once
// The steps that find a Java runtime for the Java installer, in the order a
// run takes them: the private runtime the launcher carries, a "JVM" folder
// beside it, runtime installers, and the runtime the registry names. Each
// returns what it found and why, for the run to act on and trace.

#include "common/unique_resource.h"
#include "launcher/run_context.h"

#include <string>

namespace launcher {

// Why no runtime could be used, as the user is told.
enum class JavaError {
    None,
    NothingRegistered,  // no "CurrentVersion" at all: the dialog, never the update log
    Unusable,           // too old, no "JavaHome", or no javaw.exe
};

struct RuntimeFound {
    bool taken = false;
    std::wstring home;               // the runtime's folder, when taken
    common::UniqueFile heldProgram;  // its javaw.exe, unchangeable until the Java installer has started
    JavaError error = JavaError::None;
    std::wstring traceLine;          // what the step found and why it took or passed over it
    std::wstring failure;            // why a runtime there was could not be used, as the user is told
};

struct InstallerRun {
    bool ran = false;                // started and waited for
    std::wstring traceLine;          // empty when the step had nothing to run
};

// "BundledJVM" inside the run's own folder.
std::wstring PrivateRuntimeFolder(const std::wstring& runFolder);

// Resource 2000 unpacked into PrivateRuntimeFolder.
RuntimeFound PreparePrivateRuntime(const RunContext& run);

// "JVM" beside the launcher, when its bin is a folder (and the media list
// vouches for its javaw.exe).
RuntimeFound FindLocalRuntime(const RunContext& run);

// The installer carried as resource 3000, when no runtime 1.8 or later is
// registered; started from a folder of the run's own.
InstallerRun RunCarriedRuntimeInstaller(const RunContext& run);

// "JRE.exe" beside the launcher, when still no runtime 1.8 or later is
// registered.
InstallerRun RunRuntimeInstallerBesideLauncher(const RunContext& run);

// The registry's "CurrentVersion" and its "JavaHome".
RuntimeFound CheckInstalledRuntime();

}  // namespace launcher
