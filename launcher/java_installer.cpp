#include "launcher/java_installer.h"

#include "common/resource_data.h"
#include "common/paths.h"
#include "launcher/file_operations.h"
#include "launcher/media_check.h"
#include "launcher/child_processes.h"
#include "common/protected_folders.h"
#include "launcher/resources/resource.h"

namespace launcher {

JavaArchive PrepareJavaArchive(const RunContext& run)
{
    const std::wstring& folder = run.options.m_strFolder;
    JavaArchive archive;
    archive.archivePath = folder + L"\\archive.jar";
    archive.imagePath = folder + L"\\archive.gif";

    bool fromResource = false;
    if (const auto embedded = common::FindResourceBytes(run.instance, MAKEINTRESOURCEW(IDR_EMBEDDED_ARCHIVE),
                                                        RT_RCDATA)) {
        // The Java installer runs elevated from this archive: a folder of our own.
        const std::wstring ownFolder = run.runFolder + L"\\Archive";
        if (!run.runFolder.empty() && common::CreateProtectedFolder(ownFolder)) {
            archive.ownFolder = ownFolder;
            archive.archivePath = ownFolder + L"\\archive.jar";
            fromResource = WriteNewFile(archive.archivePath, embedded.data, embedded.size);
            if (!fromResource) {
                ::DeleteFileW(archive.archivePath.c_str());  // no half archive for the installer
            }
        }
    }

    if (run.mediaList && !fromResource) {
        archive.heldArchive = CheckBesideLauncher(*run.mediaList, folder, L"archive.jar", L"archive", run.trace);
        if (!archive.heldArchive) {
            archive.status = JavaArchive::Status::NotTaken;
            return archive;
        }
        archive.heldImage = CheckBesideLauncher(*run.mediaList, folder, L"archive.gif", L"splash image", run.trace);
        // Java gets where the held files are now, not the names they were
        // found under: a folder renamed or a link changed since leads elsewhere.
        archive.archivePath = common::FinalPathOf(archive.heldArchive.held.get());
        if (archive.archivePath.empty()) {
            archive.status = JavaArchive::Status::NotTaken;
            return archive;
        }
        if (archive.heldImage) {
            archive.imagePath = common::FinalPathOf(archive.heldImage.held.get());
        }
    }

    if (!PathExists(archive.archivePath)) {
        archive.status = JavaArchive::Status::Missing;
        return archive;
    }

    if (fromResource) {
        archive.imagePath = archive.ownFolder + L"\\archive.gif";
        if (const auto image = common::FindResourceBytes(run.instance, L"ARCHIVE", L"GIF")) {
            WriteNewFile(archive.imagePath, image.data, image.size);
        }
    }
    archive.imageTaken = PathExists(archive.imagePath) && (archive.heldImage || !run.mediaList || fromResource);
    archive.status = JavaArchive::Status::Ready;
    return archive;
}

JavaInstallerRun StartJavaInstaller(const RunContext& run, const std::wstring& program, const std::wstring& arguments,
                                    HANDLE heldProgram)
{
    JavaInstallerRun outcome;
    const bool direct = run.options.m_bNormalProcess;
    outcome.started =
        direct ? StartDirectlyAndWait(program, arguments, run.childTemp, &outcome.exitCode, heldProgram)
               : StartInSession(program, arguments, run.childTemp, true, false, &outcome.exitCode, heldProgram);
    outcome.startError = ::GetLastError();
    outcome.how = direct ? L"directly (/normalprocess)" : L"in the interactive session";
    outcome.commandLine = DirectCommandLine(program, arguments);
    return outcome;
}

}  // namespace launcher
