#pragma once

#include <atomic>
#include <string>

// The private folder (mode 0700) in which a scan keeps the photos and videos it copies out of
// a backup: a fresh folder of this process below the application's working directory, so
// that two running instances never empty each other's copies. Removed with everything in it
// when the object goes away; nothing outside it is ever removed.
//
// Each folder has an owner file beside it ("<folder>.owner") that its process keeps locked
// while it lives. A folder whose owner file is no longer locked (or, without an owner file,
// whose process is gone) was left by a run that ended without tidying up, killed or crashed:
// making a new working folder removes those first, and only those.
class WorkingFolder {
public:
    // Below AppPaths::workingDirectory().
    WorkingFolder();
    // Below the given folder, which is made private first.
    explicit WorkingFolder(const std::string& base);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    // Empty when the folder could not be made (stderr says why).
    const std::string& path() const { return path_; }
    bool isUsable() const { return !path_.empty(); }
    std::string photosDirectory() const { return path_ + "/Photos"; }
    std::string videosDirectory() const { return path_ + "/Videos"; }
    std::string extractDirectory() const { return path_ + "/Extract"; }

    // Empties the folder and makes "Photos", "Videos" and "Extract" in it. False when the
    // folder is unusable or a sub-folder cannot be made.
    bool recreate();
    // Whether the last recreate failed (a scan then could not copy what it needed).
    bool recreateFailed() const { return recreateFailed_; }
    // Removes everything in the folder; the folder itself stays.
    void clear();

    // Removes the working folders below base that runs no longer running left behind; the
    // number removed.
    static int RemoveLeftovers(const std::string& base);

private:
    std::string path_;
    std::string ownerPath_;
    int ownerFd_ = -1;
    std::atomic<bool> recreateFailed_{false};
};
